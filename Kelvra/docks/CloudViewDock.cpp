#include "Kelvra/docks/CloudViewDock.h"

#include "platform/base/DataChannels.h"

namespace Kelvra {

CloudViewDock::CloudViewDock(DataEngine* dataEngine)
    : SingleViewDock(dataEngine, QStringLiteral("Tavik"), 400, DataChannels::POINTCLOUD, ViewKeywords::Defaults,
                     OnShow::ShowOnly)
{
}

} // namespace Kelvra
