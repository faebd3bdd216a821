#include "host/app/ViewerSession.h"

#include "host/app/RecordingOpenTask.h"
#include "host/engine/HostDataEngine.h"
#include "Kelvra/models/StreamHub.h"
#include "platform/base/StatusMessageBar.h"
#include "platform/log/Logger.h"
#include "Tavik/CameraSystem.h"
#include "Tavik/DepthCamera.h"

#include <QCheckBox>
#include <QTimer>

namespace {

// Whether two handles name one object; an object gone since stays itself.
template <class T> bool same(const std::weak_ptr<T>& a, const std::shared_ptr<T>& b)
{
    return !a.owner_before(b) && !b.owner_before(a);
}

} // namespace

QString ViewerSession::cameraName(const Tavik::DepthCameraPtr& camera)
{
    return QStringLiteral("%1 %2").arg(QString::fromStdString(camera->cameraType()),
                                       QString::fromStdString(camera->id()));
}

ViewerSession::ViewerSession(Tavik::CameraSystem* cameraSystem, Tavik::DepthCameraPtr camera,
                             StatusMessageBar* statusBar, QWidget* window)
    : QObject(nullptr)
    , cameraSystem(cameraSystem)
    , statusBar(statusBar)
    , window(window)
    , hub(std::make_unique<Kelvra::StreamHub>(cameraSystem, std::move(camera)))
    , engine(std::make_unique<HostDataEngine>(hub.get()))
{
    using Kelvra::StreamHub;
    shownSource = hub->getCurrentSource();
    shownCamera = hub->getDepthCamera();
    connect(hub.get(), &StreamHub::sourceSelected, this, &ViewerSession::followSource);
    for (auto signal : {&StreamHub::sourceListChanged, &StreamHub::onDepthCameraSet})
        connect(hub.get(), signal, this, &ViewerSession::followSource);
    connect(hub.get(), &StreamHub::onDepthCameraSet, this, &ViewerSession::followCamera);
    connect(hub.get(), &StreamHub::stopped, this, &ViewerSession::reportPlaybackStop);
    connect(hub.get(), &StreamHub::started, statusBar, &QStatusBar::clearMessage);

    connectionCheck = new QTimer(this);
    connectionCheck->setInterval(CONNECTION_CHECK_MS);
    connect(connectionCheck, &QTimer::timeout, this, &ViewerSession::checkConnection);
    followCamera();

    connect(engine.get(), &DataEngine::frameUpdated, this, &ViewerSession::followFrameSize);
    connect(engine.get(), &DataEngine::frameUpdated, this, &ViewerSession::showStatistics);
    connect(statusBar->enableStatistics, &QCheckBox::toggled, this, [this](bool on) {
        engine->setStatisticsEnabled(on);
        if (!on)
            this->statusBar->setStatisticsText(QString());
        showStatistics();
    });
    // The statistics follow the pointer, also when no frame comes.
    connect(statusBar, &StatusMessageBar::pointChanged, this, [this](QPointF p) {
        mousePoint = p;
        showStatistics();
    });
}

ViewerSession::~ViewerSession()
{
    shutdown();
    engine.reset(); // it holds the controller
    hub.reset();
}

void ViewerSession::shutdown()
{
    if (isShutDown)
        return;
    isShutDown = true;
    connectionCheck->stop();
    // The opens under way and waiting are given up; the one under way stops
    // scanning at once, and its thread is joined.
    std::deque<QString> givenUp = std::move(waitingOpens);
    if (opening) {
        givenUp.push_front(opening->path());
        opening.reset();
    }
    for (const QString& path : givenUp)
        emit openFinished(path, false);
    hub->stop();
    engine->stop();
}

// --- what plays --------------------------------------------------------------

void ViewerSession::openRecording(const QString& path)
{
    if (isShutDown)
        return;
    if (opening) {
        const QString text = QStringLiteral("Recording %1 opens once %2 is open").arg(path, opening->path());
        Logger::writeLog(Tavik::LOG_INFO, text);
        statusBar->showMessage(text);
        waitingOpens.push_back(path);
        return;
    }
    // A file listed already needs no open; another is opened off this thread.
    if (hub->indexOfFile(path) >= 0) {
        play(path, nullptr);
        startNextOpen();
        return;
    }
    if (!cameraSystem) {
        refuse(path, QStringLiteral("no camera system to read the recording with"));
        return;
    }
    opening = std::make_unique<RecordingOpenTask>(window, path, *cameraSystem);
    connect(opening.get(), &RecordingOpenTask::finished, this, &ViewerSession::takeOpened, Qt::QueuedConnection);
}

void ViewerSession::startNextOpen()
{
    if (opening || waitingOpens.empty() || isShutDown)
        return;
    const QString next = waitingOpens.front();
    waitingOpens.pop_front();
    openRecording(next);
}

void ViewerSession::takeOpened()
{
    if (!opening)
        return;
    const std::unique_ptr<RecordingOpenTask> task = std::move(opening);
    if (task->wasGivenUp()) {
        Logger::writeLog(Tavik::LOG_INFO, QStringLiteral("Opening the recording %1 given up").arg(task->path()));
        emit openFinished(task->path(), false);
    } else if (!task->failure().isEmpty()) {
        refuse(task->path(), task->failure());
    } else {
        play(task->path(), task->reader());
    }
    startNextOpen();
}

void ViewerSession::play(const QString& path, std::shared_ptr<Tavik::FrameStreamReader> reader)
{
    QString error;
    const int index = hub->addOpenedFileSource(path, std::move(reader), &error);
    if (index < 0 || !hub->getSources()[static_cast<std::size_t>(index)]->isInitialized()) {
        refuse(path, error);
        return;
    }
    Logger::writeLog(Tavik::LOG_INFO, QStringLiteral("Recording opened: %1").arg(path));
    const auto source = hub->getSources()[static_cast<std::size_t>(index)];
    hub->setCurrentSource(index);
    const bool started = hub->start();
    // After the start, which clears the status bar.
    const QStringList damage = source->damageNotes();
    for (const QString& note : damage)
        Logger::writeLog(Tavik::LOG_WARNING, QStringLiteral("Recording %1: %2").arg(source->getName(), note));
    if (!damage.isEmpty()) {
        QString text = QStringLiteral("Recording %1: %2").arg(source->getName(), damage.front());
        if (damage.size() > 1)
            text += QStringLiteral(" (and %1 more in the log)").arg(damage.size() - 1);
        statusBar->showMessage(text);
    }
    emit openFinished(path, started);
}

void ViewerSession::refuse(const QString& path, const QString& why)
{
    const QString text = QStringLiteral("Cannot play the recording %1: %2").arg(path, why);
    Logger::writeLog(Tavik::LOG_ERROR, text);
    emit failed(QStringLiteral("Open Recording Failed"), text);
    emit openFinished(path, false);
}

void ViewerSession::startWhenRunning(const QString& recording)
{
    QTimer::singleShot(0, this, [this, recording] {
        if (!recording.isEmpty())
            openRecording(recording);
        else if (hub->getDepthCamera())
            hub->start();
    });
}

void ViewerSession::reportPlaybackStop()
{
    const auto source = hub->getCurrentSource();
    if (!source || source->isRunning())
        return;
    const QString reason = source->stopReason();
    if (reason.isEmpty()) // the end, or stopped
        return;
    // The reason names the set skipped; Start goes on after it, or from the
    // first set when nothing follows it.
    reportError(QStringLiteral("Playback of %1 stopped: %2; Start goes on with frame set %3 / %4")
                    .arg(source->getName(), reason)
                    .arg(source->startPosition() + 1)
                    .arg(source->length()));
}

void ViewerSession::reportError(const QString& text)
{
    Logger::writeLog(Tavik::LOG_ERROR, text);
    statusBar->showMessage(text);
}

// --- the camera ----------------------------------------------------------------

void ViewerSession::useCamera(const Tavik::DepthCameraPtr& camera)
{
    if (!camera || isShutDown)
        return;
    // The picker hands back what the camera system gave, connected or not.
    if (!camera->isConnected()) {
        const QString text = QStringLiteral("Cannot connect the camera %1").arg(cameraName(camera));
        Logger::writeLog(Tavik::LOG_ERROR, text);
        emit failed(QStringLiteral("Connect Camera Failed"), text);
        return;
    }
    if (camera != hub->getDepthCamera()) {
        // The camera left is not disconnected: picked again, it comes back as it was.
        emit cameraLeaving();
        hub->setDepthCamera(camera);
        Logger::writeLog(Tavik::LOG_INFO, QStringLiteral("Camera connected: %1").arg(cameraName(camera)));
    }
    showLiveCamera();
}

void ViewerSession::chooseSource(int index)
{
    if (index == hub->getDepthCameraSourceIndex())
        showLiveCamera();
    else
        hub->setCurrentSource(index);
}

void ViewerSession::showLiveCamera()
{
    const int live = hub->getDepthCameraSourceIndex();
    if (live < 0 || isShutDown)
        return;
    if (hub->getCurrentSourceIndex() != live)
        hub->setCurrentSource(live);
    const auto source = hub->getCurrentSource();
    const bool streaming = source->isPaused() ? source->resume() : source->isRunning() || hub->start();
    if (!streaming)
        reportError(QStringLiteral("Cannot start the camera %1").arg(cameraName(hub->getDepthCamera())));
}

void ViewerSession::disconnectCamera()
{
    if (!hub->getDepthCamera())
        return;
    emit cameraLeaving();
    hub->disconnectDepthCamera();
}

void ViewerSession::checkConnection()
{
    const Tavik::DepthCameraPtr camera = hub->getDepthCamera();
    if (!camera || camera->isConnected())
        return;
    reportError(QStringLiteral("Camera lost: %1").arg(cameraName(camera)));
    disconnectCamera();
}

void ViewerSession::followCamera()
{
    if (hub->getDepthCamera() && !isShutDown)
        connectionCheck->start();
    else
        connectionCheck->stop();
}

// --- what the views show ---------------------------------------------------------

void ViewerSession::followSource()
{
    const auto source = hub->getCurrentSource();
    const auto camera = source && source->isLiveStream() ? hub->getDepthCamera() : nullptr;
    if (same(shownSource, source) && same(shownCamera, camera))
        return;
    shownSource = source;
    shownCamera = camera;
    blankViews();
}

void ViewerSession::blankViews()
{
    // The engine's empty set: every view, chart and cloud shows nothing
    // until the next set, and a view shown again stays blank.
    engine->clearFrames();
    forgetPoint();
}

void ViewerSession::followFrameSize()
{
    const auto size = engine->frameSize();
    if (size == shownFrameSize)
        return;
    const bool hadFrames = shownFrameSize.has_value();
    shownFrameSize = size;
    if (!hadFrames)
        return;
    // The point under the mouse named a pixel of the old frames.
    forgetPoint();
    emit frameSizeChanged();
}

void ViewerSession::forgetPoint()
{
    mousePoint.reset();
    statusBar->clearPoint();
    statusBar->setStatisticsText(QString());
}

void ViewerSession::showStatistics()
{
    if (!engine->isStatisticsEnabled() || !mousePoint)
        return;
    const QString text = engine->statisticsText(*mousePoint);
    // Ticked while paused, or at the end of a recording: nothing kept yet.
    statusBar->setStatisticsText(text.isEmpty() ? NO_HISTORY_TEXT : text);
}
