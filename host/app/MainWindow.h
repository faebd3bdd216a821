#pragma once
// The viewer's main window, made of docks: the amplitude and phase docks one
// above the other on the left, the point-cloud dock on the right with the
// combined and colour docks, the settings, the filter-chain diagram, the line
// chart and the trigger panel as tabs behind it, and the log, of fixed width,
// in a column of its own at the right edge (floating where the window is too
// narrow for that column); the transport bar (source
// chooser, Start / Pause / Resume / Stop, seek slider; see TransportBar), the
// File, Camera, View, Settings and Help menus, and the status bar. The View
// menu shows or hides each dock. WindowLayout sizes and places the window
// and its docks on the screen.
//
// It builds, lays out and wires: what plays and what the views show belong to
// its ViewerSession, which owns the stream controller and the data engine. The
// camera system is the caller's and must outlive the window.

#include "host/app/TransportBar.h"
#include "host/app/ViewerSession.h"
#include "host/app/WindowLayout.h"
#include "platform/base/HostWindow.h"
#include "Tavik/Common.h"

#include <QList>
#include <QMainWindow>
#include <QMargins>
#include <QRect>
#include <QSize>
#include <QString>

#include <memory>

class DataViewContainer;
class HostDataEngine;
class QAction;
class QComboBox;
class QDockWidget;
class QMenu;
class QSlider;
class SettingsDock;
class StatusMessageBar;

namespace Tavik {
class CameraSystem;
}

namespace Kelvra {
class AmplitudeViewDock;
class CloudViewDock;
class ColorViewDock;
class CombinedViewDock;
class LineChartDock;
class MessageLogDock;
class OptionsMenu;
class PhaseViewDock;
class PipelineDiagramDock;
class StreamHub;
class StreamSource;
class TriggerPanelDock;
} // namespace Kelvra

class MainWindow : public QMainWindow, public HostWindow {
    Q_OBJECT
public:
    // Size the window takes when the screen has room for it.
    static constexpr QSize PREFERRED_SIZE = WindowLayout::PREFERRED_SIZE;
    // Share of the window's width the amplitude and phase column takes at start.
    static constexpr double VIEW_COLUMN_SHARE = WindowLayout::VIEW_COLUMN_SHARE;
    // What the open-recording dialog offers: recordings first.
    static inline const QString RECORDING_FILTER = QStringLiteral("Recordings (*.tvks);;All Files (*)");

    // Where the window's frame goes on an available screen area when the
    // window manager draws `frame` around the window: the preferred size
    // where the whole frame fits, else as much of the area as it fits,
    // centred. The window itself is that rectangle less `frame`.
    static QRect fittedFrame(const QRect& available, const QMargins& frame, const QSize& preferred = PREFERRED_SIZE)
    {
        return WindowLayout::fittedFrame(available, frame, preferred);
    }
    // Whether a window of that width has room for the log's column beside
    // the views' and the tabbed docks' minimum widths.
    bool fitsLogColumn(int windowWidth) const { return windowLayout->fitsLogColumn(windowWidth); }
    // Sizes and places the window and its docks for that available screen
    // area; the constructor does it for the screen the window opens on.
    void layOutFor(const QRect& available) { windowLayout->layOutFor(available); }

    // With a camera, its "Live Capture" source is listed and selected (not started).
    MainWindow(Tavik::CameraSystem* cameraSystem, Tavik::DepthCameraPtr depthCamera, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Puts a dock into the window, in `area`, or as a tab behind
    // `tabifyWith` (which stays in front), and a show/hide action named by
    // the dock's title at this call into the View menu. The window owns the
    // dock from then on.
    void addDock(QDockWidget* dock, Qt::DockWidgetArea area, QDockWidget* tabifyWith = nullptr);
    // Whether the dock can be seen: shown, and not tabbed behind another.
    static bool isDockShowing(const QDockWidget* dock);
    // The View menu's show/hide action of a dock added, or nothing.
    QAction* viewAction(const QDockWidget* dock) const;
    // Every dock added, in order.
    const QList<QDockWidget*>& getDocks() const { return docks; }
    QMenu* getViewMenu() const { return viewMenu; }

    StatusMessageBar* statusMessage() const override { return statusBarObject; }
    QWidget* windowWidget() override { return this; }

    ViewerSession* getSession() const { return session.get(); }
    Kelvra::StreamHub* getStreamHub() const { return session->streamHub(); }
    HostDataEngine* getDataEngine() const { return session->dataEngine(); }
    Kelvra::AmplitudeViewDock* getAmplitudeDock() const { return amplitudeDock; }
    Kelvra::PhaseViewDock* getPhaseDock() const { return phaseDock; }
    Kelvra::CloudViewDock* getCloudDock() const { return cloudDock; }
    Kelvra::ColorViewDock* getColorDock() const { return colorDock; }
    Kelvra::CombinedViewDock* getCombinedDock() const { return combinedDock; }
    SettingsDock* getSettingsDock() const { return settingsDock; }
    Kelvra::PipelineDiagramDock* getDiagramDock() const { return diagramDock; }
    Kelvra::LineChartDock* getChartDock() const { return chartDock; }
    Kelvra::TriggerPanelDock* getTriggerDock() const { return triggerDock; }
    Kelvra::MessageLogDock* getLogDock() const { return logDock; }
    DataViewContainer* amplitudeContainer() const;
    DataViewContainer* phaseContainer() const;
    DataViewContainer* cloudContainer() const;
    TransportBar* getTransportBar() const { return transportBar; }
    QComboBox* sourceChooser() const { return transportBar->sourceChooser(); }
    QSlider* seekSlider() const { return transportBar->seekSlider(); }
    // "set shown / length" of a recording, "live" for the camera.
    QString positionText() const { return transportBar->positionText(); }

    // The transport bar's.
    QAction* startAction = nullptr;
    QAction* pauseAction = nullptr;
    QAction* resumeAction = nullptr;
    QAction* stopAction = nullptr;
    QAction* openAction = nullptr;
    QAction* quitAction = nullptr; // its shortcut works in every window of the viewer
    QAction* selectCameraAction = nullptr;
    QAction* disconnectAction = nullptr;
    QAction* lensFocusingAction = nullptr;
    QAction* aboutAction = nullptr;

    // Stops the session and the log; the window shows nothing new afterwards.
    // Idempotent; also run by closing and by the destructor.
    void shutdown();

public slots:
    void startStream() { transportBar->startStream(); }
    void pauseStream() { transportBar->pauseStream(); }
    void resumeStream() { transportBar->resumeStream(); }
    void stopStream() { transportBar->stopStream(); }
    void selectCamera();
    void disconnectCamera();

signals:
    // Closed by the user (File > Quit, Ctrl+Q from any window of the viewer,
    // the close button), after the orderly shutdown: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void createDocks();
    // Shows or hides the dock like its own toggle action, under a fixed name.
    QAction* makeViewAction(QDockWidget* dock);
    // ShowView(false) on the view containers of every dock out of sight: Qt
    // tells a dock closed before the window shows nothing (and may not tell
    // one that starts tabbed behind another), while its views start shown.
    void stopHiddenViews();
    void buildMenus();
    void buildSettingsAndHelpMenus();
    void buildTransportBar();
    // Camera > Disconnect while a camera is held.
    void followCamera();
    // The point-cloud views draw the points within the "Depth Limit" page's limits.
    void followDepthLimits();
    void showFailure(const QString& title, const QString& text);

    Tavik::CameraSystem* const cameraSystem;
    StatusMessageBar* statusBarObject = nullptr;
    std::unique_ptr<ViewerSession> session;
    Kelvra::AmplitudeViewDock* amplitudeDock = nullptr;
    Kelvra::PhaseViewDock* phaseDock = nullptr;
    Kelvra::CloudViewDock* cloudDock = nullptr;
    Kelvra::ColorViewDock* colorDock = nullptr;
    Kelvra::CombinedViewDock* combinedDock = nullptr;
    SettingsDock* settingsDock = nullptr;
    Kelvra::PipelineDiagramDock* diagramDock = nullptr;
    Kelvra::LineChartDock* chartDock = nullptr;
    Kelvra::TriggerPanelDock* triggerDock = nullptr;
    Kelvra::MessageLogDock* logDock = nullptr;
    QList<QDockWidget*> docks;
    QList<QAction*> viewActions; // the View menu's, one per dock
    QMenu* viewMenu = nullptr;
    Kelvra::OptionsMenu* optionsMenu = nullptr;
    bool shownOnce = false;

    TransportBar* transportBar = nullptr;
    std::unique_ptr<WindowLayout> windowLayout;
};
