#include "PieceReadThread.h"

#include "Detail.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <system_error>

#include <unistd.h>
#ifdef __linux__
#include <pthread.h>
#endif

namespace Tavik::detail {

namespace {

// How long the caller spins for the thread's last piece before it sleeps:
// waking a sleeping thread can take tens of microseconds here.
constexpr auto kSpin = std::chrono::microseconds(200);
constexpr std::size_t kMaxPieces = 0xffff;

constexpr uint64_t ticket(uint32_t generation, std::size_t count, std::size_t next)
{
    return static_cast<uint64_t>(generation) << 32 | static_cast<uint64_t>(count) << 16 | next;
}
constexpr uint32_t generationOf(uint64_t t)
{
    return static_cast<uint32_t>(t >> 32);
}
constexpr std::size_t countOf(uint64_t t)
{
    return static_cast<std::size_t>(t >> 16 & 0xffff);
}
constexpr std::size_t nextOf(uint64_t t)
{
    return static_cast<std::size_t>(t & 0xffff);
}

inline void cpuPause()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

} // namespace

bool preadAll(int fd, uint64_t offset, iovec* parts, int count, int& error)
{
    while (count > 0) {
        const ssize_t got = ::preadv(fd, parts, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            error = errno;
        if (got <= 0)
            return false;
        offset += static_cast<uint64_t>(got);
        // Past the parts filled, into the one filled in part.
        auto left = static_cast<std::size_t>(got);
        while (count > 0 && left >= parts->iov_len) {
            left -= parts->iov_len;
            ++parts;
            --count;
        }
        if (count > 0) {
            parts->iov_base = static_cast<char*>(parts->iov_base) + left;
            parts->iov_len -= left;
        }
    }
    return true;
}

PieceReadThread::~PieceReadThread()
{
    if (!thread_.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_);
        stop_.store(true);
    }
    workCv_.notify_one();
    thread_.join();
}

bool PieceReadThread::start()
{
    if (thread_.joinable())
        return true;
    if (startFailed_)
        return false;
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        startFailed_ = true;
        return false;
    }
#ifdef __linux__
    pthread_setname_np(thread_.native_handle(), "tavik-pieces"); // named before it first runs
#endif
    return true;
}

bool PieceReadThread::read(ReadJob& job, uint32_t& crc)
{
    const std::size_t count = job.pieces.size();
    if (count > 1 && count <= kMaxPieces && start()) {
        job_ = &job;
        finished_.store(0);
        ++generation_;
        // Sequentially consistent with the thread's going to sleep: either
        // it sees the job or this sees it asleep.
        ticket_.store(ticket(generation_, count, 0));
        if (workerAsleep_.load()) {
            std::lock_guard<std::mutex> lock(m_);
            workCv_.notify_one();
        }
        for (int k; (k = take(generation_)) >= 0;) {
            readPiece(job, static_cast<std::size_t>(k));
            finished_.fetch_add(1);
        }
        // Every piece is taken: once they are all read the thread can take no more.
        waitFinished(count);
        job_ = nullptr;
    } else {
        for (std::size_t k = 0; k < count; ++k)
            readPiece(job, k);
    }
    uint32_t joined = 0;
    bool ok = true;
    for (const ReadPiece& piece : job.pieces) {
        ok = ok && piece.ok;
        joined ^= crc32Shift(piece.crc, piece.shift);
    }
    crc = joined;
    return ok;
}

int PieceReadThread::take(uint32_t generation)
{
    uint64_t t = ticket_.load(std::memory_order_acquire);
    for (;;) {
        if (generationOf(t) != generation || nextOf(t) >= countOf(t))
            return -1;
        if (ticket_.compare_exchange_weak(t, t + 1, std::memory_order_acq_rel, std::memory_order_acquire))
            return static_cast<int>(nextOf(t));
    }
}

void PieceReadThread::readPiece(ReadJob& job, std::size_t index)
{
    ReadPiece& piece = job.pieces[index];
    std::array<iovec, ReadPiece::kMaxParts> parts{};
    piece.ok = piece.count <= parts.size();
    piece.error = 0;
    if (!piece.ok)
        return;
    const iovec* from = job.parts.data() + piece.first;
    std::copy(from, from + piece.count, parts.begin()); // preadAll moves the bases
    piece.ok = preadAll(job.fd, piece.offset, parts.data(), static_cast<int>(piece.count), piece.error);
    uint32_t sum = 0;
    if (piece.ok)
        for (std::size_t i = 0; i < piece.count; ++i)
            sum = crc32(from[i].iov_base, from[i].iov_len, sum);
    piece.crc = sum;
}

void PieceReadThread::waitFinished(std::size_t count)
{
    const auto done = [&] { return finished_.load() >= count; };
    const auto until = std::chrono::steady_clock::now() + kSpin;
    for (unsigned i = 1; !done(); ++i) {
        cpuPause();
        if (i % 64 == 0 && std::chrono::steady_clock::now() >= until) {
            std::unique_lock<std::mutex> lock(m_);
            callerAsleep_.store(true);
            doneCv_.wait(lock, done);
            callerAsleep_.store(false);
            return;
        }
    }
}

void PieceReadThread::run()
{
    uint32_t seen = 0; // the generation of the last job taken part in
    for (;;) {
        uint64_t t = 0;
        {
            std::unique_lock<std::mutex> lock(m_);
            workerAsleep_.store(true);
            workCv_.wait(lock, [&] {
                t = ticket_.load();
                return stop_.load() || generationOf(t) != seen;
            });
            workerAsleep_.store(false);
        }
        if (stop_.load())
            return;
        seen = generationOf(t);
        for (int k; (k = take(seen)) >= 0;) {
            readPiece(*job_, static_cast<std::size_t>(k));
            byThread_.fetch_add(1, std::memory_order_relaxed);
            finished_.fetch_add(1);
            if (callerAsleep_.load()) {
                std::lock_guard<std::mutex> lock(m_);
                doneCv_.notify_one();
            }
        }
    }
}

} // namespace Tavik::detail
