#include "Tavik/Frame.h"
#include "fxburn/Fx3Device.h"
