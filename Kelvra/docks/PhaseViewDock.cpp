#include "Kelvra/docks/PhaseViewDock.h"

#include "platform/base/DataChannels.h"

namespace Kelvra {

PhaseViewDock::PhaseViewDock(DataEngine* dataEngine)
    : SingleViewDock(dataEngine, QStringLiteral("Phase"), 300, DataChannels::PHASE, ViewKeywords::LinkedWithDepth,
                     OnShow::ResetThenShow)
{
}

} // namespace Kelvra
