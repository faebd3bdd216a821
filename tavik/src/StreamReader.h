#pragma once
// The state behind a FrameStreamReader: the open file, where its sets lie and
// what the open found damaged, and what reads the sets.

#include "Detail.h"
#include "FramePool.h"
#include "PieceReadThread.h"
#include "StreamCodec.h"

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
    // Sets the open found that cannot be read, by index, with why; and where
    // a file cut short ends (empty when it is whole).
    std::map<std::size_t, std::string> damaged;
    std::string cutShort;
    // Sets whose head gives a damaged length, by index: the length where the
    // index or their records say they end, their checksum holding there.
    std::map<std::size_t, uint64_t> lengths;
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

    bool readAt(uint64_t offset, void* out, std::size_t size)
    {
        iovec part{out, size};
        return readAt(offset, &part, 1);
    }
    // Fills the parts in turn from `offset` on; false unless all of them.
    bool readAt(uint64_t offset, iovec* parts, int count)
    {
        std::size_t size = 0;
        for (int i = 0; i < count; ++i)
            size += parts[i].iov_len;
        if (offset > fileSize || size > fileSize - offset)
            return false;
        return preadAll(fd, offset, parts, count);
    }

    bool open(const std::string& path);
    bool readHeader();
    bool readIndex();
    void scan();
    bool scanning(uint64_t at, uint64_t work = 0);
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
    bool readSetInPlace(uint64_t offset, uint64_t length, uint32_t storedCrc, FrameSet& out);
    bool readSetShared(uint64_t offset, uint64_t length, uint32_t storedCrc, FrameSet& out);
    bool readLayout(uint64_t start, uint64_t length, std::array<FrameHead, FRAME_TYPE_COUNT>& heads);
    void planPieces(uint64_t length);
    void cutPieces(uint64_t start, const iovec* segments, int count);
    bool readSetCopy(uint64_t offset, uint64_t length, uint32_t storedCrc, FrameSet& out);
};

} // namespace Tavik::detail
