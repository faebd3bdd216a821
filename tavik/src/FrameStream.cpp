// Reading the sets of a recorded stream, and the reader's public face.

#include "StreamReader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include <sys/stat.h>

namespace Tavik {

namespace detail {

namespace {

// Sets at least this long are read by two threads, in pieces; shorter ones
// by the reader alone.
constexpr uint64_t kSharedReadMin = 256 * 1024;
// Each piece of such a set is half of what is left of it, no smaller than
// this: few reads, and the last pieces, which decide how long one thread
// waits for the other, are short.
constexpr uint64_t kPieceShare = 2;
constexpr uint64_t kMinPiece = 64 * 1024;

} // namespace

bool ReaderState::readSet(int index, FrameSet& out)
{
    if (const std::string* why = damaged.find(static_cast<std::size_t>(index))) {
        error = *why;
        return false;
    }
    const uint64_t off = offsets[static_cast<std::size_t>(index)];
    const uint64_t limit =
        static_cast<std::size_t>(index) + 1 < offsets.size() ? offsets[static_cast<std::size_t>(index) + 1] : bodyEnd;
    uint8_t head[kSetHead];
    if (!readAt(off, head, kSetHead)) {
        error = "truncated frame set";
        return false;
    }
    Decoder h{head, kSetHead};
    uint64_t length = h.get<uint32_t>();
    const uint32_t storedCrc = h.get<uint32_t>();
    // A damaged length: where the set was found to end.
    if (const uint64_t* proven = lengths.find(static_cast<std::size_t>(index)))
        length = *proven;
    if (length > limit - off - kSetHead || length < kFrameHead * FRAME_TYPE_COUNT) {
        error = "truncated frame set";
        return false;
    }
    if (error = setOverLimit(length); !error.empty())
        return false;
    // A set that does not read in place is read again whole, which tells why,
    // unless it is too large to be read at all or the disk failed on it.
    refused.clear();
    if (readSetInPlace(off, length, storedCrc, out))
        return true;
    if (!refused.empty()) {
        error = refused;
        return false;
    }
    if (ioError != 0)
        return false; // readFailed() names the system's reason
    return readSetCopy(off, length, storedCrc, out);
}

// Reads the set straight into pooled frames: the first frame's head, then
// per frame its buffers together with the next frame's head in one read, the
// checksum following each read; a long set with two threads. False on
// anything a sound set does not have.
bool ReaderState::readSetInPlace(uint64_t offset, uint64_t length, uint32_t storedCrc, FrameSet& out)
{
    if (!littleEndianHost())
        return false; // the buffers would need their bytes swapped
    if (length >= kSharedReadMin)
        return readSetShared(offset, length, storedCrc, out);
    uint64_t at = offset + kSetHead;
    const uint64_t end = at + length;
    uint8_t head[kFrameHead];
    if (!readAt(at, head, kFrameHead))
        return false;
    uint32_t crc = crc32(head, kFrameHead);
    at += kFrameHead;
    std::string ignored;
    FrameSet set;
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t) {
        Decoder d{head, kFrameHead};
        FrameHead h;
        if (!readFrameHead(d, t, end - at, h, ignored))
            return false;
        if (refused = frameOverLimit(h); !refused.empty())
            return false;
        FramePtr frame = pool->take(t);
        setHead(*frame, t, h);
        const Buffers b = sizeBuffers(*frame, t, h);
        std::array<iovec, 4> parts{};
        std::copy(b.parts.begin(), b.parts.begin() + b.count, parts.begin());
        int count = b.count;
        uint64_t size = h.length;
        if (t + 1 < FRAME_TYPE_COUNT) {
            if (end - at - h.length < kFrameHead)
                return false;
            parts[count++] = {head, kFrameHead};
            size += kFrameHead;
        }
        // (readAt moves the bases in `parts` on a short read; `b` keeps them.)
        if (!readAt(at, parts.data(), count))
            return false;
        for (int i = 0; i < b.count; ++i)
            crc = crc32(b.parts[i].iov_base, b.parts[i].iov_len, crc);
        if (t + 1 < FRAME_TYPE_COUNT)
            crc = crc32(head, kFrameHead, crc);
        at += size;
        set[t] = std::move(frame);
    }
    if (at != end || crc != storedCrc)
        return false;
    out = std::move(set);
    return true;
}

// Reads a long set with the piece reader's help, in pieces the two threads
// share, straight into frames sized by the set's layout: that of the set
// read before when this one is as long (so that no head needs a read of its
// own), else read head by head. The heads read with the set must match it.
bool ReaderState::readSetShared(uint64_t offset, uint64_t length, uint32_t storedCrc, FrameSet& out)
{
    const uint64_t start = offset + kSetHead;
    const bool known = length == layoutLength;
    layoutLength = 0; // until this set proves it
    if (!known && !readLayout(start, length, layout))
        return false;
    std::array<std::array<uint8_t, kFrameHead>, FRAME_TYPE_COUNT> heads;
    std::array<iovec, FRAME_TYPE_COUNT * 4> segments{};
    int count = 0;
    FrameSet set;
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t) {
        set[t] = pool->take(t);
        const Buffers b = sizeBuffers(*set[t], t, layout[static_cast<std::size_t>(t)]);
        segments[static_cast<std::size_t>(count++)] = {heads[static_cast<std::size_t>(t)].data(), kFrameHead};
        for (int i = 0; i < b.count; ++i)
            if (b.parts[static_cast<std::size_t>(i)].iov_len > 0)
                segments[static_cast<std::size_t>(count++)] = b.parts[static_cast<std::size_t>(i)];
    }
    planPieces(length);
    cutPieces(start, segments.data(), count);
    uint32_t crc = 0;
    if (!pieceReader.read(job, crc)) {
        for (const ReadPiece& piece : job.pieces)
            if (piece.error != 0)
                ioError = piece.error;
        return false;
    }
    uint64_t room = length;
    std::string ignored;
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t) {
        const FrameHead& expected = layout[static_cast<std::size_t>(t)];
        room -= kFrameHead;
        Decoder d{heads[static_cast<std::size_t>(t)].data(), kFrameHead};
        FrameHead h;
        // The same lengths make the same buffers, and the next head where looked for.
        if (!readFrameHead(d, t, room, h, ignored) || h.length != expected.length) {
            // Laid out otherwise than the set before: once more, head by head.
            set = FrameSet{};
            return known && readSetShared(offset, length, storedCrc, out);
        }
        if (refused = frameOverLimit(h); !refused.empty())
            return false;
        setHead(*set[t], t, h);
        room -= h.length;
    }
    if (crc != storedCrc)
        return false;
    layoutLength = length;
    out = std::move(set);
    return true;
}

// Reads the frame heads of the set of `length` bytes from `start` on into
// `heads`; false unless they are four of the four types that fill the set,
// each within the limits (else `refused` tells why).
bool ReaderState::readLayout(uint64_t start, uint64_t length, std::array<FrameHead, FRAME_TYPE_COUNT>& heads)
{
    uint64_t at = start;
    const uint64_t end = start + length;
    std::string ignored;
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t) {
        uint8_t head[kFrameHead];
        if (kFrameHead > end - at || !readAt(at, head, kFrameHead))
            return false;
        at += kFrameHead;
        Decoder d{head, kFrameHead};
        FrameHead& h = heads[static_cast<std::size_t>(t)];
        if (!readFrameHead(d, t, end - at, h, ignored))
            return false;
        if (refused = frameOverLimit(h); !refused.empty())
            return false;
        at += h.length;
    }
    return at == end;
}

// Cuts a set of `length` bytes into pieces, unless a set as long was cut last.
void ReaderState::planPieces(uint64_t length)
{
    if (length == plannedLength)
        return;
    job.pieces.clear();
    for (uint64_t start = 0; start < length;) {
        const uint64_t rest = length - start;
        uint64_t size = std::max(rest / kPieceShare, kMinPiece);
        if (rest < size + kMinPiece)
            size = rest;
        ReadPiece piece;
        piece.size = static_cast<std::size_t>(size);
        piece.shift = crc32ShiftFactor(rest - size);
        job.pieces.push_back(piece);
        start += size;
    }
    plannedLength = length;
}

// Lays the set's bytes, `segments` in turn from file offset `start` on, out
// on the planned pieces.
void ReaderState::cutPieces(uint64_t start, const iovec* segments, int count)
{
    job.fd = fd;
    job.parts.clear();
    int segment = 0;
    std::size_t used = 0; // of that segment
    for (ReadPiece& piece : job.pieces) {
        piece.offset = start;
        piece.first = job.parts.size();
        for (std::size_t left = piece.size; left > 0 && segment < count;) {
            const iovec& s = segments[segment];
            const std::size_t take = std::min(left, s.iov_len - used);
            job.parts.push_back({static_cast<char*>(s.iov_base) + used, take});
            used += take;
            left -= take;
            if (used == s.iov_len) {
                ++segment;
                used = 0;
            }
        }
        piece.count = job.parts.size() - piece.first;
        start += piece.size;
    }
}

bool ReaderState::readSetCopy(uint64_t offset, uint64_t length, uint32_t storedCrc, FrameSet& out)
{
    std::vector<uint8_t> bytes(static_cast<std::size_t>(length)); // within the limit
    if (!readAt(offset + kSetHead, bytes.data(), bytes.size())) {
        error = "truncated frame set";
        return false;
    }
    if (crc32(bytes.data(), bytes.size()) != storedCrc) {
        error = "frame set checksum mismatch";
        return false;
    }
    Decoder d{bytes.data(), bytes.size()};
    FrameSet set;
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t) {
        set[t] = decodeFrame(d, t, error);
        if (!set[t])
            return false;
    }
    if (d.left != 0) {
        error = "extra bytes in frame set";
        return false;
    }
    out = std::move(set);
    return true;
}

// Names why the set at the position was not read and moves past it: the
// disk failed, the file has been cut short since the open (the sets it no
// longer holds are gone), or the set is damaged.
void ReaderState::readFailed()
{
    const int index = position;
    if (ioError != 0) {
        error = std::strerror(ioError);
        failure = "cannot read frame set " + std::to_string(index + 1) + " / " + std::to_string(offsets.size()) + ": "
            + error;
    } else if (followShrink() && index >= static_cast<int>(offsets.size())) {
        error = failure = cutShort;
        position = static_cast<int>(offsets.size());
        return;
    } else {
        failure = skippedSetNote(index, static_cast<int>(offsets.size()), error);
    }
    ++position; // past the set, so the sets after it stay playable
}

// Takes in that the file has become shorter since the open: a set whose
// bytes up to the next one (or the index) are no longer all there is gone,
// and the set the file now ends in is noted as in a file cut short before
// the open. True when the file is shorter.
bool ReaderState::followShrink()
{
    struct stat info { };
    if (::fstat(fd, &info) != 0 || static_cast<uint64_t>(info.st_size) >= fileSize)
        return false;
    fileSize = static_cast<uint64_t>(info.st_size);
    if (offsets.empty() || bodyEnd <= fileSize)
        return true;
    const std::size_t whole =
        static_cast<std::size_t>(std::upper_bound(offsets.begin() + 1, offsets.end(), fileSize) - offsets.begin()) - 1;
    const uint64_t cut = offsets[whole];
    const std::optional<uint64_t> length = setLengthAt(cut);
    offsets.resize(whole);
    damaged.sets.keepFirst(whole);
    lengths.keepFirst(whole);
    bodyEnd = cut;
    noteCutShort(std::min(cut, fileSize), length);
    return true;
}

} // namespace detail

FrameStreamReader::FrameStreamReader(const std::string& path, CameraSystem& /*cameraSystem: files need no device*/,
                                     OpenProgress progress)
    : d_(std::make_unique<detail::ReaderState>())
{
    d_->progress = std::move(progress);
    try {
        d_->good = d_->open(path);
    } catch (const std::bad_alloc&) {
        d_->good = false;
        d_->error = "not enough memory to open the file";
    }
    d_->progress = nullptr;
    if (!d_->good) {
        d_->offsets.clear();
        d_->damaged.clear();
        d_->lengths.clear();
        d_->cutShort.clear();
        d_->indexNote.clear();
    }
    d_->crcPrefix.clear();
}

FrameStreamReader::~FrameStreamReader() = default;

bool FrameStreamReader::isStreamGood() const
{
    std::lock_guard<std::mutex> lock(d_->m);
    return d_->good;
}

bool FrameStreamReader::readNext()
{
    std::lock_guard<std::mutex> lock(d_->m);
    d_->failure.clear();
    if (!d_->good)
        return false;
    if (d_->position >= static_cast<int>(d_->offsets.size())) {
        d_->error = "end of stream";
        return false;
    }
    FrameSet set;
    bool read = false;
    d_->ioError = 0;
    try {
        read = d_->readSet(d_->position, set);
    } catch (const std::bad_alloc&) {
        d_->error = "not enough memory to read the frame set";
    }
    if (!read) {
        d_->readFailed();
        return false;
    }
    d_->frames = std::move(set);
    ++d_->position;
    return true;
}

FrameSet FrameStreamReader::frames() const
{
    std::lock_guard<std::mutex> lock(d_->m);
    return d_->frames;
}

int FrameStreamReader::currentPosition() const
{
    std::lock_guard<std::mutex> lock(d_->m);
    return d_->position;
}

std::string FrameStreamReader::failedReadNote() const
{
    std::lock_guard<std::mutex> lock(d_->m);
    return d_->failure;
}

std::vector<std::string> FrameStreamReader::damageNotes() const
{
    std::lock_guard<std::mutex> lock(d_->m);
    return d_->damageNotes();
}

int FrameStreamReader::size() const
{
    std::lock_guard<std::mutex> lock(d_->m);
    return static_cast<int>(d_->offsets.size());
}

bool FrameStreamReader::seekTo(int position)
{
    std::lock_guard<std::mutex> lock(d_->m);
    if (!d_->good)
        return false;
    const int size = static_cast<int>(d_->offsets.size());
    d_->position = std::clamp(position, 0, size);
    return position >= 0 && position <= size;
}

Result<float> FrameStreamReader::getStreamParamf(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(d_->m);
    auto it = d_->header.streamParams.find(name);
    if (!d_->good || it == d_->header.streamParams.end())
        return {};
    return {true, static_cast<float>(it->second)};
}

const StreamHeader& FrameStreamReader::header() const
{
    return d_->header;
}

std::string FrameStreamReader::errorString() const
{
    std::lock_guard<std::mutex> lock(d_->m);
    return d_->error;
}

std::string skippedSetNote(int position, int size, const std::string& why)
{
    return "frame set " + std::to_string(position + 1) + " / " + std::to_string(size) + " skipped: " + why;
}

} // namespace Tavik
