#pragma once
// The "Amplitude" view dock: the amplitude image view of the data engine,
// reset and started when the dock is shown, stopped when it is hidden, with a
// title that follows the stream controller's camera.

#include "Kelvra/docks/SingleViewDock.h"

namespace Kelvra {

class AmplitudeViewDock : public SingleViewDock {
    Q_OBJECT
public:
    explicit AmplitudeViewDock(DataEngine* dataEngine);

    DataViewContainer* const amplitudeViewer = view;
};

} // namespace Kelvra
