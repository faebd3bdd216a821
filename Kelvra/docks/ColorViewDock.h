#pragma once
// The colour dock ("RGB"): holds no view, only follows the stream
// controller's camera in its title. It connects the controller's
// onDepthCameraSet itself, in setStreamHub.

#include <QDockWidget>
#include <QString>

class DataEngine;
class QScrollArea;
class QVBoxLayout;
class StatusMessageBar;

namespace Kelvra {

class StreamHub;

class ColorViewDock : public QDockWidget {
    Q_OBJECT
public:
    static inline const QString CAPTION = QStringLiteral("RGB");
    static constexpr int MINIMUM_HEIGHT = 300;

    explicit ColorViewDock(DataEngine* dataEngine);

    // Accepted and not used: there is no view.
    void setStatusBar(StatusMessageBar* statusBar);
    // Keeps the controller and connects its onDepthCameraSet to this dock;
    // a connection made by an earlier call stays.
    void setStreamHub(StreamHub* streamHub);

    QScrollArea* const scroller;
    DataEngine* const dataEngine;
    QVBoxLayout* const layout;
    StreamHub* streamHub = nullptr;

public slots:
    // "RGB" with a camera or a recording current, "Disconnect" without (or
    // before setStreamHub).
    void onDepthCameraSet();
};

} // namespace Kelvra
