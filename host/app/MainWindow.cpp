#include "host/app/MainWindow.h"
#include "host/app/DialogSizer.h"
#include "host/app/RecordingOpener.h"
#include "host/app/SettingsDock.h"
#include "platform/base/DataChannels.h"

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
#include "Kelvra/models/FileStreamSource.h"
#include "Kelvra/models/StreamHub.h"
#include "Kelvra/views/ClipRangeView.h"
#include "Kelvra/views/EffectFilterPage.h"
#include "Kelvra/views/OptionsMenu.h"
#include "Kelvra/views/PlaneView.h"
#include "platform/base/DataView.h"
#include "platform/base/DataViewContainer.h"
#include "host/engine/HostDataEngine.h"
#include "host/engine/HostViewFactory.h"
#include "host/engine/PointCloudView.h"
#include "platform/base/StatusMessageBar.h"
#include "platform/base/ViewCommunicator.h"
#include "platform/base/about.h"
#include "platform/log/Logger.h"

#include <QApplication>
#include <QCheckBox>
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

    // Start-up order: the controller, the engine that keeps it, the docks
    // (view docks, chart and trigger panel with the engine; the diagram with
    // the camera system and the controller; the log with the window), the
    // settings pages, then the settings menu (File, Camera and View come
    // first, as the docks join the View menu).
    statusBarObject = new StatusMessageBar(this);
    setStatusBar(statusBarObject);
    streamHub = std::make_unique<Kelvra::StreamHub>(cameraSystem, std::move(depthCamera));
    dataEngine = std::make_unique<HostDataEngine>(streamHub.get());

    buildMenus();
    installHostViewFactory(); // the views the docks' containers embed
    createDocks();
    buildSettingsAndHelpMenus();
    buildTransportBar();

    using Kelvra::StreamHub;
    connect(transportBar, &TransportBar::transportUpdated, this, &MainWindow::followTransport);
    connect(streamHub.get(), &StreamHub::stopped, this, &MainWindow::reportPlaybackStop);
    shownSource = streamHub->getCurrentSource();
    connect(streamHub.get(), &StreamHub::sourceSelected, this, &MainWindow::followSource);
    connect(streamHub.get(), &StreamHub::started, statusBarObject, &QStatusBar::clearMessage);
    connectionCheck = new QTimer(this);
    connectionCheck->setInterval(CONNECTION_CHECK_MS);
    connect(connectionCheck, &QTimer::timeout, this, &MainWindow::checkConnection);
    connect(dataEngine.get(), &DataEngine::frameUpdated, this, &MainWindow::followFrameSize);
    connect(dataEngine.get(), &DataEngine::frameUpdated, transportBar, &TransportBar::followFrame);
    connect(dataEngine.get(), &DataEngine::frameUpdated, this, &MainWindow::showStatistics);
    connect(statusBarObject->enableStatistics, &QCheckBox::toggled, this, [this](bool on) {
        dataEngine->setStatisticsEnabled(on);
        if (!on)
            statusBarObject->setStatisticsText(QString());
        showStatistics();
    });
    // The statistics follow the pointer, also when no frame comes.
    connect(statusBarObject, &StatusMessageBar::pointChanged, this, [this](QPointF p) {
        mousePoint = p;
        showStatistics();
    });

    followDepthLimits();
    followTransport();
    windowLayout = std::make_unique<WindowLayout>(this, amplitudeDock, phaseDock, cloudDock, logDock);
    windowLayout->layOutOnScreen();
    // The host's dialogs and the modules' open at a size that shows their rows and titles.
    qApp->installEventFilter(new DialogSizer(this));
    // The log dock exists from here on: it keeps no earlier lines.
    if (const auto camera = streamHub->getDepthCamera())
        logCameraConnected(camera);
    for (const QString& note : triggerDock->namesFileCut)
        Logger::writeLog(Tavik::LOG_WARNING, note);
}

MainWindow::~MainWindow()
{
    shutdown();
    // The docks' views hold the engine: they go first, the controller last.
    for (QDockWidget* dock : docks) {
        // A dock deleted while shown must not reach its views through its own signal.
        disconnect(dock, &QDockWidget::visibilityChanged, nullptr, nullptr);
        delete dock;
    }
    docks.clear();
    viewActions.clear(); // went with their docks
    delete optionsMenu;
    dataEngine.reset();
    streamHub.reset();
}

void MainWindow::createDocks()
{
    using namespace Kelvra;
    amplitudeDock = new AmplitudeViewDock(dataEngine.get());
    phaseDock = new PhaseViewDock(dataEngine.get());
    cloudDock = new CloudViewDock(dataEngine.get());
    combinedDock = new CombinedViewDock(dataEngine.get());
    colorDock = new ColorViewDock(dataEngine.get());

    amplitudeDock->setStatusBar(statusBarObject);
    amplitudeDock->setStreamHub(streamHub.get());
    phaseDock->setStatusBar(statusBarObject);
    phaseDock->setStreamHub(streamHub.get());
    cloudDock->setStatusBar(statusBarObject);
    cloudDock->setStreamHub(streamHub.get());
    combinedDock->setStatusBar(statusBarObject);
    combinedDock->setStreamHub(streamHub.get());
    colorDock->setStatusBar(statusBarObject);
    colorDock->setStreamHub(streamHub.get()); // connects onDepthCameraSet itself

    connect(streamHub.get(), &StreamHub::onDepthCameraSet, amplitudeDock, &AmplitudeViewDock::onDepthCameraSet);
    connect(streamHub.get(), &StreamHub::onDepthCameraSet, phaseDock, &PhaseViewDock::onDepthCameraSet);
    connect(streamHub.get(), &StreamHub::onDepthCameraSet, cloudDock, &CloudViewDock::onDepthCameraSet);
    connect(streamHub.get(), &StreamHub::onDepthCameraSet, combinedDock, &CombinedViewDock::onDepthCameraSet);
    // The titles also tell whether a recording is shown.
    connect(streamHub.get(), &StreamHub::sourceSelected, amplitudeDock, &AmplitudeViewDock::onDepthCameraSet);
    connect(streamHub.get(), &StreamHub::sourceSelected, phaseDock, &PhaseViewDock::onDepthCameraSet);
    connect(streamHub.get(), &StreamHub::sourceSelected, cloudDock, &CloudViewDock::onDepthCameraSet);
    connect(streamHub.get(), &StreamHub::sourceSelected, combinedDock, &CombinedViewDock::onDepthCameraSet);
    connect(streamHub.get(), &StreamHub::sourceSelected, colorDock, &ColorViewDock::onDepthCameraSet);

    // Connects onDepthCameraSet itself.
    diagramDock = new PipelineDiagramDock(cameraSystem, streamHub.get());
    chartDock = new LineChartDock(dataEngine.get());
    chartDock->setStreamHub(streamHub.get());
    triggerDock = new TriggerPanelDock(dataEngine.get());
    triggerDock->setStreamHub(streamHub.get());
    logDock = new MessageLogDock(this);

    settingsDock = new SettingsDock(this, cameraSystem, streamHub.get());
    connect(streamHub.get(), &StreamHub::onDepthCameraSet, settingsDock, &SettingsDock::onDepthCameraSet);

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
            openRecording(path);
    });
    openAction->setShortcut(QKeySequence::Open);
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

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
    optionsMenu = new Kelvra::OptionsMenu(this, dataEngine.get(), this);
    menuBar()->addMenu(optionsMenu);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    aboutAction = help->addAction(QStringLiteral("&About"), this, [this] { Kelvra::InfoDialog::showDialog(this); });
}

void MainWindow::buildTransportBar()
{
    transportBar = new TransportBar(streamHub.get(), this);
    addToolBar(transportBar);
    startAction = transportBar->startAction;
    pauseAction = transportBar->pauseAction;
    resumeAction = transportBar->resumeAction;
    stopAction = transportBar->stopAction;
}

bool MainWindow::openRecording(const QString& path, bool quiet)
{
    // A file not listed yet is opened while the window goes on: its scan may
    // take long. One at a time; closing the window gives it up.
    if (openingRecording)
        return false;
    std::shared_ptr<Tavik::FrameStreamReader> reader;
    if (cameraSystem && streamHub->indexOfFile(path) < 0) {
        openingRecording = true;
        reader = RecordingOpener::open(this, path, *cameraSystem);
        openingRecording = false;
        if (!reader || isShutDown) {
            Logger::writeLog(Tavik::LOG_INFO, QStringLiteral("Opening the recording %1 given up").arg(path));
            return false;
        }
    }
    QString error;
    const int index = streamHub->addFileStreamSource(path, &error, std::move(reader));
    const auto& sources = streamHub->getSources();
    if (index < 0 || index >= static_cast<int>(sources.size()))
        return false;
    if (!sources[index]->isInitialized()) {
        streamHub->removeStreamSource(index);
        const QString text = QStringLiteral("Cannot play the recording %1: %2").arg(path, error);
        Logger::writeLog(Tavik::LOG_ERROR, text);
        if (!quiet) {
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Open Recording Failed"), text, QMessageBox::Ok, this);
            box.setTextFormat(Qt::PlainText); // the file's name as it is, never as markup
            box.exec();
        }
        return false;
    }
    Logger::writeLog(Tavik::LOG_INFO, QStringLiteral("Recording opened: %1").arg(path));
    const auto* file = qobject_cast<const Kelvra::FileStreamSource*>(sources[index].get());
    const QStringList damage = file ? file->damageNotes() : QStringList();
    streamHub->setCurrentSource(index);
    const bool started = streamHub->start();
    // After the start, which clears the status bar.
    for (const QString& note : damage)
        Logger::writeLog(Tavik::LOG_WARNING, QStringLiteral("Recording %1: %2").arg(file->getName(), note));
    if (!damage.isEmpty()) {
        QString text = QStringLiteral("Recording %1: %2").arg(file->getName(), damage.front());
        if (damage.size() > 1)
            text += QStringLiteral(" (and %1 more in the log)").arg(damage.size() - 1);
        statusBarObject->showMessage(text);
    }
    return started;
}

void MainWindow::startWhenRunning(const QString& recording)
{
    QTimer::singleShot(0, this, [this, recording] {
        if (!recording.isEmpty())
            openRecording(recording);
        else if (streamHub->getDepthCamera())
            startStream();
    });
}

void MainWindow::shutdown()
{
    if (isShutDown)
        return;
    isShutDown = true;
    connectionCheck->stop();
    streamHub->stop();
    dataEngine->stop();
    logDock->stop();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    shutdown();
    event->accept();
    // What is left goes with the window: the filter dialogs, which have no
    // parent, and a dock floating beside it.
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget != this && widget->isVisible())
            widget->close();
    emit closed();
}

void MainWindow::selectCamera()
{
    Tavik::DepthCameraPtr camera = Kelvra::CameraPickerDialog::showDialog(cameraSystem, this);
    if (!camera)
        return; // cancelled
    // The picker hands back what the camera system gave, connected or not.
    if (!camera->isConnected()) {
        const QString text =
            QStringLiteral("Cannot connect the camera %1 %2")
                .arg(QString::fromStdString(camera->cameraType()), QString::fromStdString(camera->id()));
        Logger::writeLog(Tavik::LOG_ERROR, text);
        QMessageBox::warning(this, QStringLiteral("Connect Camera Failed"), text);
        return;
    }
    const Tavik::DepthCameraPtr old = streamHub->getDepthCamera();
    if (old == camera)
        return;
    // The pages drop the camera before it goes away.
    settingsDock->releaseDepthCamera();
    if (old)
        streamHub->disconnectDepthCamera();
    const auto source = streamHub->getCurrentSource();
    const bool liveShown = !source || source->isLiveStream();
    streamHub->setDepthCamera(camera);
    logCameraConnected(camera);
    // As at start-up: the camera streams, unless a recording is shown.
    const auto live = streamHub->getCurrentSource();
    if (liveShown && live && live->isLiveStream() && !live->isRunning())
        streamHub->start();
}

void MainWindow::disconnectCamera()
{
    const auto source = streamHub->getCurrentSource();
    const bool liveShown = source && source->isLiveStream();
    settingsDock->releaseDepthCamera();
    streamHub->disconnectDepthCamera();
    if (liveShown)
        blankViews();
}

void MainWindow::followSource()
{
    const auto source = streamHub->getCurrentSource();
    if (source == shownSource.lock())
        return;
    shownSource = source;
    blankViews(); // until the new source delivers
}

void MainWindow::blankViews()
{
    dataEngine->clearFrames(); // the point clouds draw the empty set
    for (Kelvra::PlaneView* view : findChildren<Kelvra::PlaneView*>()) {
        view->clearReadOut();
        view->getImageItem()->clear();
    }
    mousePoint.reset();
    statusBarObject->clearPoint();
    statusBarObject->setStatisticsText(QString());
}

void MainWindow::checkConnection()
{
    const Tavik::DepthCameraPtr camera = streamHub->getDepthCamera();
    if (!camera || camera->isConnected())
        return;
    reportError(QStringLiteral("Camera lost: %1 %2")
                    .arg(QString::fromStdString(camera->cameraType()), QString::fromStdString(camera->id())));
    disconnectCamera();
}

void MainWindow::reportPlaybackStop()
{
    const auto source = streamHub->getCurrentSource();
    const auto* file = qobject_cast<const Kelvra::FileStreamSource*>(source.get());
    if (!file || file->isRunning())
        return;
    const QString reason = file->stopReason();
    if (reason.isEmpty()) // the end, or stopped
        return;
    // The reason names the set skipped; Start goes on after it, or from the
    // first set when nothing follows it.
    reportError(QStringLiteral("Playback of %1 stopped: %2; Start goes on with frame set %3 / %4")
                    .arg(file->getName(), reason)
                    .arg(file->startPosition() + 1)
                    .arg(file->length()));
}

void MainWindow::reportError(const QString& text)
{
    Logger::writeLog(Tavik::LOG_ERROR, text);
    statusBarObject->showMessage(text);
}

void MainWindow::logCameraConnected(const Tavik::DepthCameraPtr& camera)
{
    Logger::writeLog(Tavik::LOG_INFO,
                     QStringLiteral("Camera connected: %1 %2")
                         .arg(QString::fromStdString(camera->cameraType()), QString::fromStdString(camera->id())));
}

void MainWindow::followTransport()
{
    const bool camera = static_cast<bool>(streamHub->getDepthCamera());
    disconnectAction->setEnabled(camera);
    if (camera && !connectionCheck->isActive() && !isShutDown)
        connectionCheck->start();
    else if (!camera)
        connectionCheck->stop();
    showStatistics();
}

void MainWindow::followFrameSize()
{
    const auto size = dataEngine->frameSize();
    if (size == shownFrameSize)
        return;
    const bool hadFrames = shownFrameSize.has_value();
    shownFrameSize = size;
    if (!hadFrames)
        return;
    const bool empty = !size || (*size)[0] <= 0 || (*size)[1] <= 0;
    for (Kelvra::PlaneView* view : findChildren<Kelvra::PlaneView*>()) {
        view->clearReadOut();
        if (empty) // a view keeps its last picture for a frame without one
            view->getImageItem()->clear();
    }
    mousePoint.reset();
    statusBarObject->clearPoint();
    statusBarObject->setStatisticsText(QString());
}

void MainWindow::showStatistics()
{
    if (!dataEngine->isStatisticsEnabled() || !mousePoint)
        return;
    const QString text = dataEngine->statisticsText(*mousePoint);
    // Ticked while paused, or at the end of a recording: nothing kept yet.
    statusBarObject->setStatisticsText(text.isEmpty() ? NO_HISTORY_TEXT : text);
}

void MainWindow::followDepthLimits()
{
    // The page announces its limits (millimetres) as the hub's "depth"
    // thresholds; the unambiguous-range page sends its range under that name
    // too, in metres, which bounds nothing: only the page's own pair counts.
    Kelvra::ClipRangeView* page = settingsDock->depthLimitPage();
    connect(DataView::communicator(), &ViewCommunicator::thresholdsChanged, this,
            [this, page](const QString& name, double lower, double upper) {
                if (name != QLatin1String("depth") || lower != page->depthLevels[0] || upper != page->depthLevels[1])
                    return;
                for (PointCloudView* view : findChildren<PointCloudView*>())
                    view->setDepthLimits(lower / 1000.0, upper / 1000.0);
            });
}
