#pragma once
// The "Phase" view dock: the phase image view of the data engine,
// reset and started when the dock is shown, stopped when it is hidden, with a
// title that follows the stream controller's camera.

#include "Kelvra/docks/SingleViewDock.h"

namespace Kelvra {

class PhaseViewDock : public SingleViewDock {
    Q_OBJECT
public:
    explicit PhaseViewDock(DataEngine* dataEngine);

    DataViewContainer* const viewer1 = view;
};

} // namespace Kelvra
