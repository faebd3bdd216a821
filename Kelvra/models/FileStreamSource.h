#pragma once
// Plays a recorded stream file as if a camera were streaming it: one frame set
// at a time, on a playback thread that waits between sets so they arrive at
// the pace of their recorded timestamps. While not playing, a seek delivers
// the set at the new position at once.

#include "Kelvra/common/PassClock.h"
#include "Kelvra/models/StreamSource.h"
#include "Tavik/CameraSystem.h"
#include "Tavik/FrameStream.h"

#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace Kelvra {

class FileStreamSource : public StreamSource {
    Q_OBJECT
public:
    // The longest wait between two sets, in seconds: a damaged timestamp far
    // ahead must not freeze playback.
    static constexpr double MAX_SET_WAIT = 5.0;

    // Opens the reader, unless handed one of that file opened already; the
    // file is not tested here (isInitialized() tells). Without a camera
    // system there is no reader and every operation refuses.
    FileStreamSource(const QString& filename, Tavik::CameraSystem* cameraSystem,
                     std::shared_ptr<Tavik::FrameStreamReader> reader = nullptr);
    ~FileStreamSource() override;

    bool isInitialized() const override;
    bool isLiveStream() const override;
    bool isRunning() const override;
    bool isSeekable() const override;
    int64_t currentPosition() const override;
    int64_t currentTimestamp() const override;
    int length() const override;
    // Makes `pos` the next set read (0 .. length() - 1, otherwise false and no
    // move); while not playing, also delivers that set at once.
    bool seek(int pos) override;
    // Reads and delivers one frame set on the calling thread.
    bool processNext();
    bool start() override;
    bool pause() override;
    bool stop() override;

    // Why the recording cannot be played (the file is missing, a folder, not
    // readable, not a recorded stream, damaged); empty when it can.
    QString errorString() const;
    // Why the last playback ended before the end of the recording, readable
    // once `stopped` has arrived ("frame set 6 / 10 skipped: frame set
    // checksum mismatch", the set counted from 1 as positions are shown);
    // empty when it ran to the end or was stopped. Cleared by start().
    QString stopReason() const;
    // What the recording loses, as its open found: the sets it cannot read
    // and the set a file cut short ends in, one line each.
    QStringList damageNotes() const;

    // Replaces the playback thread's clock and its wait between sets (by
    // default the steady clock and a wait that pause and stop cut short).
    // Only while not playing.
    void setPassClock(PassClock clock);

    const QString filename;

private:
    void runLoop();
    // The wait after a set: the recorded interval less the work, spread over
    // an id gap, never more than MAX_SET_WAIT; 0 for none.
    static double setWait(int64_t timestamp, int64_t lastTimeStamp, int64_t id, int64_t lastFrameIndex,
                          double workMicros);
    void setStopReason(const QString& reason);
    // Waits up to `seconds`, ending early when playback is told to end.
    void sleepWhilePlaying(double seconds);
    void wakePlayback();
    void joinPlayback();

    std::thread runThread;
    std::atomic<bool> running{false};
    Tavik::CameraSystem* const cameraSystem;
    std::shared_ptr<Tavik::FrameStreamReader> frameStream;
    std::atomic<int64_t> frameID{0};

    std::mutex wakeMutex_;
    std::condition_variable wake_;
    std::optional<PassClock> passClock_;

    mutable std::mutex reasonMutex_;
    QString readError_; // why the last failed read failed; empty at the end
    QString stopReason_;
};

} // namespace Kelvra
