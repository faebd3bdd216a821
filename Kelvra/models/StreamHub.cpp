#include "Kelvra/models/StreamHub.h"

#include "Kelvra/common/Diagnostics.h"
#include "platform/log/Logger.h"

#include <algorithm>
#include <string>

namespace Kelvra {

StreamHub::StreamHub(Tavik::CameraSystem* system, Tavik::DepthCameraPtr camera)
    : QObject(nullptr)
    , depthCamera(camera)
    , cameraSystem(system)
{
    for (auto& list : callbacks)
        list = std::make_shared<const CallbackList>();
    if (camera)
        addDepthCameraSource();
}

StreamHub::~StreamHub()
{
    // Cut every source off from this object first, then stop what still
    // delivers, so no frame thread is inside callbackInternal once the
    // members go.
    std::vector<SourcePtr> all = sources;
    if (currentSource && std::find(all.begin(), all.end(), currentSource) == all.end())
        all.push_back(currentSource);
    for (const auto& source : all) {
        QObject::disconnect(source.get(), nullptr, this, nullptr);
        source->removeCallback();
        source->removePowerChangedCallback();
    }
    for (const auto& source : all) {
        if (source->isRunning())
            source->stop();
    }
    all.clear();
    currentSource.reset();
    sources.clear();
}

// --- Sources, selection and transport ------------------------------------------

void StreamHub::addDepthCameraSource()
{
    appendLiveSource();
    setCurrentSource(depthCameraSourceIndex);
}

void StreamHub::addDepthCameraSource1()
{
    appendLiveSource();
    setCurrentSource1(depthCameraSourceIndex);
}

void StreamHub::appendLiveSource()
{
    sources.push_back(std::make_shared<DepthCameraStreamSource>(depthCamera.load()));
    depthCameraSourceIndex = static_cast<int>(sources.size()) - 1;
    emit sourceListChanged();
}

int StreamHub::addFileStreamSource(const QString& filename, QString* error)
{
    return addFile(filename, nullptr, true, error);
}

int StreamHub::addOpenedFileSource(const QString& filename, std::shared_ptr<Tavik::FrameStreamReader> reader,
                                   QString* error)
{
    return addFile(filename, std::move(reader), false, error);
}

int StreamHub::addFile(const QString& filename, std::shared_ptr<Tavik::FrameStreamReader> reader, bool listUnplayable,
                       QString* error)
{
    if (const int listed = indexOfFile(filename); listed >= 0) {
        if (error)
            *error = static_cast<const FileStreamSource&>(*sources[static_cast<std::size_t>(listed)]).errorString();
        return listed;
    }
    auto file = std::make_shared<FileStreamSource>(filename, cameraSystem, std::move(reader));
    if (error)
        *error = file->errorString();
    if (!listUnplayable && !file->isInitialized())
        return -1;
    sources.push_back(std::move(file));
    emit sourceListChanged();
    return static_cast<int>(sources.size()) - 1;
}

int StreamHub::indexOfFile(const QString& filename) const
{
    for (int i = 0; i < static_cast<int>(sources.size()); ++i) {
        const auto* file = dynamic_cast<const FileStreamSource*>(sources[i].get());
        if (file && file->filename == filename)
            return i;
    }
    return -1;
}

bool StreamHub::removeStreamSource(int index)
{
    if (index < 0 || index >= static_cast<int>(sources.size()))
        return false;
    const SourcePtr target = sources[index];
    if (dynamic_cast<DepthCameraStreamSource*>(target.get()))
        disconnectDepthCamera(true);
    // disconnectDepthCamera removes the listed live source itself; remove the
    // target only when it is still listed, wherever it stands now.
    auto it = std::find(sources.begin(), sources.end(), target);
    if (it != sources.end())
        eraseSource(static_cast<int>(it - sources.begin()));
    emit sourceListChanged();
    return true;
}

bool StreamHub::setCurrentSource(int pos)
{
    return selectSource(pos, true, false);
}

bool StreamHub::setCurrentSource1(int pos)
{
    return selectSource(pos, false, true);
}

bool StreamHub::selectSource(int pos, bool installPowerCallback, bool dropOldRelays)
{
    if (pos < 0 || pos >= static_cast<int>(sources.size())) {
        diag::printTuple("StreamHub: Invalid source ID = ", pos, ", Valid = [0, ",
                         static_cast<int>(sources.size()) - 1);
        return false;
    }
    if (currentSource) {
        currentSource->stop();
        currentSource->removeCallback();
        if (dropOldRelays)
            disconnectRelays(currentSource.get());
        else
            currentSource->removePowerChangedCallback();
    }
    currentSource = sources[pos];
    currentSourceIndex = pos;
    currentSource->setCallback(FrameCallback(this, &StreamHub::callbackInternal));
    if (installPowerCallback)
        currentSource->setPowerChangedCallback(
            [this](const Tavik::DepthCameraPtr& camera, int level) { onPowerChangedCallbackInternal(camera, level); });
    connectRelays(currentSource.get());
    emit sourceSelected(pos);
    return true;
}

void StreamHub::connectRelays(StreamSource* source)
{
    // Signal to signal, automatic type: a source signal emitted on a playback
    // thread reaches this object's signal through its event loop. Unique, so
    // selecting a source again adds no second relay; a source selected before
    // keeps the relay it has.
    const auto type = Qt::ConnectionType(Qt::AutoConnection | Qt::UniqueConnection);
    connect(source, &StreamSource::started, this, &StreamHub::started, type);
    connect(source, &StreamSource::beforestart, this, &StreamHub::beforestart, type);
    connect(source, &StreamSource::stopped, this, &StreamHub::stopped, type);
    connect(source, &StreamSource::paused, this, &StreamHub::paused, type);
    connect(source, &StreamSource::resumed, this, &StreamHub::resumed, type);
}

void StreamHub::disconnectRelays(StreamSource* source)
{
    QObject::disconnect(source, &StreamSource::started, this, &StreamHub::started);
    QObject::disconnect(source, &StreamSource::beforestart, this, &StreamHub::beforestart);
    QObject::disconnect(source, &StreamSource::stopped, this, &StreamHub::stopped);
    QObject::disconnect(source, &StreamSource::paused, this, &StreamHub::paused);
    QObject::disconnect(source, &StreamSource::resumed, this, &StreamHub::resumed);
}

void StreamHub::eraseSource(int index)
{
    // Held until the positions are right: the source may be destroyed here,
    // and its last signals may reach receivers that look at the list.
    const SourcePtr removed = sources[index];
    sources.erase(sources.begin() + index);
    if (depthCameraSourceIndex == index)
        depthCameraSourceIndex = -1;
    else if (depthCameraSourceIndex > index)
        --depthCameraSourceIndex;
    if (currentSourceIndex == index)
        currentSourceIndex = -1;
    else if (currentSourceIndex > index)
        --currentSourceIndex;
}

std::shared_ptr<DepthCameraStreamSource> StreamHub::liveSource() const
{
    if (depthCameraSourceIndex < 0 || depthCameraSourceIndex >= static_cast<int>(sources.size()))
        return nullptr;
    return std::dynamic_pointer_cast<DepthCameraStreamSource>(sources[depthCameraSourceIndex]);
}

bool StreamHub::start()
{
    return currentSource && currentSource->start();
}

bool StreamHub::pause()
{
    return currentSource && currentSource->pause();
}

bool StreamHub::stop()
{
    return currentSource && currentSource->stop();
}

bool StreamHub::isRunning() const
{
    return currentSource && currentSource->isRunning();
}

bool StreamHub::isPaused() const
{
    return currentSource && currentSource->isPaused();
}

bool StreamHub::setCameraSystem(Tavik::CameraSystem* system)
{
    if (cameraSystem)
        return false;
    cameraSystem = system;
    return true;
}

// --- Frame fan-out ---------------------------------------------------------------

bool StreamHub::registerCallback(Tavik::FrameType type, FrameCallback callback)
{
    if (!Tavik::isValidFrameType(type))
        return false;
    std::shared_ptr<const CallbackList> old;
    {
        std::lock_guard<std::mutex> lock(callbacksMutex_);
        auto next = std::make_shared<CallbackList>(*callbacks[type]);
        next->push_back(std::move(callback));
        old = std::exchange(callbacks[type], std::move(next));
    }
    return true;
}

bool StreamHub::clearCallback(Tavik::FrameType type, const FrameCallback& callback)
{
    if (!Tavik::isValidFrameType(type))
        return false;
    std::shared_ptr<const CallbackList> old;
    {
        std::lock_guard<std::mutex> lock(callbacksMutex_);
        const CallbackList& list = *callbacks[type];
        auto it = std::find(list.begin(), list.end(), callback);
        if (it == list.end())
            return false;
        auto next = std::make_shared<CallbackList>(list);
        next->erase(next->begin() + (it - list.begin()));
        old = std::exchange(callbacks[type], std::move(next));
    }
    return true;
}

void StreamHub::callbackInternal(const Tavik::DepthCameraPtr& camera, const Tavik::FramePtr& frame,
                                 Tavik::FrameType type)
{
    if (!Tavik::isValidFrameType(type))
        return;
    std::shared_ptr<const CallbackList> list;
    {
        std::lock_guard<std::mutex> lock(callbacksMutex_);
        list = callbacks[type];
    }
    for (const FrameCallback& callback : *list) {
        if (callback)
            callback(camera, frame, type);
    }
}

// --- Camera connection ------------------------------------------------------------

void StreamHub::setDepthCamera(Tavik::DepthCameraPtr camera)
{
    depthCamera.store(camera);
    emit onDepthCameraSet();
    if (auto live = liveSource()) {
        const bool wasRunning = currentSource && currentSource->isRunning();
        const bool liveIsCurrent = currentSource == live;
        if (liveIsCurrent && wasRunning)
            live->stop();
        live->setDepthCamera(camera);
        if (liveIsCurrent && wasRunning)
            live->start();
    } else {
        addDepthCameraSource();
        if (auto added = liveSource())
            added->setDepthCamera(camera);
    }
    emit sourceSelected(currentSourceIndex);
}

void StreamHub::resetDepthCamera()
{
    const Tavik::DepthCameraPtr camera = depthCamera.load();
    if (!camera)
        return;
    stop();
    diag::printLine("source" + (currentSource ? currentSource->getName().toStdString() : std::string("None")));
    diag::printLine("idx" + std::to_string(depthCameraSourceIndex));
    const auto live = liveSource();
    if (live && currentSource == live) {
        diag::printLine("delete camera source" + std::to_string(sources.size()));
        currentSource.reset();
        eraseSource(depthCameraSourceIndex);
        diag::printLine("after delete camera source" + std::to_string(sources.size()));
    }
    depthCameraSourceIndex = -1;
    if (!cameraSystem || !cameraSystem->disconnect(camera, true))
        diag::printLine("disconnect failed");
    depthCamera.store(nullptr);
    diag::printLine("reset finished");
    emit sourceListChanged();
}

void StreamHub::disconnectDepthCamera(bool onlyFromUI)
{
    diag::printLine("disconnectDepthCamera" + std::string(47, '>'));
    const Tavik::DepthCameraPtr camera = depthCamera.load();
    if (!camera) {
        diag::printLine("depthCamera is not valid , can't perform disconnectDepthCamera");
        return;
    }
    // A recording that is current plays on: losing the camera is nothing to it.
    const auto live = liveSource();
    if (live && currentSource == live)
        stop();
    if (!onlyFromUI) {
        if (cameraSystem && cameraSystem->disconnect(camera, true))
            Logger::writeLog(Tavik::LOG_INFO, QStringLiteral("succeed  to disconnect depth camera"));
        else
            Logger::writeLog(Tavik::LOG_ERROR, QStringLiteral("Failed to disconnect depth camera"));
    }
    depthCamera.store(nullptr);
    if (live) {
        if (currentSource == live)
            currentSource.reset();
        live->disconnect();
        eraseSource(depthCameraSourceIndex);
    }
    depthCameraSourceIndex = -1;
    emit sourceListChanged();
    emit onDepthCameraSet();
}

// --- Power relay -------------------------------------------------------------------

void StreamHub::registerPowerSupplierChangedCallback(PowerCallback callback)
{
    powerChangedCallback.store(callback ? std::make_shared<const PowerCallback>(std::move(callback)) : nullptr);
}

void StreamHub::onPowerChangedCallbackInternal(const Tavik::DepthCameraPtr& camera, int powerLevel)
{
    if (auto callback = powerChangedCallback.load())
        (*callback)(camera, powerLevel);
    emit onPowerChanged(powerLevel);
}

} // namespace Kelvra
