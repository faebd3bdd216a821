#pragma once
#include "host/engine/HostDataEngine.h"
#include "host/plot/ViewBox.h"
