#pragma once
#include "Kelvra/docks/AmplitudeViewDock.h"
#include "host/app/MainWindow.h"
