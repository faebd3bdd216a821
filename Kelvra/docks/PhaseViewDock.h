#pragma once
// The "Phase" view dock: the phase image view of the data engine,
// reset and started when the dock is shown, stopped when it is hidden, with a
// title that follows the stream controller's camera.

#include <QDockWidget>
#include <QString>

class DataEngine;
class DataViewContainer;
class QScrollArea;
class QVBoxLayout;
class StatusMessageBar;

namespace Kelvra {

class StreamHub;

class PhaseViewDock : public QDockWidget {
    Q_OBJECT
public:
    static inline const QString CAPTION = QStringLiteral("Phase");
    static constexpr int MINIMUM_HEIGHT = 300;

    explicit PhaseViewDock(DataEngine* dataEngine);

    // Hands the status bar to the view.
    void setStatusBar(StatusMessageBar* statusBar);
    // Keeps the controller; connects nothing (the host connects onDepthCameraSet).
    void setStreamHub(StreamHub* streamHub);

    QScrollArea* const scroller;
    DataEngine* const dataEngine;
    QVBoxLayout* const layout;
    DataViewContainer* const viewer1;
    StreamHub* streamHub = nullptr;

public slots:
    // "Phase" with a camera, "Disconnect" without (or before setStreamHub).
    void onDepthCameraSet();
    // Shown: resetView, then ShowView(true); hidden: ShowView(false).
    void visibilityChangedHanling(bool visible);
};

} // namespace Kelvra
