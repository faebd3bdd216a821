#pragma once
// The combined view dock ("All In One"): the phase view above the amplitude
// view on the left, the point-cloud view on the right over the full height.
// Showing the dock resets the phase and amplitude views and starts all
// three; hiding it stops all three.

#include <QDockWidget>
#include <QString>

class DataEngine;
class DataViewContainer;
class QGridLayout;
class QHBoxLayout;
class QMouseEvent;
class QScrollArea;
class QVBoxLayout;
class StatusMessageBar;

namespace Kelvra {

class StreamHub;

class CombinedViewDock : public QDockWidget {
    Q_OBJECT
public:
    static inline const QString CAPTION = QStringLiteral("All In One");
    // The title while a camera is selected.
    static inline const QString CONNECTED_CAPTION = QStringLiteral("ALL In One");
    static constexpr int MINIMUM_HEIGHT = 400;

    explicit CombinedViewDock(DataEngine* dataEngine);

    // Hands the status bar to the phase and the amplitude view (not to the point cloud).
    void setStatusBar(StatusMessageBar* statusBar);
    // Keeps the controller; connects nothing (the host connects onDepthCameraSet).
    void setStreamHub(StreamHub* streamHub);

    QScrollArea* const scroller;
    DataEngine* const dataEngine;
    QGridLayout* const glayout;
    DataViewContainer* const viewerPhase;
    QVBoxLayout* const phaselayout;
    QHBoxLayout* const pointcloudlayout;
    DataViewContainer* const viewerPointCloud;
    DataViewContainer* const viewerAmplitude;
    StreamHub* streamHub = nullptr;

public slots:
    // "ALL In One" with a camera or a recording current, "Disconnect" without
    // (or before setStreamHub).
    void onDepthCameraSet();
    // Shown: resets phase then amplitude; then ShowView(visible) on phase,
    // amplitude and point cloud.
    void visibilityChangedHanling(bool visible);

protected:
    // Consumes the mouse moves that reach the dock itself.
    void mouseMoveEvent(QMouseEvent* event) override;
};

} // namespace Kelvra
