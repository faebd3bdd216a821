#include "Kelvra/models/FileStreamSource.h"

#include "Kelvra/common/Diagnostics.h"
#include "Tavik/DepthCamera.h"
#include "Tavik/Frame.h"

#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <exception>
#include <system_error>

namespace Kelvra {

FileStreamSource::FileStreamSource(const QString& file, Tavik::CameraSystem* system)
    : StreamSource(QFileInfo(file).fileName()), filename(file), cameraSystem(system)
{
    if (cameraSystem)
        frameStream = std::make_shared<Tavik::FrameStreamReader>(QFile::encodeName(filename).toStdString(),
                                                                 *cameraSystem);
    setFrameStreamHandler(frameStream);
}

FileStreamSource::~FileStreamSource()
{
    stop();
    running = false;
    wakePlayback();
    joinPlayback();
}

bool FileStreamSource::isInitialized() const { return frameStream && frameStream->isStreamGood(); }

bool FileStreamSource::isLiveStream() const { return false; }

bool FileStreamSource::isRunning() const { return running; }

bool FileStreamSource::isSeekable() const { return true; }

int64_t FileStreamSource::currentPosition() const { return frameStream ? frameStream->currentPosition() : 0; }

int64_t FileStreamSource::currentTimestamp() const { return timestamp; }

int FileStreamSource::length() const { return frameStream ? frameStream->size() : 0; }

bool FileStreamSource::seek(int position)
{
    if (!frameStream || position < 0 || position >= length())
        return false;
    frameStream->seekTo(position);
    if (!isRunning())
        processNext();
    return true;
}

bool FileStreamSource::processNext()
{
    if (!frameStream || !frameStream->readNext())
        return false;
    const Tavik::FrameSet frames = frameStream->frames();
    if (const auto& raw = frames[Tavik::DepthCamera::FRAME_RAW_FRAME_UNPROCESSED]) {
        timestamp = raw->timestamp;
        frameID = raw->id;
    }
    if (auto cb = getCallback(); cb && *cb) {
        for (Tavik::FrameType type = 0; type < Tavik::DepthCamera::FRAME_TYPE_COUNT; ++type)
            (*cb)(nullptr, frames[type], type);
    }
    // Delivered while not playing: the same set stays the next one read.
    if (isPaused() || !isRunning())
        frameStream->seekTo(frameStream->currentPosition() - 1);
    return true;
}

void FileStreamSource::runLoop()
{
    using Clock = std::chrono::steady_clock;
    int64_t lastTimeStamp = -1;
    int64_t lastFrameIndex = -1;
    while (running) {
        const auto t = Clock::now();
        bool delivered = false;
        try {
            delivered = processNext();
        } catch (const std::exception& e) {
            diag::printLine(std::string("FileStreamSource: playback ended by an error: ") + e.what());
        } catch (...) {
            diag::printLine("FileStreamSource: playback ended by an error");
        }
        if (!delivered) {
            running = false;
            emit stopped();
        }
        const double t2 = std::chrono::duration<double, std::micro>(Clock::now() - t).count();
        const int64_t ts = timestamp;
        const int64_t id = frameID;
        if (lastTimeStamp > 0) {
            double delay = (static_cast<double>(ts - lastTimeStamp) - t2) * 1e-06;
            if (lastFrameIndex > 0 && id > lastFrameIndex)
                delay = delay / static_cast<double>(id - lastFrameIndex);
            if (delay > 0)
                sleepWhilePlaying(delay);
        }
        if (!isPaused()) {
            lastTimeStamp = ts;
            lastFrameIndex = id;
        }
    }
}

void FileStreamSource::sleepWhilePlaying(double seconds)
{
    std::unique_lock<std::mutex> lock(wakeMutex_);
    wake_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return !running; });
}

void FileStreamSource::wakePlayback()
{
    // Taking the lock orders this after a waiter's test of `running`, so the
    // wake-up cannot fall between its test and its wait.
    { std::lock_guard<std::mutex> lock(wakeMutex_); }
    wake_.notify_all();
}

void FileStreamSource::joinPlayback()
{
    // Never from the playback thread itself (a callback that pauses): that
    // thread ends at its next test and is joined by the next start or the
    // destructor.
    if (runThread.joinable() && runThread.get_id() != std::this_thread::get_id())
        runThread.join();
}

bool FileStreamSource::start()
{
    if (!isInitialized() || running)
        return false;
    if (runThread.joinable()) {
        if (runThread.get_id() == std::this_thread::get_id())
            return false;
        runThread.join(); // a playback that ended by itself
    }
    if (isPaused())
        StreamSource::resume();
    if (currentPosition() >= length() - 1)
        seek(0);
    emit beforestart();
    running = true;
    try {
        runThread = std::thread(&FileStreamSource::runLoop, this);
    } catch (const std::system_error&) {
        running = false;
        return false;
    }
    emit started();
    return true;
}

bool FileStreamSource::pause()
{
    if (!StreamSource::pause())
        return false;
    running = false;
    wakePlayback();
    joinPlayback();
    return true;
}

bool FileStreamSource::stop()
{
    if (!isPaused() && !pause())
        return false;
    StreamSource::resume();
    emit stopped();
    seek(0);
    return true;
}

} // namespace Kelvra
