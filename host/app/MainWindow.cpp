#include "host/app/MainWindow.h"
#include "host/app/DialogSizer.h"
#include "host/app/SettingsDock.h"

#include "Kelvra/dialogs/CameraPickerDialog.h"
#include "Kelvra/docks/AmplitudeViewDock.h"
#include "Kelvra/docks/CloudViewDock.h"
#include "Kelvra/docks/ColorViewDock.h"
#include "Kelvra/docks/CombinedViewDock.h"
#include "Kelvra/docks/LineChartDock.h"
#include "Kelvra/docks/MessageLogDock.h"
#include "Kelvra/docks/PhaseViewDock.h"
#include "Kelvra/docks/PipelineDiagramDock.h"
#include "Kelvra/docks/TriggerPanelDock.h"
#include "Kelvra/dialogs/InfoDialog.h"
#include "Kelvra/models/StreamHub.h"
#include "Kelvra/views/ClipRangeView.h"
#include "Kelvra/views/OptionsMenu.h"
#include "Kelvra/views/PlaneView.h"
#include "platform/base/DataView.h"
#include "platform/base/DataViewContainer.h"
#include "host/engine/HostDataEngine.h"
#include "host/engine/HostViewFactory.h"
#include "host/engine/PointCloudView.h"
#include "platform/base/StatusMessageBar.h"
#include "platform/base/QxtSpanSlider.h"
#include "platform/base/ViewCommunicator.h"
#include "platform/base/about.h"
#include "platform/log/Logger.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QResizeEvent>
#include <QTimer>

MainWindow::MainWindow(Tavik::CameraSystem* cameraSystem, Tavik::DepthCameraPtr depthCamera, QWidget* parent)
    : QMainWindow(parent)
    , cameraSystem(cameraSystem)
{
    setWindowTitle(SOFTWARE_NAME + QStringLiteral(" ") + VERSION_NUMBER);

    // Start-up order: the controller and the engine that keeps it (the
    // session's), the docks (view docks, chart and trigger panel with the
    // engine; the diagram with the camera system and the controller; the log
    // with the window), the settings pages, then the settings menu (File,
    // Camera and View come first, as the docks join the View menu).
    statusBarObject = new StatusMessageBar(this);
    setStatusBar(statusBarObject);
    session = std::make_unique<ViewerSession>(cameraSystem, std::move(depthCamera), statusBarObject, this);

    buildMenus();
    installHostViewFactory(); // the views the docks' containers embed
    createDocks();
    buildSettingsAndHelpMenus();
    buildTransportBar();

    connect(getDataEngine(), &DataEngine::frameUpdated, transportBar, &TransportBar::followFrame);
    connect(transportBar, &TransportBar::sourceChosen, session.get(), &ViewerSession::chooseSource);
    connect(session.get(), &ViewerSession::failed, this, &MainWindow::showFailure);
    connect(session.get(), &ViewerSession::frameSizeChanged, this, [this] {
        for (Kelvra::PlaneView* view : findChildren<Kelvra::PlaneView*>())
            view->clearReadOut();
    });
    connect(session.get(), &ViewerSession::cameraLeaving, settingsDock, &SettingsDock::releaseDepthCamera);
    for (auto signal : {&Kelvra::StreamHub::onDepthCameraSet, &Kelvra::StreamHub::sourceListChanged})
        connect(getStreamHub(), signal, this, &MainWindow::followCamera);
    followDepthLimits();
    followCamera();
    windowLayout = std::make_unique<WindowLayout>(this, amplitudeDock, phaseDock, cloudDock, logDock);
    windowLayout->layOutOnScreen();
    // The host's dialogs and the modules' open at a size that shows their rows and titles.
    qApp->installEventFilter(new DialogSizer(this));
    // The log dock exists from here on: it keeps no earlier lines.
    if (const auto camera = getStreamHub()->getDepthCamera())
        Logger::writeLog(Tavik::LOG_INFO,
                         QStringLiteral("Camera connected: %1").arg(ViewerSession::cameraName(camera)));
    for (const QString& note : triggerDock->namesFileCut)
        Logger::writeLog(Tavik::LOG_WARNING, note);
}

MainWindow::~MainWindow()
{
    shutdown();
    // The docks' views hold the engine: they go first, the session last.
    for (QDockWidget* dock : docks) {
        // A dock deleted while shown must not reach its views through its own signal.
        disconnect(dock, &QDockWidget::visibilityChanged, nullptr, nullptr);
        delete dock;
    }
    docks.clear();
    viewActions.clear(); // went with their docks
    delete optionsMenu;
    session.reset();
}

void MainWindow::createDocks()
{
    using namespace Kelvra;
    StreamHub* const streamHub = getStreamHub();
    HostDataEngine* const dataEngine = getDataEngine();
    amplitudeDock = new AmplitudeViewDock(dataEngine);
    phaseDock = new PhaseViewDock(dataEngine);
    cloudDock = new CloudViewDock(dataEngine);
    combinedDock = new CombinedViewDock(dataEngine);
    colorDock = new ColorViewDock(dataEngine);

    amplitudeDock->setStatusBar(statusBarObject);
    amplitudeDock->setStreamHub(streamHub);
    phaseDock->setStatusBar(statusBarObject);
    phaseDock->setStreamHub(streamHub);
    cloudDock->setStatusBar(statusBarObject);
    cloudDock->setStreamHub(streamHub);
    combinedDock->setStatusBar(statusBarObject);
    combinedDock->setStreamHub(streamHub);
    colorDock->setStatusBar(statusBarObject);
    colorDock->setStreamHub(streamHub); // connects onDepthCameraSet itself

    connect(streamHub, &StreamHub::onDepthCameraSet, amplitudeDock, &AmplitudeViewDock::onDepthCameraSet);
    connect(streamHub, &StreamHub::onDepthCameraSet, phaseDock, &PhaseViewDock::onDepthCameraSet);
    connect(streamHub, &StreamHub::onDepthCameraSet, cloudDock, &CloudViewDock::onDepthCameraSet);
    connect(streamHub, &StreamHub::onDepthCameraSet, combinedDock, &CombinedViewDock::onDepthCameraSet);
    // The titles also tell whether a recording is shown.
    connect(streamHub, &StreamHub::sourceSelected, amplitudeDock, &AmplitudeViewDock::onDepthCameraSet);
    connect(streamHub, &StreamHub::sourceSelected, phaseDock, &PhaseViewDock::onDepthCameraSet);
    connect(streamHub, &StreamHub::sourceSelected, cloudDock, &CloudViewDock::onDepthCameraSet);
    connect(streamHub, &StreamHub::sourceSelected, combinedDock, &CombinedViewDock::onDepthCameraSet);
    connect(streamHub, &StreamHub::sourceSelected, colorDock, &ColorViewDock::onDepthCameraSet);

    // Connects onDepthCameraSet itself.
    diagramDock = new PipelineDiagramDock(cameraSystem, streamHub);
    chartDock = new LineChartDock(dataEngine);
    chartDock->setStreamHub(streamHub);
    triggerDock = new TriggerPanelDock(dataEngine);
    triggerDock->setStreamHub(streamHub);
    logDock = new MessageLogDock(this);

    settingsDock = new SettingsDock(this, cameraSystem, streamHub);
    connect(streamHub, &StreamHub::onDepthCameraSet, settingsDock, &SettingsDock::onDepthCameraSet);

    // Amplitude over phase on the left; the point cloud on the right with the
    // combined dock (which draws all three views again) and the colour dock
    // as tabs behind it.
    addDock(amplitudeDock, Qt::LeftDockWidgetArea);
    addDock(phaseDock, Qt::LeftDockWidgetArea);
    addDock(cloudDock, Qt::RightDockWidgetArea);
    addDock(combinedDock, Qt::RightDockWidgetArea, cloudDock);
    addDock(colorDock, Qt::RightDockWidgetArea, cloudDock);
    // The other panels as tabs too: the chart's and the trigger panel's
    // minimum sizes leave no room for them beside the views.
    for (QDockWidget* dock : std::initializer_list<QDockWidget*>{settingsDock, diagramDock, chartDock, triggerDock})
        addDock(dock, Qt::RightDockWidgetArea, cloudDock);
    // The log's width is fixed: a tab in the wide area would show it beside
    // an empty band. layOutDocks() gives it a column, or lets it float.
    addDock(logDock, Qt::RightDockWidgetArea);
}

void MainWindow::addDock(QDockWidget* dock, Qt::DockWidgetArea area, QDockWidget* tabifyWith)
{
    if (dock->objectName().isEmpty())
        dock->setObjectName(dock->windowTitle());
    addDockWidget(area, dock);
    if (tabifyWith) {
        tabifyDockWidget(tabifyWith, dock);
        tabifyWith->raise(); // else the tab added last would be in front
    }
    QAction* action = makeViewAction(dock);
    viewMenu->addAction(action);
    viewActions.append(action);
    docks.append(dock);
}

QAction* MainWindow::makeViewAction(QDockWidget* dock)
{
    // The dock's own toggle action takes the dock's title, which reads
    // "Disconnect" without a camera; the menu keeps the name it was added under.
    QAction* toggle = dock->toggleViewAction();
    auto* action = new QAction(dock->windowTitle(), dock);
    action->setCheckable(true);
    action->setChecked(toggle->isChecked());
    connect(action, &QAction::triggered, toggle, &QAction::trigger);
    connect(toggle, &QAction::toggled, action, &QAction::setChecked);
    return action;
}

QAction* MainWindow::viewAction(const QDockWidget* dock) const
{
    const int index = docks.indexOf(const_cast<QDockWidget*>(dock));
    return index < 0 ? nullptr : viewActions.at(index);
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    if (windowLayout)
        windowLayout->fitFrameToScreen();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (windowLayout) {
        windowLayout->fitFrameToScreen();
        windowLayout->keepLogOnScreen(QRect(geometry().topLeft(), event->oldSize()));
    }
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (shownOnce)
        return;
    shownOnce = true;
    stopHiddenViews();
    // A frame already there when the window shows is fitted at once.
    QTimer::singleShot(0, this, [this] { windowLayout->fitFrameToScreen(); });
    if (logDock->isFloating() && !logDock->isVisible())
        QTimer::singleShot(0, logDock, &QWidget::show); // once the window is mapped
}

bool MainWindow::isDockShowing(const QDockWidget* dock)
{
    // A dock tabbed behind another stays visible to Qt, moved out of sight.
    return dock->isVisible() && !dock->visibleRegion().isEmpty();
}

void MainWindow::stopHiddenViews()
{
    for (QDockWidget* dock : docks)
        if (!isDockShowing(dock))
            for (DataViewContainer* view : dock->findChildren<DataViewContainer*>())
                view->ShowView(false);
}

DataViewContainer* MainWindow::amplitudeContainer() const
{
    return amplitudeDock->amplitudeViewer;
}

DataViewContainer* MainWindow::phaseContainer() const
{
    return phaseDock->viewer1;
}

DataViewContainer* MainWindow::cloudContainer() const
{
    return cloudDock->pointcloudViewer;
}

void MainWindow::buildMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    openAction = file->addAction(QStringLiteral("&Open recording..."), this, [this] {
        const QString path =
            QFileDialog::getOpenFileName(this, QStringLiteral("Open recording"), QString(), RECORDING_FILTER);
        if (!path.isEmpty())
            session->openRecording(path);
    });
    openAction->setShortcut(QKeySequence::Open);
    file->addSeparator();
    quitAction = file->addAction(QStringLiteral("&Quit"), this, &QWidget::close);
    // Ctrl+Q itself: the standard key is empty on some platform plugins.
    quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    // Also from a filter dialog, which has no parent.
    quitAction->setShortcutContext(Qt::ApplicationShortcut);

    QMenu* camera = menuBar()->addMenu(QStringLiteral("&Camera"));
    selectCameraAction = camera->addAction(QStringLiteral("&Select camera..."), this, &MainWindow::selectCamera);
    disconnectAction = camera->addAction(QStringLiteral("&Disconnect"), this, &MainWindow::disconnectCamera);

    viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    lensFocusingAction = viewMenu->addAction(QStringLiteral("&Lens focusing"));
    lensFocusingAction->setCheckable(true);
    connect(lensFocusingAction, &QAction::toggled, this,
            [](bool on) { emit DataView::communicator()->lensFocusing(on); });
    viewMenu->addSeparator(); // the docks follow
}

void MainWindow::buildSettingsAndHelpMenus()
{
    optionsMenu = new Kelvra::OptionsMenu(this, getDataEngine(), this);
    menuBar()->addMenu(optionsMenu);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    aboutAction = help->addAction(QStringLiteral("&About"), this, [this] { Kelvra::InfoDialog::showDialog(this); });
}

void MainWindow::buildTransportBar()
{
    transportBar = new TransportBar(getStreamHub(), this);
    addToolBar(transportBar);
    startAction = transportBar->startAction;
    pauseAction = transportBar->pauseAction;
    resumeAction = transportBar->resumeAction;
    stopAction = transportBar->stopAction;
}

void MainWindow::shutdown()
{
    session->shutdown();
    logDock->stop();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    shutdown();
    event->accept();
    emit closed();
}

void MainWindow::selectCamera()
{
    session->useCamera(Kelvra::CameraPickerDialog::showDialog(cameraSystem, this));
}

void MainWindow::disconnectCamera()
{
    session->disconnectCamera();
}

void MainWindow::showFailure(const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText); // a file's name as it is, never as markup
    box.exec();
}

void MainWindow::followCamera()
{
    disconnectAction->setEnabled(static_cast<bool>(getStreamHub()->getDepthCamera()));
}

void MainWindow::followDepthLimits()
{
    // The page's slider tells each move after the page took it.
    Kelvra::ClipRangeView* page = settingsDock->depthLimitPage();
    const auto apply = [this, page] {
        for (PointCloudView* view : findChildren<PointCloudView*>())
            view->setDepthLimits(page->depthLevels[0] / 1000.0, page->depthLevels[1] / 1000.0);
    };
    connect(page->spanSlider, &QxtSpanSlider::floatLowerPositionChanged, this, apply);
    connect(page->spanSlider, &QxtSpanSlider::floatUpperPositionChanged, this, apply);
}
