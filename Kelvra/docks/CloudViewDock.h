#pragma once
// The point-cloud view dock ("Tavik"): the host's point-cloud view, started
// when the dock is shown and stopped when it is hidden (never reset), with a
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

class CloudViewDock : public QDockWidget {
    Q_OBJECT
public:
    static inline const QString CAPTION = QStringLiteral("Tavik");
    static constexpr int MINIMUM_HEIGHT = 400;

    explicit CloudViewDock(DataEngine* dataEngine);

    // Hands the status bar to the view.
    void setStatusBar(StatusMessageBar* statusBar);
    // Keeps the controller; connects nothing (the host connects onDepthCameraSet).
    void setStreamHub(StreamHub* streamHub);

    QScrollArea* const scroller;
    DataEngine* const dataEngine;
    QVBoxLayout* const layout;
    DataViewContainer* const pointcloudViewer;
    StreamHub* streamHub = nullptr;

public slots:
    // "Tavik" with a camera, "Disconnect" without (or before setStreamHub).
    void onDepthCameraSet();
    // ShowView(visible), nothing else.
    void visibilityChangedHanling(bool visible);
};

} // namespace Kelvra
