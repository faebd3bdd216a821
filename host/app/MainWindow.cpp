#include "host/app/MainWindow.h"
#include "host/base/DataChannels.h"

#include "Kelvra/dialogs/CameraPickerDialog.h"
#include "Kelvra/dialogs/InfoDialog.h"
#include "Kelvra/models/StreamHub.h"
#include "Kelvra/views/OptionsMenu.h"
#include "host/base/DataView.h"
#include "host/engine/DataViewContainer.h"
#include "host/engine/HostDataEngine.h"
#include "host/base/StatusMessageBar.h"
#include "host/base/ViewCommunicator.h"
#include "host/base/about.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolBar>

#include <algorithm>

MainWindow::MainWindow(Tavik::CameraSystem* cameraSystem, Tavik::DepthCameraPtr depthCamera, QWidget* parent)
    : QMainWindow(parent)
    , cameraSystem(cameraSystem)
{
    setWindowTitle(SOFTWARE_NAME + QStringLiteral(" ") + VERSION_NUMBER);

    // Start-up order: status bar, controller, engine, then the views (each
    // view asks the engine for the controller while it is built).
    statusBarObject = new StatusMessageBar(this);
    setStatusBar(statusBarObject);
    streamHub = std::make_unique<Kelvra::StreamHub>(cameraSystem, std::move(depthCamera));
    dataEngine = std::make_unique<HostDataEngine>(streamHub.get());

    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);
    amplitudeViewer = new DataViewContainer(dataEngine.get(), DataChannels::AMPLITUDE, true, true, central);
    phaseViewer = new DataViewContainer(dataEngine.get(), DataChannels::PHASE, true, true, central);
    layout->addWidget(amplitudeViewer, 1);
    layout->addWidget(phaseViewer, 1);
    setCentralWidget(central);
    amplitudeViewer->setStatusBar(statusBarObject);
    phaseViewer->setStatusBar(statusBarObject);

    buildMenus();
    buildTransportBar();

    using Kelvra::StreamHub;
    connect(streamHub.get(), &StreamHub::sourceListChanged, this, &MainWindow::refreshSources);
    connect(streamHub.get(), &StreamHub::sourceSelected, this, &MainWindow::followSelection);
    for (auto signal : {&StreamHub::started, &StreamHub::stopped, &StreamHub::paused, &StreamHub::resumed,
                        &StreamHub::onDepthCameraSet})
        connect(streamHub.get(), signal, this, &MainWindow::updateTransport);
    connect(dataEngine.get(), &DataEngine::frameUpdated, this, &MainWindow::followFrame);
    connect(statusBarObject->enableStatistics, &QCheckBox::toggled, this, [this](bool on) {
        dataEngine->setStatisticsEnabled(on);
        if (!on)
            statusBarObject->setStatisticsText(QString());
    });
    connect(statusBarObject, &StatusMessageBar::pointChanged, this, [this](QPointF p) { mousePoint = p; });

    refreshSources();
    resize(1280, 760);
}

MainWindow::~MainWindow()
{
    shutdown();
    // The views hold the engine: they go first, the controller last.
    delete takeCentralWidget();
    amplitudeViewer = phaseViewer = nullptr;
    delete optionsMenu;
    dataEngine.reset();
    streamHub.reset();
}

void MainWindow::buildMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    openAction = file->addAction(QStringLiteral("&Open recording..."), this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open recording"));
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

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    lensFocusingAction = view->addAction(QStringLiteral("&Lens focusing"));
    lensFocusingAction->setCheckable(true);
    connect(lensFocusingAction, &QAction::toggled, this,
            [](bool on) { emit DataView::communicator()->lensFocusing(on); });

    optionsMenu = new Kelvra::OptionsMenu(this, dataEngine.get(), this);
    menuBar()->addMenu(optionsMenu);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    aboutAction = help->addAction(QStringLiteral("&About"), this, [this] { Kelvra::InfoDialog::showDialog(this); });
}

void MainWindow::buildTransportBar()
{
    QToolBar* bar = addToolBar(QStringLiteral("Transport"));
    bar->setObjectName(QStringLiteral("transport"));
    bar->setMovable(false);
    bar->addWidget(new QLabel(QStringLiteral(" Source: "), bar));
    sourceBox = new QComboBox(bar);
    sourceBox->setMinimumContentsLength(18);
    bar->addWidget(sourceBox);
    connect(sourceBox, QOverload<int>::of(&QComboBox::activated), this,
            [this](int index) { streamHub->setCurrentSource(index); });
    bar->addSeparator();
    startAction = bar->addAction(QStringLiteral("Start"), this, &MainWindow::startStream);
    pauseAction = bar->addAction(QStringLiteral("Pause"), this, &MainWindow::pauseStream);
    resumeAction = bar->addAction(QStringLiteral("Resume"), this, &MainWindow::resumeStream);
    stopAction = bar->addAction(QStringLiteral("Stop"), this, &MainWindow::stopStream);
    bar->addSeparator();
    seekBar = new QSlider(Qt::Horizontal, bar);
    seekBar->setMinimumWidth(240);
    bar->addWidget(seekBar);
    positionLabel = new QLabel(bar);
    positionLabel->setMinimumWidth(90);
    bar->addWidget(positionLabel);
    connect(seekBar, &QSlider::valueChanged, this, &MainWindow::seekTo);
}

bool MainWindow::openRecording(const QString& path, bool quiet)
{
    const int index = streamHub->addFileStreamSource(path);
    const auto& sources = streamHub->getSources();
    if (index < 0 || index >= static_cast<int>(sources.size()))
        return false;
    if (!sources[index]->isInitialized()) {
        streamHub->removeStreamSource(index);
        if (!quiet)
            QMessageBox::warning(this, QStringLiteral("Open Recording Failed"),
                                 QStringLiteral("Cannot play the recording %1").arg(path));
        return false;
    }
    streamHub->setCurrentSource(index);
    return streamHub->start();
}

void MainWindow::shutdown()
{
    if (isShutDown)
        return;
    isShutDown = true;
    streamHub->stop();
    dataEngine->stop();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    shutdown();
    event->accept();
}

void MainWindow::startStream() { streamHub->start(); }

void MainWindow::pauseStream() { streamHub->pause(); }

void MainWindow::resumeStream()
{
    const auto source = streamHub->getCurrentSource();
    if (!source)
        return;
    // A paused recording has no playback thread to resume: only start() goes on.
    if (source->isLiveStream())
        source->resume();
    else
        streamHub->start();
}

void MainWindow::stopStream() { streamHub->stop(); }

void MainWindow::selectCamera()
{
    Tavik::DepthCameraPtr camera = Kelvra::CameraPickerDialog::showDialog(cameraSystem, this);
    if (!camera)
        return;
    const Tavik::DepthCameraPtr old = streamHub->getDepthCamera();
    if (old == camera)
        return;
    if (old)
        streamHub->disconnectDepthCamera();
    streamHub->setDepthCamera(camera);
}

void MainWindow::disconnectCamera() { streamHub->disconnectDepthCamera(); }

void MainWindow::refreshSources()
{
    {
        const QSignalBlocker blocker(sourceBox);
        sourceBox->clear();
        for (const auto& source : streamHub->getSources())
            sourceBox->addItem(source->getName());
        sourceBox->setCurrentIndex(streamHub->getCurrentSourceIndex());
    }
    updateTransport();
}

void MainWindow::followSelection(int index)
{
    {
        const QSignalBlocker blocker(sourceBox);
        sourceBox->setCurrentIndex(index);
    }
    updateTransport();
}

void MainWindow::updateTransport()
{
    const auto source = streamHub->getCurrentSource();
    const bool running = source && source->isRunning();
    const bool paused = source && source->isPaused();
    startAction->setEnabled(source && (!running || paused));
    pauseAction->setEnabled(running && !paused);
    resumeAction->setEnabled(paused);
    stopAction->setEnabled(running || paused);
    disconnectAction->setEnabled(static_cast<bool>(streamHub->getDepthCamera()));

    const bool seekable = source && source->isSeekable();
    seekBar->setEnabled(seekable);
    {
        const QSignalBlocker blocker(seekBar);
        seekBar->setRange(0, seekable ? std::max(0, source->length() - 1) : 0);
    }
    followFrame();
}

void MainWindow::followFrame()
{
    const auto source = streamHub->getCurrentSource();
    if (source && source->isSeekable()) {
        const int position = static_cast<int>(std::min<int64_t>(source->currentPosition(), seekBar->maximum()));
        if (!seekBar->isSliderDown()) {
            const QSignalBlocker blocker(seekBar);
            seekBar->setValue(position);
        }
        positionLabel->setText(QStringLiteral("%1 / %2").arg(position + 1).arg(source->length()));
    } else {
        positionLabel->setText(source && source->isLiveStream() ? QStringLiteral("live") : QString());
    }
    showStatistics();
}

void MainWindow::seekTo(int position)
{
    const auto source = streamHub->getCurrentSource();
    if (source && source->isSeekable())
        source->seek(position);
}

void MainWindow::showStatistics()
{
    if (!dataEngine->isStatisticsEnabled() || !mousePoint)
        return;
    statusBarObject->setStatisticsText(dataEngine->statisticsText(*mousePoint));
}
