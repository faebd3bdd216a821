// Opening a recorded stream: its header, then where its sets lie, from the
// index footer or, without a sound one, by a scan that passes over damage.

#include "StreamReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numeric>

#include <fcntl.h>
#include <unistd.h>

namespace Tavik::detail {

namespace {

// The shortest set: four frame heads without payload.
constexpr uint64_t kMinSetLength = kFrameHead * FRAME_TYPE_COUNT;
// Why a set the open found damaged is not read.
const char* const kLengthMismatch = "frame set length mismatch";
const char* const kDamagedSet = "damaged frame set";
// How much of a file is looked at at once when searching it for the next set.
constexpr std::size_t kSearchWindow = 1u << 20;

} // namespace

bool ReaderState::open(const std::string& path)
{
    std::error_code ec;
    const auto type = std::filesystem::status(path, ec).type();
    if (type == std::filesystem::file_type::not_found) {
        error = "file not found";
        return false;
    }
    if (type == std::filesystem::file_type::directory) {
        error = "a folder, not a file";
        return false;
    }
    errno = 0;
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int why = errno;
        error = why == EACCES || why == EPERM
            ? "permission denied"
            : std::string("cannot open file") + (why ? std::string(": ") + std::strerror(why) : "");
        return false;
    }
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end < 0) {
        error = "cannot read file";
        return false;
    }
    fileSize = static_cast<uint64_t>(end);
    if (!readHeader())
        return false;
    if (!readIndex())
        scan();
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
    const auto version = d.get<uint32_t>();
    header.cameraType = d.text(kMaxText);
    header.chipset = d.text(kMaxText);
    header.width = static_cast<int>(std::min(d.get<uint32_t>(), kMaxSide));
    header.height = static_cast<int>(std::min(d.get<uint32_t>(), kMaxSide));
    const auto count = d.get<uint32_t>();
    if (!d.ok || version != kVersion || count > kMaxStreamParams) {
        error = d.ok ? "unsupported version or header" : "truncated header";
        return false;
    }
    for (uint32_t i = 0; i < count && d.ok; ++i) {
        std::string name = d.text(kMaxText);
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
    if (!d.ok || hasCalib > 1) {
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
    const uint64_t room = fileSize - kFooterTail - bodyStart;
    if (count > room / 8)
        return false;
    const uint64_t indexStart = fileSize - kFooterTail - static_cast<uint64_t>(count) * 8;
    std::vector<uint8_t> bytes(static_cast<std::size_t>(count) * 8 + 4);
    if (!readAt(indexStart, bytes.data(), bytes.size()))
        return false;
    if (crc32(bytes.data(), bytes.size()) != storedCrc)
        return false;
    Decoder o{bytes.data(), bytes.size()};
    std::vector<uint64_t> found;
    found.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const auto off = o.get<uint64_t>();
        // The sets follow each other from the body's start on, each with
        // room for its head before the next one and the index.
        if (found.empty() ? off != bodyStart : off < found.back() + kSetHead)
            return false;
        if (off > indexStart || indexStart - off < kSetHead)
            return false;
        found.push_back(off);
    }
    if (found.empty() && indexStart != bodyStart)
        return false;
    // The index is sound: a set whose length disagrees with it has its
    // length damaged and is skipped, the others still read.
    std::map<std::size_t, std::string> lengthDamaged;
    for (std::size_t i = 0; i < found.size(); ++i) {
        const uint64_t end = i + 1 < found.size() ? found[i + 1] : indexStart;
        if (setLengthAt(found[i]) != end - found[i] - kSetHead)
            lengthDamaged[i] = kLengthMismatch;
    }
    offsets = std::move(found);
    damaged = std::move(lengthDamaged);
    bodyEnd = indexStart;
    return true;
}

// Finds the sets without an index: one after the other from the body's start
// on. Where no set starts, the set there is skipped to where its records end
// when only its length is damaged; a set whose length leads to the next set
// is taken even when its records are damaged (its read tells why it fails);
// else the scan goes on at the next place a whole set lies.
void ReaderState::scan()
{
    offsets.clear();
    damaged.clear();
    bodyEnd = fileSize;
    uint64_t off = bodyStart;
    while (off < fileSize) {
        const std::optional<uint64_t> length = setLengthAt(off);
        const bool fits = length && *length >= kMinSetLength && *length <= fileSize - off - kSetHead;
        const uint64_t end = fits ? off + kSetHead + *length : 0;
        if (fits && isSetAt(off, *length)) {
            offsets.push_back(off);
            off = end;
            continue;
        }
        uint64_t next = 0;
        const char* why = kLengthMismatch;
        if (const uint64_t records = recordsLength(off); records != 0) {
            next = off + kSetHead + records;
        } else if (fits && setAt(end)) {
            offsets.push_back(off);
            off = end;
            continue;
        } else if ((next = findSet(off)) != 0) {
            why = kDamagedSet;
        } else {
            // What follows the last set: the index (whole, damaged or cut
            // short), the last set with its records damaged, or a set the
            // file ends in the middle of.
            if (isIndexAt(off))
                break;
            if (end == fileSize)
                offsets.push_back(off);
            else
                noteCutShort(off, length);
            break;
        }
        damaged[offsets.size()] = why;
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
// records of the four types in order that fill them exactly.
bool ReaderState::isSetAt(uint64_t offset, uint64_t length)
{
    if (length < kFrameHead * FRAME_TYPE_COUNT)
        return false;
    const uint64_t end = offset + kSetHead + length;
    uint64_t at = offset + kSetHead;
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t) {
        uint8_t head[kFrameHead];
        if (kFrameHead > end - at || !readAt(at, head, kFrameHead))
            return false;
        Decoder d{head, kFrameHead};
        const auto type = d.get<uint8_t>();
        d.get<int64_t>(); // id
        d.get<int64_t>(); // timestamp
        const auto w = d.get<uint32_t>();
        const auto h = d.get<uint32_t>();
        d.get<uint32_t>(); // sub-frame count
        const uint64_t payload = d.get<uint32_t>();
        at += kFrameHead;
        if (type != t || w > kMaxSide || h > kMaxSide || payload > end - at)
            return false;
        at += payload;
    }
    return at == end;
}

// The length of the four frame records after the set head at `offset` as
// their own heads tell, when they are four of the four types in order that
// end inside the file; else 0.
uint64_t ReaderState::recordsLength(uint64_t offset)
{
    if (offset > fileSize || fileSize - offset < kSetHead + kMinSetLength)
        return 0;
    const uint64_t start = offset + kSetHead;
    uint64_t at = start;
    std::string ignored;
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t) {
        uint8_t head[kFrameHead];
        if (kFrameHead > fileSize - at || !readAt(at, head, kFrameHead))
            return 0;
        at += kFrameHead;
        Decoder d{head, kFrameHead};
        FrameHead h;
        if (!readFrameHead(d, t, fileSize - at, h, ignored))
            return 0;
        at += h.length;
    }
    return at - start;
}

// The first offset after `from` where a whole set lies, or 0. Each place is
// first tried against the bytes at hand (a set head of a length that fits,
// followed by a sound head of the first frame), then whole. Bytes that only
// look like a set are not taken: a set found is followed by another one or
// ends the file, or else its checksum holds.
uint64_t ReaderState::findSet(uint64_t from)
{
    constexpr std::size_t kLook = kSetHead + kFrameHead;
    std::vector<uint8_t> window;
    std::string ignored;
    for (uint64_t start = from + 1; start < fileSize && fileSize - start >= kSetHead + kMinSetLength;
         start += kSearchWindow) {
        const std::size_t size = static_cast<std::size_t>(std::min<uint64_t>(kSearchWindow + kLook, fileSize - start));
        window.resize(size);
        if (!readAt(start, window.data(), size))
            return 0;
        for (std::size_t i = 0; i < kSearchWindow && i + kLook <= size; ++i) {
            const uint64_t room = fileSize - start - i - kSetHead;
            Decoder d{window.data() + i, kLook};
            const uint64_t length = d.get<uint32_t>();
            d.get<uint32_t>(); // checksum
            FrameHead h;
            if (length < kMinSetLength || length > room
                || !readFrameHead(d, FRAME_RAW_FRAME_UNPROCESSED, length - kFrameHead, h, ignored))
                continue;
            const uint64_t at = start + i, end = at + kSetHead + length;
            if (isSetAt(at, length) && (end == fileSize || setAt(end) || checksumHolds(at, length)))
                return at;
        }
    }
    return 0;
}

// True when the set of `length` bytes at `offset` has the checksum its head
// gives; read in pieces, so a long set needs no room of its own.
bool ReaderState::checksumHolds(uint64_t offset, uint64_t length)
{
    uint8_t head[kSetHead];
    if (!readAt(offset, head, kSetHead))
        return false;
    Decoder h{head, kSetHead};
    h.get<uint32_t>(); // length
    const uint32_t storedCrc = h.get<uint32_t>();
    std::vector<uint8_t> piece(static_cast<std::size_t>(std::min<uint64_t>(length, kSearchWindow)));
    uint32_t crc = 0;
    for (uint64_t done = 0; done < length;) {
        const std::size_t size = static_cast<std::size_t>(std::min<uint64_t>(piece.size(), length - done));
        if (!readAt(offset + kSetHead + done, piece.data(), size))
            return false;
        crc = crc32(piece.data(), size, crc);
        done += size;
    }
    return crc == storedCrc;
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
    for (const auto& [index, why] : damaged)
        notes.push_back(skippedSetNote(static_cast<int>(index), static_cast<int>(offsets.size()), why));
    if (!cutShort.empty())
        notes.push_back(cutShort);
    return notes;
}

} // namespace Tavik::detail
