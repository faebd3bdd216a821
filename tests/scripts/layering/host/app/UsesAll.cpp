#include "Kelvra/views/PlaneView.h"
#include "host/engine/HostDataEngine.h"
#include "Kelvra/docks/CloudViewDock.h"
