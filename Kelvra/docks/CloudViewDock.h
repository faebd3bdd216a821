#pragma once
// The point-cloud view dock ("Tavik"): the host's point-cloud view, started
// when the dock is shown and stopped when it is hidden (never reset), with a
// title that follows the stream controller's camera.

#include "Kelvra/docks/SingleViewDock.h"

namespace Kelvra {

class CloudViewDock : public SingleViewDock {
    Q_OBJECT
public:
    explicit CloudViewDock(DataEngine* dataEngine);

    DataViewContainer* const pointcloudViewer = view;
};

} // namespace Kelvra
