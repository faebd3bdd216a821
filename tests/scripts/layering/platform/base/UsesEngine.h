#pragma once
#include "host/engine/HostDataEngine.h"
#include "platform/plot/ViewBox.h"
