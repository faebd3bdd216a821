#pragma once
#include "Kelvra/views/PlaneView.h"
#include "Kelvra/docks/AmplitudeViewDock.h"
