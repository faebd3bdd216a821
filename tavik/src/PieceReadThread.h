#pragma once
// A second thread that helps read a long stretch of a file. The stretch is
// cut into pieces; the caller and the thread each take the next piece no one
// has taken, read it into place and sum it with CRC-32 while its bytes are
// still in that core's cache (summing bytes another core has just written
// runs at a third of the speed). The pieces' CRCs are joined in order.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/uio.h>

namespace Tavik::detail {

// Reads the parts in turn from `offset` on; false unless all of them (and
// when they hold nothing), with the system's error number in `error` when a
// read failed (left alone when the file ended first). Moves the bases in
// `parts` on a short read.
bool preadAll(int fd, uint64_t offset, iovec* parts, int count, int& error);

struct ReadPiece {
    static constexpr std::size_t kMaxParts = 16;

    uint64_t offset = 0; // in the file
    std::size_t size = 0; // bytes, those of its parts together
    std::size_t first = 0; // its parts in ReadJob::parts
    std::size_t count = 0; // at most kMaxParts
    uint32_t shift = 0; // crc32ShiftFactor of the bytes after the piece
    // Set by whichever thread read it.
    uint32_t crc = 0;
    bool ok = false;
    int error = 0; // as preadAll() gives it
};

struct ReadJob {
    int fd = -1;
    std::vector<iovec> parts;
    std::vector<ReadPiece> pieces; // in file order
};

class PieceReadThread {
public:
    PieceReadThread() = default;
    ~PieceReadThread(); // stops and joins the thread
    PieceReadThread(const PieceReadThread&) = delete;
    PieceReadThread& operator=(const PieceReadThread&) = delete;

    // Reads every piece of `job` with the thread's help (the thread starts on
    // the first call; without one the caller reads alone) and returns once
    // the thread is done with the job. False when a piece was not read whole;
    // else `crc` is the CRC-32 of the pieces' bytes in order.
    bool read(ReadJob& job, uint32_t& crc);
    // Pieces the thread has read, over all jobs.
    std::size_t piecesByThread() const { return byThread_.load(); }

private:
    bool start();
    void run();
    // The next piece of job `generation` no one has taken, or -1.
    int take(uint32_t generation);
    void readPiece(ReadJob& job, std::size_t index);
    void waitFinished(std::size_t count);

    std::thread thread_;
    bool startFailed_ = false;
    uint32_t generation_ = 0;
    ReadJob* job_ = nullptr; // the caller's; the thread touches it only with a piece taken
    // The job on offer: generation << 32 | piece count << 16 | next piece.
    std::atomic<uint64_t> ticket_{0};
    std::atomic<std::size_t> finished_{0};
    std::atomic<std::size_t> byThread_{0};
    std::atomic<bool> workerAsleep_{false};
    std::atomic<bool> callerAsleep_{false};
    std::atomic<bool> stop_{false};
    std::mutex m_;
    std::condition_variable workCv_;
    std::condition_variable doneCv_;
};

} // namespace Tavik::detail
