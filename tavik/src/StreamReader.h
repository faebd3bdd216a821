#pragma once
// The state behind a FrameStreamReader: the open file, where its sets lie and
// what the open found damaged, and what reads the sets.

#include "Detail.h"
#include "FramePool.h"
#include "PieceReadThread.h"
#include "StreamCodec.h"

#include <algorithm>
#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <sys/uio.h>
#include <unistd.h>

namespace Tavik::detail {

// Values kept for some of the sets, by set index, added in the order of the
// sets: a few bytes a set, so that what a file claims costs memory in step
// with its size.
template <class T> class BySet {
public:
    void add(std::size_t index, T value) { entries_.emplace_back(static_cast<uint32_t>(index), std::move(value)); }
    const T* find(std::size_t index) const
    {
        const auto it = from(index);
        return it != entries_.end() && it->first == index ? &it->second : nullptr;
    }
    // Forgets the sets from `count` on.
    void keepFirst(std::size_t count) { entries_.erase(from(count), entries_.end()); }
    void clear() { entries_.clear(); }
    const std::vector<std::pair<uint32_t, T>>& entries() const { return entries_; }

private:
    typename std::vector<std::pair<uint32_t, T>>::const_iterator from(std::size_t index) const
    {
        return std::lower_bound(entries_.begin(), entries_.end(), index,
                                [](const std::pair<uint32_t, T>& e, std::size_t i) { return e.first < i; });
    }

    std::vector<std::pair<uint32_t, T>> entries_;
};

// The sets the open found that cannot be read, with why: each reason is kept
// once, the sets by its number.
struct SkippedSets {
    BySet<uint32_t> sets;
    std::vector<std::string> reasons;
    std::map<std::string, uint32_t> numbers;

    void add(std::size_t index, const std::string& why)
    {
        const auto [it, added] = numbers.emplace(why, static_cast<uint32_t>(reasons.size()));
        if (added)
            reasons.push_back(why);
        sets.add(index, it->second);
    }
    const std::string* find(std::size_t index) const
    {
        const uint32_t* reason = sets.find(index);
        return reason ? &reasons[*reason] : nullptr;
    }
    void clear() { *this = SkippedSets(); }
};

struct ReaderState {
    mutable std::mutex m;
    int fd = -1;
    uint64_t fileSize = 0;
    bool good = false;
    std::string error;
    StreamHeader header;
    uint64_t bodyStart = 0;
    uint64_t bodyEnd = 0; // start of the index, or the file size
    std::vector<uint64_t> offsets;
    // Sets the open found that cannot be read; and where a file cut short
    // ends (empty when it is whole), also one cut short since the open.
    SkippedSets damaged;
    std::string cutShort;
    // Sets whose head gives a damaged length: the length where the index or
    // their records say they end, their checksum holding there.
    BySet<uint64_t> lengths;
    // What is wrong with an index the open did not use.
    std::string indexNote;
    // Told how far a scan has come; `cancelled` once it said to give up.
    std::function<bool(uint64_t, uint64_t)> progress;
    bool cancelled = false;
    uint64_t progressAt = 0;
    uint64_t progressWork = 0;
    // Checksums of the stretches a scan tries, from one pass over the file:
    // crcPrefix[k] is the CRC-32 from crcOrigin to the end of block
    // crcFirst + k, so a stretch costs no more than its two partial blocks.
    uint64_t crcOrigin = 0;
    uint64_t crcFirst = 0;
    std::deque<uint32_t> crcPrefix;
    // Why the set being read is refused whole (too large), however read.
    std::string refused;
    // The system's error number of the last read that failed for the system
    // (the disk), not for the file's end; and the note of the last readNext()
    // that failed.
    int ioError = 0;
    std::string failure;
    int position = 0;
    FrameSet frames;
    // Frames read go back here once no one holds them.
    std::shared_ptr<FramePool> pool = FramePool::create(2);
    // Long sets: the thread that reads half of them, their pieces as planned
    // for a set of `plannedLength` bytes, and the frame heads of the last one
    // read (of `layoutLength` bytes, 0 for none).
    PieceReadThread pieceReader;
    ReadJob job;
    uint64_t plannedLength = 0;
    std::array<FrameHead, FRAME_TYPE_COUNT> layout{};
    uint64_t layoutLength = 0;

    ~ReaderState()
    {
        if (fd >= 0)
            ::close(fd);
    }

    // While the open looks the file through (mostly forward, in steps of a
    // few bytes) small reads are served from a stretch read ahead, not one
    // system call each. A stretch that fails to read ends the reading ahead:
    // the reads asked for then say whether the disk fails where they look.
    static constexpr std::size_t kAheadLength = 64 * 1024;
    static constexpr std::size_t kAheadMostAsked = 4096;
    bool readingAhead = false;
    std::vector<uint8_t> ahead;
    uint64_t aheadAt = 0;

    bool readAt(uint64_t offset, void* out, std::size_t size)
    {
        if (readingAhead && size <= kAheadMostAsked && offset <= fileSize && size <= fileSize - offset) {
            if (offset < aheadAt || offset + size > aheadAt + ahead.size())
                fillAhead(offset);
            if (readingAhead) {
                std::copy_n(ahead.data() + (offset - aheadAt), size, static_cast<uint8_t*>(out));
                return true;
            }
        }
        iovec part{out, size};
        return readAt(offset, &part, 1);
    }
    void fillAhead(uint64_t offset)
    {
        ahead.resize(static_cast<std::size_t>(std::min<uint64_t>(kAheadLength, fileSize - offset)));
        iovec part{ahead.data(), ahead.size()};
        int error = 0;
        aheadAt = offset;
        if (!preadAll(fd, offset, &part, 1, error))
            stopReadingAhead();
    }
    void stopReadingAhead()
    {
        readingAhead = false;
        ahead = std::vector<uint8_t>();
    }
    // Fills the parts in turn from `offset` on; false unless all of them.
    bool readAt(uint64_t offset, iovec* parts, int count)
    {
        std::size_t size = 0;
        for (int i = 0; i < count; ++i)
            size += parts[i].iov_len;
        if (offset > fileSize || size > fileSize - offset)
            return false;
        return preadAll(fd, offset, parts, count, ioError);
    }

    bool open(const std::string& path);
    bool readHeader();
    bool readIndex();
    void scan();
    bool scanning(uint64_t at, uint64_t work = 0);
    // The open ends: told to give up, or a read failed for the system.
    bool givenUp() const { return cancelled || ioError != 0; }
    std::optional<uint64_t> setAt(uint64_t offset);
    std::optional<uint64_t> setLengthAt(uint64_t offset);
    bool isSetAt(uint64_t offset, uint64_t length, std::string* overLimit = nullptr);
    uint64_t recordsLength(uint64_t offset, std::string* overLimit = nullptr);
    uint64_t findSet(uint64_t from);
    std::optional<uint32_t> storedCrcAt(uint64_t offset);
    bool checksumHolds(uint64_t offset, uint64_t length);
    bool crcOf(uint64_t offset, uint64_t length, uint32_t& crc);
    bool stretchCrc(uint64_t offset, uint64_t length, uint32_t& crc);
    bool isIndexAt(uint64_t offset);
    struct Footer {
        uint64_t count = 0;
        uint64_t end = 0;
        bool listsTheSets = false; // the offsets of the sets found, in order
    };
    std::optional<Footer> footerAt(uint64_t offset);
    bool describeIndex(uint64_t offset);
    void noteCutShort(uint64_t offset, std::optional<uint64_t> length);
    std::vector<std::string> damageNotes() const;
    bool readSet(int index, FrameSet& out);
    void readFailed();
    bool followShrink();
    bool readSetInPlace(uint64_t offset, uint64_t length, uint32_t storedCrc, FrameSet& out);
    bool readSetShared(uint64_t offset, uint64_t length, uint32_t storedCrc, FrameSet& out);
    bool readLayout(uint64_t start, uint64_t length, std::array<FrameHead, FRAME_TYPE_COUNT>& heads);
    void planPieces(uint64_t length);
    void cutPieces(uint64_t start, const iovec* segments, int count);
    bool readSetCopy(uint64_t offset, uint64_t length, uint32_t storedCrc, FrameSet& out);
};

} // namespace Tavik::detail
