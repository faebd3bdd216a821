#pragma once
// For test programs that make view containers, directly or through docks:
// the containers embed the host's views, as in the viewer, which installs
// the same factory at start-up. Each file that includes this installs it
// before main() (once is enough; more do no harm).

#include "host/engine/HostViewFactory.h"

namespace {
[[maybe_unused]] const bool hostViewsInstalled = (installHostViewFactory(), true);
}
