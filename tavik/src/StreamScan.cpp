// Opening a recorded stream: its header, then where its sets lie, from the
// index footer or, without a sound one, by a scan that passes over damage.

#include "StreamReader.h"

#include "Tavik/PlainFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <numeric>

#include <fcntl.h>

namespace Tavik::detail {

namespace {

// The shortest set: four frame heads without payload.
constexpr uint64_t kMinSetLength = kFrameHead * FRAME_TYPE_COUNT;
// Why a set the open found damaged is not read.
const char* const kLengthMismatch = "frame set length mismatch";
const char* const kDamagedSet = "damaged frame set";
// How much of a file is looked at at once when searching it for the next set
// or an index's end: first a little, as what is looked for is most often
// near, then twice as much each time up to the most, so that a search costs
// in step with how far it goes.
constexpr std::size_t kFirstLook = 512;
constexpr std::size_t kSearchWindow = 1u << 20;
// The blocks whose checksums a scan keeps.
constexpr uint64_t kCrcBlock = 4096;
// How much work passes between two calls of the progress callback.
constexpr uint64_t kProgressStep = 1u << 20;
// Skipped sets named one by one in the damage notes, and reasons the rest
// are counted by, one line each.
constexpr std::size_t kSkipsNamed = 10;
constexpr std::size_t kReasonsCounted = 3;

std::string tooLong(const std::string& what, uint32_t length, uint32_t limit)
{
    return what + " too long: " + std::to_string(length) + " bytes, more than " + std::to_string(limit);
}

// "… and 9,999,990 more frame sets skipped<why>"
std::string moreSkipped(uint64_t count, const std::string& why)
{
    std::string digits = std::to_string(count);
    for (std::size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, ",");
    return "\u2026 and " + digits + " more frame set" + (count == 1 ? "" : "s") + " skipped" + why;
}

} // namespace

bool ReaderState::open(const std::string& path)
{
    PlainFile file = openPlainFile(path, O_RDONLY);
    if (file.fd < 0) {
        error = file.error == ENOENT                      ? std::string("file not found")
            : file.error == EACCES || file.error == EPERM ? std::string("permission denied")
            : file.error != 0                             ? "cannot open file: " + file.reason
                                                          : file.reason;
        return false;
    }
    fd = file.fd;
    fileSize = file.size;
    readingAhead = true;
    const bool header = readHeader();
    if (header && !readIndex() && !givenUp())
        scan();
    stopReadingAhead(); // the file may change once open
    if (ioError != 0) {
        error = std::string("cannot read file: ") + std::strerror(ioError);
        return false;
    }
    if (!header)
        return false;
    if (cancelled) {
        error = "opening cancelled";
        return false;
    }
    return true;
}

bool ReaderState::readHeader()
{
    std::vector<uint8_t> bytes(static_cast<std::size_t>(std::min<uint64_t>(fileSize, kMaxHeader)));
    if (!readAt(0, bytes.data(), bytes.size()) || bytes.size() < sizeof(kMagic)
        || std::memcmp(bytes.data(), kMagic, sizeof(kMagic)) != 0) {
        error = "not a recorded stream";
        return false;
    }
    Decoder d{bytes.data() + sizeof(kMagic), bytes.size() - sizeof(kMagic)};
    uint32_t length = 0;
    const auto text = [&](const char* what, std::string& out) {
        out = d.text(kMaxText, &length);
        if (length > kMaxText)
            error = tooLong(what, length, kMaxText);
        return error.empty();
    };
    // Bytes missing where the file goes on: the header is longer than read.
    const auto cut = [&] {
        error = fileSize > kMaxHeader ? "header too large: more than " + std::to_string(kMaxHeader) + " bytes"
                                      : std::string("truncated header");
        return false;
    };
    const auto version = d.get<uint32_t>();
    if (!text("camera type", header.cameraType) || !text("chipset", header.chipset))
        return false;
    header.width = static_cast<int>(std::min(d.get<uint32_t>(), kMaxSide));
    header.height = static_cast<int>(std::min(d.get<uint32_t>(), kMaxSide));
    const auto count = d.get<uint32_t>();
    if (!d.ok)
        return cut();
    if (version != kVersion) {
        error = "unsupported version or header";
        return false;
    }
    if (count > kMaxStreamParams) {
        error =
            "too many stream parameters: " + std::to_string(count) + ", more than " + std::to_string(kMaxStreamParams);
        return false;
    }
    for (uint32_t i = 0; i < count && d.ok; ++i) {
        std::string name;
        if (!text("stream parameter name", name))
            return false;
        const double value = d.get<double>();
        if (d.ok)
            header.streamParams[name] = value;
    }
    const auto hasCalib = d.get<uint8_t>();
    if (hasCalib) {
        std::array<float, 4> calib{};
        for (auto& c : calib)
            c = d.get<float>();
        header.calib = calib;
    }
    const std::size_t covered = bytes.size() - d.left;
    const auto storedCrc = d.get<uint32_t>();
    if (!d.ok)
        return cut();
    if (hasCalib > 1) {
        error = "truncated header";
        return false;
    }
    if (crc32(bytes.data(), covered) != storedCrc) {
        error = "header checksum mismatch";
        return false;
    }
    bodyStart = covered + 4;
    return true;
}

bool ReaderState::readIndex()
{
    if (fileSize < bodyStart + kFooterTail)
        return false;
    uint8_t tail[kFooterTail];
    if (!readAt(fileSize - kFooterTail, tail, kFooterTail)
        || std::memcmp(tail + 8, kIndexMagic, sizeof(kIndexMagic)) != 0)
        return false;
    Decoder d{tail, 8};
    const auto count = d.get<uint32_t>();
    const auto storedCrc = d.get<uint32_t>();
    // Each set takes its entry and at least its head and four frame heads.
    const uint64_t room = fileSize - kFooterTail - bodyStart;
    if (count > room / (8 + kSetHead + kMinSetLength))
        return false;
    const uint64_t indexStart = fileSize - kFooterTail - static_cast<uint64_t>(count) * 8;
    // Its checksum first, so that only a sound index is taken in whole.
    uint32_t crc = 0;
    if (!crcOf(indexStart, static_cast<uint64_t>(count) * 8 + 4, crc) || crc != storedCrc)
        return false;
    std::vector<uint8_t> bytes(static_cast<std::size_t>(count) * 8 + 4);
    if (!readAt(indexStart, bytes.data(), bytes.size()))
        return false;
    Decoder o{bytes.data(), bytes.size()};
    std::vector<uint64_t> found;
    found.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const auto off = o.get<uint64_t>();
        // The sets follow each other from the body's start on, each with
        // room for the shortest set before the next one and the index.
        if (found.empty() ? off != bodyStart : off < found.back() + kSetHead + kMinSetLength)
            return false;
        if (off > indexStart || indexStart - off < kSetHead + kMinSetLength)
            return false;
        found.push_back(off);
    }
    if (found.empty() && indexStart != bodyStart)
        return false;
    // The index is sound. A set whose own head and records make a set of
    // another length than the index gives shows that the index does not line
    // up with the file (it leaves sets out, or more follows the last one):
    // then it is not used. A set whose length alone is damaged is read where
    // the index says it ends, when its records fill that and its checksum
    // holds; other sets that disagree with the index are skipped.
    SkippedSets lost;
    BySet<uint64_t> proven;
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (!scanning(found[i]))
            return false;
        const uint64_t end = i + 1 < found.size() ? found[i + 1] : indexStart;
        const uint64_t length = end - found[i] - kSetHead;
        std::string why = setOverLimit(length);
        if (setLengthAt(found[i]) != length) {
            if (setAt(found[i]))
                return false;
            if (why.empty() && isSetAt(found[i], length) && checksumHolds(found[i], length))
                proven.add(i, length);
            else if (why.empty())
                why = kLengthMismatch;
        }
        if (!why.empty())
            lost.add(i, why);
    }
    offsets = std::move(found);
    damaged = std::move(lost);
    lengths = std::move(proven);
    bodyEnd = indexStart;
    return true;
}

// Tells the progress callback how far the scan has come (`at`, after `work`
// bytes more were read) every so often; false once it said to give up, or a
// read failed for the system.
bool ReaderState::scanning(uint64_t at, uint64_t work)
{
    if (givenUp())
        return false;
    if (!progress)
        return true;
    progressWork += work + (at > progressAt ? at - progressAt : 0);
    progressAt = std::max(progressAt, at);
    if (progressWork < kProgressStep)
        return true;
    progressWork = 0;
    cancelled = !progress(progressAt, fileSize);
    return !cancelled;
}

// Finds the sets without an index: one after the other from the body's start
// on. Where no set starts, the set there is read to where its records end
// when only its length is damaged (and skipped when its checksum fails
// there); a set whose length leads to the next set is taken even when its
// records are damaged (its read tells why it fails); else the scan goes on at
// the next place a whole set lies. A set beyond the limits is skipped.
void ReaderState::scan()
{
    offsets.clear();
    damaged.clear();
    lengths.clear();
    bodyEnd = fileSize;
    uint64_t off = bodyStart;
    while (off < fileSize && scanning(off)) {
        const std::optional<uint64_t> length = setLengthAt(off);
        const bool fits = length && *length >= kMinSetLength && *length <= fileSize - off - kSetHead;
        const uint64_t end = fits ? off + kSetHead + *length : 0;
        std::string why;
        if (fits && isSetAt(off, *length, &why)) {
            if (why.empty())
                why = setOverLimit(*length);
            if (!why.empty())
                damaged.add(offsets.size(), why);
            offsets.push_back(off);
            off = end;
            continue;
        }
        uint64_t next = 0;
        if (const uint64_t records = recordsLength(off, &why); records != 0) {
            // Its length alone may be damaged: its records tell where it ends.
            next = off + kSetHead + records;
            if (why.empty())
                why = setOverLimit(records);
            if (why.empty() && checksumHolds(off, records)) {
                lengths.add(offsets.size(), records);
                offsets.push_back(off);
                off = next;
                continue;
            }
            if (why.empty())
                why = kLengthMismatch;
        } else if (fits && setAt(end)) {
            offsets.push_back(off);
            off = end;
            continue;
        } else if ((next = findSet(off)) != 0) {
            why = kDamagedSet;
        } else {
            // What follows the last set: the index (whole, damaged or cut
            // short, or one that was not used), the last set with its
            // records damaged, or a set the file ends in the middle of.
            if (givenUp() || isIndexAt(off) || describeIndex(off))
                break;
            if (end == fileSize)
                offsets.push_back(off);
            else
                noteCutShort(off, length);
            break;
        }
        damaged.add(offsets.size(), why);
        offsets.push_back(off);
        off = next;
    }
}

// The length of the set at `offset` when its head and records make one.
std::optional<uint64_t> ReaderState::setAt(uint64_t offset)
{
    const std::optional<uint64_t> length = setLengthAt(offset);
    if (length && *length <= fileSize - offset - kSetHead && isSetAt(offset, *length))
        return length;
    return std::nullopt;
}

// The length in the set head at `offset`; none when the file ends first.
std::optional<uint64_t> ReaderState::setLengthAt(uint64_t offset)
{
    uint8_t head[4];
    if (offset > fileSize || fileSize - offset < kSetHead || !readAt(offset, head, sizeof(head)))
        return std::nullopt;
    Decoder h{head, sizeof(head)};
    return h.get<uint32_t>();
}

// True when the `length` bytes after the set head at `offset` hold four frame
// records of the four types in order that fill them exactly. `overLimit`
// gets why such a set is not read when a frame is beyond the limits.
bool ReaderState::isSetAt(uint64_t offset, uint64_t length, std::string* overLimit)
{
    if (length < kFrameHead * FRAME_TYPE_COUNT)
        return false;
    const uint64_t end = offset + kSetHead + length;
    uint64_t at = offset + kSetHead;
    std::string why;
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t) {
        uint8_t head[kFrameHead];
        if (kFrameHead > end - at || !readAt(at, head, kFrameHead))
            return false;
        Decoder d{head, kFrameHead};
        const auto type = d.get<uint8_t>();
        d.get<int64_t>(); // id
        d.get<int64_t>(); // timestamp
        FrameHead h;
        const auto w = d.get<uint32_t>();
        const auto ht = d.get<uint32_t>();
        d.get<uint32_t>(); // sub-frame count
        const uint64_t payload = d.get<uint32_t>();
        at += kFrameHead;
        if (type != t || w > kSideField || ht > kSideField || payload > end - at)
            return false;
        h.width = static_cast<int>(w);
        h.height = static_cast<int>(ht);
        if (why.empty())
            why = frameOverLimit(h);
        at += payload;
    }
    if (overLimit)
        *overLimit = why;
    return at == end;
}

// The length of the four frame records after the set head at `offset` as
// their own heads tell, when they are four of the four types in order that
// end inside the file; else 0. `overLimit` as isSetAt() gives it.
uint64_t ReaderState::recordsLength(uint64_t offset, std::string* overLimit)
{
    if (offset > fileSize || fileSize - offset < kSetHead + kMinSetLength)
        return 0;
    const uint64_t start = offset + kSetHead;
    uint64_t at = start;
    std::string ignored, why;
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t) {
        uint8_t head[kFrameHead];
        if (kFrameHead > fileSize - at || !readAt(at, head, kFrameHead))
            return 0;
        at += kFrameHead;
        Decoder d{head, kFrameHead};
        FrameHead h;
        if (!readFrameHead(d, t, fileSize - at, h, ignored))
            return 0;
        if (why.empty())
            why = frameOverLimit(h);
        at += h.length;
    }
    if (overLimit)
        *overLimit = why;
    return at - start;
}

// The first offset after `from` where a whole set lies, or 0. Each place is
// first tried against the bytes at hand (a set head of a length that fits,
// within the limit, followed by a sound head of the first frame), then
// whole. Bytes that only look like a set are not taken: a set found is
// followed by another one or ends the file, or else its checksum holds.
uint64_t ReaderState::findSet(uint64_t from)
{
    constexpr std::size_t kLook = kSetHead + kFrameHead;
    std::vector<uint8_t> window;
    std::string ignored;
    std::size_t step = kFirstLook;
    for (uint64_t start = from + 1; start < fileSize && fileSize - start >= kSetHead + kMinSetLength;
         start += step, step = std::min(2 * step, kSearchWindow)) {
        const std::size_t size = static_cast<std::size_t>(std::min<uint64_t>(step + kLook, fileSize - start));
        window.resize(size);
        if (!scanning(start, size) || !readAt(start, window.data(), size))
            return 0;
        for (std::size_t i = 0; i < step && i + kLook <= size; ++i) {
            const uint64_t room = fileSize - start - i - kSetHead;
            Decoder d{window.data() + i, kLook};
            const uint64_t length = d.get<uint32_t>();
            d.get<uint32_t>(); // checksum
            FrameHead h;
            if (length < kMinSetLength || length > room || length > kMaxSetLength
                || !readFrameHead(d, FRAME_RAW_FRAME_UNPROCESSED, length - kFrameHead, h, ignored))
                continue;
            const uint64_t at = start + i, end = at + kSetHead + length;
            if (!isSetAt(at, length))
                continue;
            if (uint32_t crc = 0;
                end == fileSize || setAt(end) || (stretchCrc(at + kSetHead, length, crc) && storedCrcAt(at) == crc))
                return at;
            if (givenUp())
                return 0;
        }
    }
    return 0;
}

// The checksum in the set head at `offset`.
std::optional<uint32_t> ReaderState::storedCrcAt(uint64_t offset)
{
    uint8_t head[kSetHead];
    if (!readAt(offset, head, kSetHead))
        return std::nullopt;
    Decoder h{head, kSetHead};
    h.get<uint32_t>(); // length
    return h.get<uint32_t>();
}

// True when the set of `length` bytes at `offset` has the checksum its head
// gives.
bool ReaderState::checksumHolds(uint64_t offset, uint64_t length)
{
    uint32_t crc = 0;
    return crcOf(offset + kSetHead, length, crc) && storedCrcAt(offset) == crc;
}

// The CRC-32 of `length` bytes from `offset` on, read in pieces, so a long
// stretch needs no room of its own.
bool ReaderState::crcOf(uint64_t offset, uint64_t length, uint32_t& crc)
{
    std::vector<uint8_t> piece(static_cast<std::size_t>(std::min<uint64_t>(length, kSearchWindow)));
    crc = 0;
    for (uint64_t done = 0; done < length;) {
        const std::size_t size = static_cast<std::size_t>(std::min<uint64_t>(piece.size(), length - done));
        if (!scanning(0, size) || !readAt(offset + done, piece.data(), size))
            return false;
        crc = crc32(piece.data(), size, crc);
        done += size;
    }
    return true;
}

// The CRC-32 of `length` bytes from `offset` on, for stretches a scan tries
// one after another, each starting no earlier than the one before: the
// blocks they share are read and summed once.
bool ReaderState::stretchCrc(uint64_t offset, uint64_t length, uint32_t& crc)
{
    if (length < 2 * kCrcBlock)
        return crcOf(offset, length, crc);
    const auto blockEnd = [&](uint64_t k) { return crcOrigin + (crcFirst + k) * kCrcBlock; };
    // Start afresh from here when the blocks kept lie elsewhere.
    if (crcPrefix.empty() || offset < blockEnd(0) || offset > blockEnd(crcPrefix.size() - 1)) {
        crcOrigin = offset;
        crcFirst = 0;
        crcPrefix.assign(1, 0);
    }
    // Blocks before this stretch are not asked for again.
    while (crcPrefix.size() > 1 && blockEnd(1) <= offset) {
        crcPrefix.pop_front();
        ++crcFirst;
    }
    const uint64_t first = (offset - crcOrigin + kCrcBlock - 1) / kCrcBlock - crcFirst; // of whole blocks
    const uint64_t last = (offset + length - crcOrigin) / kCrcBlock - crcFirst;
    std::vector<uint8_t> piece;
    while (crcPrefix.size() <= last) {
        const uint64_t blocks = std::min<uint64_t>(last + 1 - crcPrefix.size(), kSearchWindow / kCrcBlock);
        piece.resize(static_cast<std::size_t>(blocks * kCrcBlock));
        if (!scanning(0, piece.size()) || !readAt(blockEnd(crcPrefix.size() - 1), piece.data(), piece.size()))
            return false;
        for (uint64_t b = 0; b < blocks; ++b)
            crcPrefix.push_back(crc32(piece.data() + b * kCrcBlock, kCrcBlock, crcPrefix.back()));
    }
    uint32_t head = 0, tail = 0;
    const uint64_t middle = (last - first) * kCrcBlock, tailLength = offset + length - blockEnd(last);
    if (!crcOf(offset, blockEnd(first) - offset, head) || !crcOf(blockEnd(last), tailLength, tail))
        return false;
    const uint32_t whole = crcPrefix[last] ^ crc32Shift(crcPrefix[first], crc32ShiftFactor(middle));
    crc = crc32Shift(crc32Shift(head, crc32ShiftFactor(middle)) ^ whole, crc32ShiftFactor(tailLength)) ^ tail;
    return true;
}

// True when the bytes from `offset` to the end are the index of the sets
// found: whole, cut short, or as long with some of its bytes damaged.
bool ReaderState::isIndexAt(uint64_t offset)
{
    const uint64_t left = fileSize - offset;
    const std::vector<uint8_t> index = indexFooter(offsets);
    if (left > index.size())
        return false;
    std::vector<uint8_t> tail(static_cast<std::size_t>(left));
    if (!readAt(offset, tail.data(), tail.size()))
        return false;
    const auto same = std::inner_product(tail.begin(), tail.end(), index.begin(), std::size_t{0}, std::plus<>(),
                                         [](uint8_t a, uint8_t b) { return a == b ? 1 : 0; });
    return same == tail.size() || (left == index.size() && same * 2 >= tail.size());
}

// The index footer that starts at `offset`, whole and sound, if one does:
// empty, or listing the body's start first, as any index of this file would;
// its magic is found next, then its count must place its start here.
std::optional<ReaderState::Footer> ReaderState::footerAt(uint64_t offset)
{
    uint8_t first[sizeof(kIndexMagic) + 8];
    if (fileSize - offset < sizeof(first) || !readAt(offset, first, sizeof(first)))
        return std::nullopt;
    Decoder f{first, 8};
    if (f.get<uint64_t>() != bodyStart && std::memcmp(first + 8, kIndexMagic, sizeof(kIndexMagic)) != 0)
        return std::nullopt;
    std::vector<uint8_t> window;
    std::size_t step = kFirstLook;
    for (uint64_t start = offset + 8; start < fileSize && fileSize - start >= sizeof(kIndexMagic);
         start += step, step = std::min(2 * step, kSearchWindow)) {
        const std::size_t size =
            static_cast<std::size_t>(std::min<uint64_t>(step + sizeof(kIndexMagic) - 1, fileSize - start));
        window.resize(size);
        if (!scanning(0, size) || !readAt(start, window.data(), size))
            return std::nullopt;
        for (auto at = window.begin();
             (at = std::search(at, window.end(), std::begin(kIndexMagic), std::end(kIndexMagic))) != window.end();
             ++at) {
            const uint64_t magic = start + static_cast<uint64_t>(at - window.begin());
            const std::optional<uint64_t> count = setLengthAt(magic - 8); // a u32 like a set's length
            if (!count || offset + 8 * *count + 8 != magic)
                continue;
            // Its checksum, and whether it lists the sets found, in one pass.
            Footer footer{*count, magic + sizeof(kIndexMagic), *count == offsets.size()};
            std::vector<uint8_t> entries;
            uint32_t crc = 0;
            for (uint64_t done = 0; done < *count * 8;) {
                entries.resize(static_cast<std::size_t>(std::min<uint64_t>(*count * 8 - done, kSearchWindow)));
                if (!scanning(0, entries.size()) || !readAt(offset + done, entries.data(), entries.size()))
                    return std::nullopt;
                crc = crc32(entries.data(), entries.size(), crc);
                for (std::size_t i = 0; footer.listsTheSets && i < entries.size(); i += 8) {
                    Decoder e{entries.data() + i, 8};
                    footer.listsTheSets = e.get<uint64_t>() == offsets[static_cast<std::size_t>((done + i) / 8)];
                }
                done += entries.size();
            }
            uint8_t tail[8];
            if (!readAt(magic - 8, tail, sizeof(tail)))
                return std::nullopt;
            Decoder t{tail, sizeof(tail)};
            t.get<uint32_t>(); // count
            if (crc32(tail, 4, crc) == t.get<uint32_t>())
                return footer;
        }
        if (givenUp())
            return std::nullopt;
    }
    return std::nullopt;
}

// Tells what is wrong with an index footer at `offset`, after the last set,
// that was not used: it does not list the sets found, it was written more
// than once, or more bytes follow it. False when no footer starts there.
bool ReaderState::describeIndex(uint64_t offset)
{
    const std::optional<Footer> index = footerAt(offset);
    if (!index)
        return false;
    int copies = 1;
    uint64_t end = index->end;
    for (std::optional<Footer> again; end < fileSize && (again = footerAt(end)) && again->count == index->count
         && again->listsTheSets == index->listsTheSets;
         end = again->end)
        ++copies;
    // One line, as a file cut short has one.
    std::vector<std::string> wrong;
    const std::string sets = std::to_string(offsets.size());
    if (!index->listsTheSets)
        wrong.push_back(index->count == 0 ? std::string("index is empty")
                            : index->count != offsets.size()
                            ? "index lists " + std::to_string(index->count) + " frame sets, the file holds " + sets
                            : "index does not match the " + sets + " frame sets");
    if (copies > 1)
        wrong.push_back("index written " + std::to_string(copies) + " times");
    if (end < fileSize)
        wrong.push_back(std::to_string(fileSize - end) + " bytes after the index");
    for (std::size_t i = 0; i < wrong.size(); ++i)
        indexNote += (i ? "; " : "") + wrong[i];
    return true;
}

// Notes the set a file cut short ends in, from `offset` on, whose head gives
// `length` when it is whole.
void ReaderState::noteCutShort(uint64_t offset, std::optional<uint64_t> length)
{
    const uint64_t left = fileSize - offset;
    cutShort = "recording cut short in frame set " + std::to_string(offsets.size() + 1) + ": " + std::to_string(left);
    if (length && *length > left - kSetHead)
        cutShort += " of " + std::to_string(kSetHead + *length);
    cutShort += " bytes";
}

std::vector<std::string> ReaderState::damageNotes() const
{
    std::vector<std::string> notes;
    // The first sets one by one; the rest counted by reason, in the order
    // the reasons first came, the last of them together.
    std::map<uint32_t, uint64_t> more;
    const int size = static_cast<int>(offsets.size());
    for (const auto& [index, reason] : damaged.sets.entries())
        if (notes.size() < kSkipsNamed)
            notes.push_back(skippedSetNote(static_cast<int>(index), size, damaged.reasons[reason]));
        else
            ++more[reason];
    uint64_t others = 0;
    for (const auto& [reason, count] : more)
        if (notes.size() < kSkipsNamed + kReasonsCounted)
            notes.push_back(moreSkipped(count, ": " + damaged.reasons[reason]));
        else
            others += count;
    if (others > 0)
        notes.push_back(moreSkipped(others, " for other reasons"));
    if (!cutShort.empty())
        notes.push_back(cutShort);
    if (!indexNote.empty())
        notes.push_back(indexNote);
    return notes;
}

} // namespace Tavik::detail
