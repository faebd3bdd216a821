#include "Kelvra/models/FileStreamSource.h"

#include "Kelvra/common/Diagnostics.h"
#include "Kelvra/common/FileNames.h"
#include "Tavik/DepthCamera.h"
#include "Tavik/Frame.h"

#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <exception>
#include <system_error>

namespace Kelvra {

FileStreamSource::FileStreamSource(const QString& file, Tavik::CameraSystem* system,
                                   std::shared_ptr<Tavik::FrameStreamReader> reader)
    : StreamSource(QFileInfo(file).fileName())
    , filename(file)
    , cameraSystem(system)
{
    if (cameraSystem)
        frameStream = reader
            ? std::move(reader)
            : std::make_shared<Tavik::FrameStreamReader>(encodeFileName(filename).toStdString(), *cameraSystem);
    setFrameStreamHandler(frameStream);
}

FileStreamSource::~FileStreamSource()
{
    stop();
    running = false;
    wakePlayback();
    joinPlayback();
}

bool FileStreamSource::isInitialized() const
{
    return frameStream && frameStream->isStreamGood();
}

bool FileStreamSource::isLiveStream() const
{
    return false;
}

bool FileStreamSource::isRunning() const
{
    return running;
}

bool FileStreamSource::isSeekable() const
{
    return true;
}

int64_t FileStreamSource::currentPosition() const
{
    return frameStream ? frameStream->currentPosition() : 0;
}

int64_t FileStreamSource::currentTimestamp() const
{
    return timestamp;
}

int FileStreamSource::length() const
{
    return frameStream ? frameStream->size() : 0;
}

bool FileStreamSource::seek(int position)
{
    if (!frameStream || position < 0 || position >= length())
        return false;
    if (isRunning())
        frameStream->seekTo(position);
    else
        deliverAtOnce(position, false);
    return true;
}

bool FileStreamSource::processNext()
{
    if (!readAndDeliver())
        return false;
    // Delivered while not playing: the same set stays the next one read.
    if (isPaused() || !isRunning())
        frameStream->seekTo(frameStream->currentPosition() - 1);
    return true;
}

bool FileStreamSource::readAndDeliver()
{
    if (!frameStream)
        return false;
    const int position = frameStream->currentPosition();
    if (!frameStream->readNext()) {
        std::lock_guard<std::mutex> lock(reasonMutex_);
        readError_ = QString::fromStdString(frameStream->failedReadNote());
        return false;
    }
    const Tavik::FrameSet frames = frameStream->frames();
    if (const auto& raw = frames[Tavik::DepthCamera::FRAME_RAW_FRAME_UNPROCESSED]) {
        timestamp = raw->timestamp;
        frameID = raw->id;
    }
    if (auto cb = getCallback(); cb && *cb) {
        lastDelivered = position;
        for (Tavik::FrameType type = 0; type < Tavik::DepthCamera::FRAME_TYPE_COUNT; ++type)
            (*cb)(nullptr, frames[type], type);
    }
    return true;
}

bool FileStreamSource::deliverAtOnce(int position, bool goOn)
{
    frameStream->seekTo(position);
    bool shown = false;
    std::string failure;
    try {
        shown = readAndDeliver();
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "unknown error";
    }
    if (!failure.empty())
        diag::printLine("FileStreamSource: showing frame set " + std::to_string(position + 1) + " / "
                        + std::to_string(length()) + " failed: " + failure);
    // A damaged set moves the reader past it; it stays where it was asked to be.
    if (!shown || !goOn)
        frameStream->seekTo(position);
    return shown;
}

void FileStreamSource::setCallback(FrameCallback cb)
{
    StreamSource::setCallback(std::move(cb));
    lastDelivered = -1;
}

bool FileStreamSource::rewindsOnStart() const
{
    return currentPosition() >= length() - 1;
}

int64_t FileStreamSource::startPosition() const
{
    return rewindsOnStart() ? 0 : currentPosition();
}

void FileStreamSource::runLoop()
{
    diag::nameThisThread("kelvra-playback");
    const bool ownClock = passClock_.has_value();
    const PassClock clock = passClock_.value_or(PassClock());
    int64_t lastTimeStamp = rewindTimeStamp;
    int64_t lastFrameIndex = rewindFrameIndex;
    while (running) {
        const double t = clock.now();
        bool delivered = false;
        QString failure;
        try {
            delivered = processNext();
            if (!delivered) {
                std::lock_guard<std::mutex> lock(reasonMutex_);
                failure = readError_;
            }
        } catch (const std::exception& e) {
            failure = QString("playback ended by an error: ") + e.what();
            diag::printLine("FileStreamSource: " + failure.toStdString());
        } catch (...) {
            failure = "playback ended by an error";
            diag::printLine("FileStreamSource: " + failure.toStdString());
        }
        if (!delivered) {
            setStopReason(failure);
            running = false;
            emit stopped();
        }
        const double t2 = (clock.now() - t) * 1000000.0;
        const int64_t ts = timestamp;
        const int64_t id = frameID;
        if (lastTimeStamp > 0) {
            const double wait = setWait(ts, lastTimeStamp, id, lastFrameIndex, t2);
            if (wait > 0) {
                if (ownClock)
                    clock.sleep(wait);
                else
                    sleepWhilePlaying(wait);
            }
        }
        if (!isPaused()) {
            lastTimeStamp = ts;
            lastFrameIndex = id;
        }
    }
}

namespace {

// a - b, exact until it is rounded to a double: timestamps and ids come from
// the file and may lie anywhere in their range, where a signed difference
// overflows and one of doubles loses a small step between large values.
double difference(int64_t a, int64_t b)
{
    const auto ua = static_cast<uint64_t>(a), ub = static_cast<uint64_t>(b);
    return a >= b ? static_cast<double>(ua - ub) : -static_cast<double>(ub - ua);
}

} // namespace

double FileStreamSource::setWait(int64_t ts, int64_t lastTimeStamp, int64_t id, int64_t lastFrameIndex,
                                 double workMicros)
{
    double wait = (difference(ts, lastTimeStamp) - workMicros) * 1e-06;
    if (lastFrameIndex > 0 && id > lastFrameIndex)
        wait /= difference(id, lastFrameIndex);
    return wait > 0 ? std::min(wait, MAX_SET_WAIT) : 0.0;
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
    {
        std::lock_guard<std::mutex> lock(wakeMutex_);
    }
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
    setStopReason(QString());
    rewindTimeStamp = -1;
    rewindFrameIndex = -1;
    if (rewindsOnStart() && length() > 0 && deliverAtOnce(0, true)) {
        // The pass goes on after the set the rewind showed, paced from it.
        rewindTimeStamp = timestamp;
        rewindFrameIndex = frameID;
    }
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
    if (!isPaused() && !pause()) {
        // A playback that ended by itself may still be leaving its thread
        // (emitting `stopped`): wait for it, so none of it runs after stop().
        joinPlayback();
        return false;
    }
    StreamSource::resume();
    emit stopped();
    seek(0);
    return true;
}

QString FileStreamSource::errorString() const
{
    if (!frameStream)
        return "no camera system to read the recording with";
    return frameStream->isStreamGood() ? QString() : QString::fromStdString(frameStream->errorString());
}

QStringList FileStreamSource::damageNotes() const
{
    QStringList notes;
    if (frameStream)
        for (const std::string& note : frameStream->damageNotes())
            notes << QString::fromStdString(note);
    return notes;
}

QString FileStreamSource::stopReason() const
{
    std::lock_guard<std::mutex> lock(reasonMutex_);
    return stopReason_;
}

void FileStreamSource::setStopReason(const QString& reason)
{
    std::lock_guard<std::mutex> lock(reasonMutex_);
    stopReason_ = reason;
}

void FileStreamSource::setPassClock(PassClock clock)
{
    if (running)
        return;
    joinPlayback(); // a playback that ended by itself is done with the old one
    passClock_ = std::move(clock);
}

} // namespace Kelvra
