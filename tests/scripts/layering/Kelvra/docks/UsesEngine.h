#pragma once
#include "host/engine/HostDataEngine.h"
#include "Kelvra/views/PlaneView.h"
