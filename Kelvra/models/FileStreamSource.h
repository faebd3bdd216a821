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
    // Position of the set delivered last to the callback installed now (the
    // set on show), -1 when it has delivered none since it was installed.
    int64_t deliveredPosition() const override { return lastDelivered; }
    // Where start() begins: the next set, or 0 when it rewinds (at the last
    // set or past it).
    int64_t startPosition() const override;
    void setCallback(FrameCallback callback) override;
    // At the last set or past it, start() rewinds and shows set 0 at once;
    // playback then goes on after it.
    bool start() override;
    bool pause() override;
    bool stop() override;

    // Why the recording cannot be played (the file is missing, a folder, not
    // readable, not a recorded stream, damaged); empty when it can.
    QString errorString() const;
    // Why the last playback ended before the end of the recording, readable
    // once `stopped` has arrived ("frame set 6 / 10 skipped: frame set
    // checksum mismatch", the set counted from 1 as positions are shown;
    // "cannot read frame set 6 / 10: Input/output error"; or, for a file cut
    // short while open, which then ends there, "recording cut short in frame
    // set 6: …"); empty when it ran to the end or was stopped. Cleared by
    // start().
    QString stopReason() const override;
    // What the recording loses, as its open found: the first sets it cannot
    // read and a count of the rest, and the set a file cut short ends in, one
    // line each.
    QStringList damageNotes() const override;

    // Replaces the playback thread's clock and its wait between sets (by
    // default the steady clock and a wait that pause and stop cut short).
    // Only while not playing.
    void setPassClock(PassClock clock);

    const QString filename;

private:
    void runLoop();
    bool rewindsOnStart() const;
    // Reads the next set and delivers it; the reader stays after it.
    bool readAndDeliver();
    // Delivers the set at `position` on the calling thread and leaves the
    // reader at `position`, or after the set with `goOn`. A failure of the
    // read or of a callback is caught and named here: this runs outside the
    // playback thread.
    bool deliverAtOnce(int position, bool goOn);
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
    std::atomic<int64_t> lastDelivered{-1};
    // The set the rewind showed, for the first wait of the pass after it.
    int64_t rewindTimeStamp = -1;
    int64_t rewindFrameIndex = -1;

    std::mutex wakeMutex_;
    std::condition_variable wake_;
    std::optional<PassClock> passClock_;

    mutable std::mutex reasonMutex_;
    QString readError_; // why the last failed read failed; empty at the end
    QString stopReason_;
};

} // namespace Kelvra
