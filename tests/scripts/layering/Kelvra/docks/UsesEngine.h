#pragma once
#include "host/engine/DataViewContainer.h"
#include "Kelvra/views/PlaneView.h"
