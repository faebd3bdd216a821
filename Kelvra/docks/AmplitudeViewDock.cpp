#include "Kelvra/docks/AmplitudeViewDock.h"

#include "platform/base/DataChannels.h"

namespace Kelvra {

AmplitudeViewDock::AmplitudeViewDock(DataEngine* dataEngine)
    : SingleViewDock(dataEngine, QStringLiteral("Amplitude"), 300, DataChannels::AMPLITUDE,
                     ViewKeywords::LinkedWithDepth, OnShow::ResetThenShow)
{
}

} // namespace Kelvra
