#include "Detail.h"
#include "FramePool.h"
#include "PieceReadThread.h"

#include <isa-l/crc.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <optional>

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

namespace Tavik {

namespace detail {

// The CRC-32 of zip and PNG (reflected, polynomial 0xedb88320), which the
// library computes with carry-less multiplies where the processor has them.
uint32_t crc32(const void* data, std::size_t size, uint32_t crc)
{
    if (size == 0)
        return crc;
    return crc32_gzip_refl(crc, static_cast<const unsigned char*>(data), size);
}

namespace {

constexpr uint32_t kCrcPolynomial = 0xedb88320u;

// a times b modulo the polynomial, both in the CRC's bit order (x^0 the top bit).
uint32_t multiplyModP(uint32_t a, uint32_t b)
{
    uint32_t product = 0;
    for (uint32_t m = 1u << 31; m != 0; m >>= 1) {
        if (a & m)
            product ^= b;
        b = (b & 1u) ? (b >> 1) ^ kCrcPolynomial : b >> 1;
    }
    return product;
}

} // namespace

// x^(8 * bytes) modulo the polynomial.
uint32_t crc32ShiftFactor(uint64_t bytes)
{
    // x^(2^k): x^1, then each the square of the one before.
    static const std::array<uint32_t, 67> powers = [] {
        std::array<uint32_t, 67> p{};
        p[0] = 1u << 30;
        for (std::size_t k = 1; k < p.size(); ++k)
            p[k] = multiplyModP(p[k - 1], p[k - 1]);
        return p;
    }();
    uint32_t factor = 1u << 31; // x^0
    for (std::size_t k = 3; bytes != 0; bytes >>= 1, ++k)
        if (bytes & 1u)
            factor = multiplyModP(powers[k], factor);
    return factor;
}

uint32_t crc32Shift(uint32_t crc, uint32_t factor)
{
    return multiplyModP(factor, crc);
}

} // namespace detail

namespace {

constexpr char kMagic[8] = {'T', 'V', 'K', 'S', 'T', 'R', 'M', '\0'};
constexpr char kIndexMagic[8] = {'T', 'V', 'K', 'I', 'N', 'D', 'E', 'X'};
constexpr uint32_t kVersion = 1;
constexpr std::size_t kSetHead = 8;                                 // u32 length, u32 CRC32
constexpr std::size_t kFrameHead = 1 + 8 + 8 + 4 + 4 + 4 + 4;       // type .. payload length
constexpr std::size_t kFooterTail = 4 + 4 + sizeof(kIndexMagic);    // count, CRC32, magic
constexpr std::size_t kMaxHeader = 1u << 20;
constexpr uint32_t kMaxText = 4096;
constexpr uint32_t kMaxStreamParams = 1024;
constexpr uint32_t kMaxSide = 1u << 16;
// Sets at least this long are read by two threads, in pieces; shorter ones
// by the reader alone.
constexpr uint64_t kSharedReadMin = 256 * 1024;
// Each piece of such a set is half of what is left of it, no smaller than
// this: few reads, and the last pieces, which decide how long one thread
// waits for the other, are short.
constexpr uint64_t kPieceShare = 2;
constexpr uint64_t kMinPiece = 64 * 1024;
// The shortest set: four frame heads without payload.
constexpr uint64_t kMinSetLength = kFrameHead * FRAME_TYPE_COUNT;
// Why a set the open found damaged is not read.
const char* const kLengthMismatch = "frame set length mismatch";
const char* const kDamagedSet = "damaged frame set";
// How much of a file is looked at at once when searching it for the next set.
constexpr std::size_t kSearchWindow = 1u << 20;

bool littleEndianHost()
{
    const uint16_t one = 1;
    uint8_t first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

// --- encoding -------------------------------------------------------------------

struct Encoder {
    std::vector<uint8_t> bytes;

    template <class T>
    void put(T value)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        uint8_t b[sizeof(T)];
        std::memcpy(b, &value, sizeof(T));
        if (!littleEndianHost())
            std::reverse(b, b + sizeof(T));
        bytes.insert(bytes.end(), b, b + sizeof(T));
    }
    void text(const std::string& s)
    {
        put<uint32_t>(static_cast<uint32_t>(s.size()));
        bytes.insert(bytes.end(), s.begin(), s.end());
    }
    template <class T>
    void array(const std::vector<T>& values)
    {
        if (littleEndianHost() || sizeof(T) == 1) {
            const auto* p = reinterpret_cast<const uint8_t*>(values.data());
            bytes.insert(bytes.end(), p, p + values.size() * sizeof(T));
        } else {
            for (const T& v : values)
                put(v);
        }
    }
    void points(const std::vector<XYZIPoint>& values)
    {
        for (const auto& p : values) {
            put(p.x);
            put(p.y);
            put(p.z);
            put(p.i);
        }
    }
};

// Reads from a byte range; every read checks the bounds and a failed read
// leaves the decoder failed.
struct Decoder {
    const uint8_t* p;
    std::size_t left;
    bool ok = true;

    bool need(std::size_t n)
    {
        if (!ok || n > left)
            ok = false;
        return ok;
    }
    template <class T>
    T get()
    {
        T value{};
        if (!need(sizeof(T)))
            return value;
        uint8_t b[sizeof(T)];
        std::memcpy(b, p, sizeof(T));
        if (!littleEndianHost())
            std::reverse(b, b + sizeof(T));
        std::memcpy(&value, b, sizeof(T));
        p += sizeof(T);
        left -= sizeof(T);
        return value;
    }
    std::string text(uint32_t maxLength)
    {
        const uint32_t n = get<uint32_t>();
        if (n > maxLength || !need(n)) {
            ok = false;
            return {};
        }
        std::string s(reinterpret_cast<const char*>(p), n);
        p += n;
        left -= n;
        return s;
    }
    template <class T>
    void array(std::vector<T>& out, std::size_t count)
    {
        if (count > left / sizeof(T) || !need(count * sizeof(T))) {
            ok = false;
            return;
        }
        out.resize(count);
        if (count == 0)
            return; // an empty vector may have no storage to copy into
        if (littleEndianHost() || sizeof(T) == 1) {
            std::memcpy(out.data(), p, count * sizeof(T));
            p += count * sizeof(T);
            left -= count * sizeof(T);
        } else {
            for (auto& v : out)
                v = get<T>();
        }
    }
    void points(std::vector<XYZIPoint>& out, std::size_t count)
    {
        if (count > left / 16) {
            ok = false;
            return;
        }
        out.resize(count);
        for (auto& pt : out) {
            pt.x = get<float>();
            pt.y = get<float>();
            pt.z = get<float>();
            pt.i = get<float>();
        }
    }
};

// The index footer the writer ends a file with, for sets at `offsets`.
std::vector<uint8_t> indexFooter(const std::vector<uint64_t>& offsets)
{
    Encoder e;
    for (uint64_t off : offsets)
        e.put<uint64_t>(off);
    e.put<uint32_t>(static_cast<uint32_t>(offsets.size()));
    const uint32_t crc = detail::crc32(e.bytes.data(), e.bytes.size());
    e.put<uint32_t>(crc);
    e.bytes.insert(e.bytes.end(), kIndexMagic, kIndexMagic + sizeof(kIndexMagic));
    return e.bytes;
}

// Bytes of a frame's payload as the file stores it, by type.
uint64_t payloadSize(FrameType type, uint64_t pixels, uint64_t rawSamples)
{
    switch (type) {
    case FRAME_RAW_FRAME_UNPROCESSED:
        return rawSamples * 2;
    case FRAME_RAW_FRAME_PROCESSED:
        return pixels * 5;
    case FRAME_DEPTH_FRAME:
        return pixels * 6;
    case FRAME_XYZI_POINT_CLOUD_FRAME:
        return pixels * 16;
    }
    return 0;
}

// False when the frame's buffers do not have the sizes its type and size ask.
bool encodeFrame(Encoder& e, const Frame& f, FrameType type)
{
    if (f.type != type || f.width < 0 || f.height < 0 || static_cast<uint32_t>(f.width) > kMaxSide
        || static_cast<uint32_t>(f.height) > kMaxSide)
        return false;
    const std::size_t n = static_cast<std::size_t>(f.width) * f.height;
    switch (type) {
    case FRAME_RAW_FRAME_UNPROCESSED:
        if (n == 0 ? !f.rawSamples.empty() : f.rawSamples.size() % n != 0)
            return false;
        break;
    case FRAME_RAW_FRAME_PROCESSED:
        if (f.phase.size() != n || f.amplitude.size() != n || f.flags.size() != n)
            return false;
        break;
    case FRAME_DEPTH_FRAME:
        if (f.depth.size() != n || f.amplitude.size() != n)
            return false;
        break;
    case FRAME_XYZI_POINT_CLOUD_FRAME:
        if (f.points.size() != n)
            return false;
        break;
    }
    e.put<uint8_t>(static_cast<uint8_t>(type));
    e.put<int64_t>(f.id);
    e.put<int64_t>(f.timestamp);
    e.put<uint32_t>(static_cast<uint32_t>(f.width));
    e.put<uint32_t>(static_cast<uint32_t>(f.height));
    e.put<uint32_t>(static_cast<uint32_t>(f.subFrameCount));
    e.put<uint32_t>(static_cast<uint32_t>(payloadSize(type, n, f.rawSamples.size())));
    switch (type) {
    case FRAME_RAW_FRAME_UNPROCESSED:
        e.array(f.rawSamples);
        break;
    case FRAME_RAW_FRAME_PROCESSED:
        e.array(f.phase);
        e.array(f.amplitude);
        e.array(f.flags);
        break;
    case FRAME_DEPTH_FRAME:
        e.array(f.depth);
        e.array(f.amplitude);
        break;
    case FRAME_XYZI_POINT_CLOUD_FRAME:
        e.points(f.points);
        break;
    }
    return true;
}

// What the head of a frame record says, checked.
struct FrameHead {
    int64_t id = 0;
    int64_t timestamp = 0;
    int width = 0;
    int height = 0;
    int subFrameCount = 0;
    uint32_t length = 0; // of the payload
    std::size_t pixels = 0;
    std::size_t samples = 0; // raw samples (of a raw unprocessed frame)
};

// Reads the head of a frame record of `type`, followed by `room` bytes in its
// set; false (with `error`) when it cannot be such a record.
bool readFrameHead(Decoder& d, FrameType type, uint64_t room, FrameHead& h, std::string& error)
{
    const auto storedType = d.get<uint8_t>();
    h.id = d.get<int64_t>();
    h.timestamp = d.get<int64_t>();
    const auto w = d.get<uint32_t>();
    const auto ht = d.get<uint32_t>();
    const auto sub = d.get<uint32_t>();
    h.length = d.get<uint32_t>();
    if (!d.ok || storedType != type || w > kMaxSide || ht > kMaxSide || sub > 1024 || h.length > room) {
        error = "bad frame record";
        return false;
    }
    h.width = static_cast<int>(w);
    h.height = static_cast<int>(ht);
    h.subFrameCount = static_cast<int>(sub);
    const uint64_t n = static_cast<uint64_t>(w) * ht;
    const uint64_t samples = h.length / 2;
    if (type == FRAME_RAW_FRAME_UNPROCESSED && (h.length % 2 != 0 || (n == 0 ? samples != 0 : samples % n != 0))) {
        error = "bad raw sample count";
        return false;
    }
    if (payloadSize(type, n, samples) != h.length) {
        error = "payload length does not match the frame size";
        return false;
    }
    h.pixels = static_cast<std::size_t>(n);
    h.samples = static_cast<std::size_t>(samples);
    return true;
}

void setHead(Frame& f, FrameType type, const FrameHead& h)
{
    f.type = type;
    f.id = h.id;
    f.timestamp = h.timestamp;
    f.width = h.width;
    f.height = h.height;
    f.subFrameCount = h.subFrameCount;
}

FramePtr decodeFrame(Decoder& d, FrameType type, std::string& error)
{
    const uint64_t room = d.left >= kFrameHead ? d.left - kFrameHead : 0;
    FrameHead h;
    if (!readFrameHead(d, type, room, h, error))
        return nullptr;
    auto f = std::make_shared<Frame>();
    setHead(*f, type, h);
    switch (type) {
    case FRAME_RAW_FRAME_UNPROCESSED: d.array(f->rawSamples, h.samples); break;
    case FRAME_RAW_FRAME_PROCESSED:
        d.array(f->phase, h.pixels);
        d.array(f->amplitude, h.pixels);
        d.array(f->flags, h.pixels);
        break;
    case FRAME_DEPTH_FRAME:
        d.array(f->depth, h.pixels);
        d.array(f->amplitude, h.pixels);
        break;
    case FRAME_XYZI_POINT_CLOUD_FRAME: d.points(f->points, h.pixels); break;
    }
    if (!d.ok) {
        error = "truncated frame payload";
        return nullptr;
    }
    return f;
}

// The buffers of a frame as the file stores them, in order: sized for the
// head's frame, their bytes to be filled in place. Buffers the type does not
// use are emptied (a pooled frame keeps their capacity).
struct Buffers {
    std::array<iovec, 3> parts{};
    int count = 0;

    template <class T> void add(std::vector<T>& v, std::size_t n)
    {
        v.resize(n);
        if (n > 0)
            parts[count++] = {v.data(), n * sizeof(T)};
    }
};

Buffers sizeBuffers(Frame& f, FrameType type, const FrameHead& h)
{
    static_assert(sizeof(XYZIPoint) == 16 && std::is_trivially_copyable_v<XYZIPoint>,
                  "a point is stored as it lies in memory");
    Buffers b;
    const bool raw = type == FRAME_RAW_FRAME_UNPROCESSED, processed = type == FRAME_RAW_FRAME_PROCESSED;
    const bool depth = type == FRAME_DEPTH_FRAME, cloud = type == FRAME_XYZI_POINT_CLOUD_FRAME;
    if (raw)
        b.add(f.rawSamples, h.samples);
    if (processed)
        b.add(f.phase, h.pixels);
    if (depth)
        b.add(f.depth, h.pixels);
    if (processed || depth)
        b.add(f.amplitude, h.pixels);
    if (processed)
        b.add(f.flags, h.pixels);
    if (cloud)
        b.add(f.points, h.pixels);
    if (!raw)
        f.rawSamples.clear();
    if (!processed) {
        f.phase.clear();
        f.flags.clear();
    }
    if (!processed && !depth)
        f.amplitude.clear();
    if (!depth)
        f.depth.clear();
    if (!cloud)
        f.points.clear();
    return b;
}

} // namespace

// --- reader ----------------------------------------------------------------------

namespace detail {

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
    std::optional<uint64_t> setAt(uint64_t offset);
    std::optional<uint64_t> setLengthAt(uint64_t offset);
    bool isSetAt(uint64_t offset, uint64_t length);
    uint64_t recordsLength(uint64_t offset);
    uint64_t findSet(uint64_t from);
    bool checksumHolds(uint64_t offset, uint64_t length);
    bool isIndexAt(uint64_t offset);
    void noteCutShort(uint64_t offset, std::optional<uint64_t> length);
    std::vector<std::string> damageNotes() const;
    bool readSet(int index, FrameSet& out);
    bool readSetInPlace(uint64_t offset, uint64_t length, uint32_t storedCrc, FrameSet& out);
    bool readSetShared(uint64_t offset, uint64_t length, uint32_t storedCrc, FrameSet& out);
    bool readLayout(uint64_t start, uint64_t length);
    void planPieces(uint64_t length);
    void cutPieces(uint64_t start, const iovec* segments, int count);
    bool readSetCopy(uint64_t offset, uint64_t length, uint32_t storedCrc, FrameSet& out);
};

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
    if (!readAt(fileSize - kFooterTail, tail, kFooterTail) || std::memcmp(tail + 8, kIndexMagic, sizeof(kIndexMagic)) != 0)
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

bool ReaderState::readSet(int index, FrameSet& out)
{
    if (const auto it = damaged.find(static_cast<std::size_t>(index)); it != damaged.end()) {
        error = it->second;
        return false;
    }
    const uint64_t off = offsets[static_cast<std::size_t>(index)];
    const uint64_t limit = static_cast<std::size_t>(index) + 1 < offsets.size() ? offsets[static_cast<std::size_t>(index) + 1] : bodyEnd;
    uint8_t head[kSetHead];
    if (!readAt(off, head, kSetHead)) {
        error = "truncated frame set";
        return false;
    }
    Decoder h{head, kSetHead};
    const uint64_t length = h.get<uint32_t>();
    const uint32_t storedCrc = h.get<uint32_t>();
    if (length > limit - off - kSetHead || length < kFrameHead * FRAME_TYPE_COUNT) {
        error = "truncated frame set";
        return false;
    }
    // A set that does not read in place is read again whole, which tells why.
    return readSetInPlace(off, length, storedCrc, out) || readSetCopy(off, length, storedCrc, out);
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
    if (!known && !readLayout(start, length))
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
    if (!pieceReader.read(job, crc))
        return false;
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
// `layout`; false unless they are four of the four types that fill the set.
bool ReaderState::readLayout(uint64_t start, uint64_t length)
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
        if (!readFrameHead(d, t, end - at, layout[static_cast<std::size_t>(t)], ignored))
            return false;
        at += layout[static_cast<std::size_t>(t)].length;
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
    std::vector<uint8_t> bytes(static_cast<std::size_t>(length));
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

} // namespace detail

FrameStreamReader::FrameStreamReader(const std::string& path, CameraSystem& /*cameraSystem: files need no device*/)
    : d_(std::make_unique<detail::ReaderState>())
{
    d_->good = d_->open(path);
    if (!d_->good) {
        d_->offsets.clear();
        d_->damaged.clear();
        d_->cutShort.clear();
    }
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
    if (!d_->good)
        return false;
    if (d_->position >= static_cast<int>(d_->offsets.size())) {
        d_->error = "end of stream";
        return false;
    }
    FrameSet set;
    if (!d_->readSet(d_->position, set)) {
        ++d_->position; // past the damaged set, so the sets after it stay playable
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

const StreamHeader& FrameStreamReader::header() const { return d_->header; }

std::string FrameStreamReader::errorString() const
{
    std::lock_guard<std::mutex> lock(d_->m);
    return d_->error;
}

std::string skippedSetNote(int position, int size, const std::string& why)
{
    return "frame set " + std::to_string(position + 1) + " / " + std::to_string(size) + " skipped: " + why;
}

// --- writer ----------------------------------------------------------------------

namespace detail {

struct WriterState {
    std::mutex m;
    std::ofstream out;
    bool open = false;
    uint64_t written = 0;
    std::vector<uint64_t> offsets;

    bool put(const std::vector<uint8_t>& bytes)
    {
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        written += bytes.size();
        return static_cast<bool>(out);
    }
};

} // namespace detail

FrameStreamWriter::FrameStreamWriter(const std::string& path, const StreamHeader& header) : d_(std::make_unique<detail::WriterState>())
{
    d_->out.open(path, std::ios::binary | std::ios::trunc);
    if (!d_->out)
        return;
    Encoder e;
    e.bytes.insert(e.bytes.end(), kMagic, kMagic + sizeof(kMagic));
    e.put<uint32_t>(kVersion);
    e.text(header.cameraType.substr(0, kMaxText));
    e.text(header.chipset.substr(0, kMaxText));
    e.put<uint32_t>(static_cast<uint32_t>(std::clamp(header.width, 0, static_cast<int>(kMaxSide))));
    e.put<uint32_t>(static_cast<uint32_t>(std::clamp(header.height, 0, static_cast<int>(kMaxSide))));
    e.put<uint32_t>(static_cast<uint32_t>(std::min<std::size_t>(header.streamParams.size(), kMaxStreamParams)));
    uint32_t n = 0;
    for (const auto& p : header.streamParams) {
        if (n++ == kMaxStreamParams)
            break;
        e.text(p.first.substr(0, kMaxText));
        e.put<double>(p.second);
    }
    e.put<uint8_t>(header.calib ? 1 : 0);
    if (header.calib)
        for (float c : *header.calib)
            e.put<float>(c);
    e.put<uint32_t>(detail::crc32(e.bytes.data(), e.bytes.size()));
    d_->open = d_->put(e.bytes);
}

FrameStreamWriter::~FrameStreamWriter()
{
    if (isOpen())
        close();
}

bool FrameStreamWriter::isOpen() const
{
    std::lock_guard<std::mutex> lock(d_->m);
    return d_->open;
}

bool FrameStreamWriter::write(const FrameSet& frames)
{
    std::lock_guard<std::mutex> lock(d_->m);
    if (!d_->open)
        return false;
    Encoder body;
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
        if (!frames[t] || !encodeFrame(body, *frames[t], t))
            return false;
    if (body.bytes.size() > 0xffffffffu)
        return false;
    Encoder head;
    head.put<uint32_t>(static_cast<uint32_t>(body.bytes.size()));
    head.put<uint32_t>(detail::crc32(body.bytes.data(), body.bytes.size()));
    const uint64_t offset = d_->written;
    if (!d_->put(head.bytes) || !d_->put(body.bytes)) {
        d_->open = false;
        return false;
    }
    d_->offsets.push_back(offset);
    return true;
}

bool FrameStreamWriter::close()
{
    std::lock_guard<std::mutex> lock(d_->m);
    if (!d_->open)
        return false;
    const bool ok = d_->put(indexFooter(d_->offsets));
    d_->out.close();
    d_->open = false;
    return ok && !d_->out.fail();
}

int FrameStreamWriter::setsWritten() const
{
    std::lock_guard<std::mutex> lock(d_->m);
    return static_cast<int>(d_->offsets.size());
}

std::vector<uint64_t> FrameStreamWriter::setOffsets() const
{
    std::lock_guard<std::mutex> lock(d_->m);
    return d_->offsets;
}

StreamHeader FrameStreamWriter::headerFor(const DepthCamera& camera)
{
    StreamHeader h;
    h.cameraType = camera.cameraType();
    h.chipset = camera.chipset();
    if (auto profile = camera.state()->activeProfile()) {
        h.width = profile->width();
        h.height = profile->height();
        h.calib = std::array<float, 4>{profile->getFloat("calib", "fx"), profile->getFloat("calib", "fy"),
                                       profile->getFloat("calib", "cx"), profile->getFloat("calib", "cy")};
    }
    for (const char* name : {"depthScalingFactor", "amplitudeScalingFactor"}) {
        auto r = camera.getStreamParamf(name);
        if (r.ok)
            h.streamParams[name] = r.value;
    }
    return h;
}

// --- recording from a camera -------------------------------------------------------

bool recordFromCamera(const DepthCameraPtr& camera, const std::string& path, int sets, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!camera || !camera->isConnected())
        return fail("no connected camera");
    FrameStreamWriter writer(path, FrameStreamWriter::headerFor(*camera));
    if (!writer.isOpen())
        return fail("cannot write " + path);

    auto& state = *camera->state();
    std::mutex m;
    std::condition_variable cv;
    std::deque<FrameSet> queue;
    int taken = 0;
    const int token = state.addTap([&](const FrameSet& set) {
        std::lock_guard<std::mutex> lock(m);
        if (taken < sets) {
            ++taken;
            queue.push_back(set);
        }
        cv.notify_all();
    });
    if (token < 0)
        return fail("camera disconnected");
    const bool startedHere = !camera->isRunning();
    if (startedHere && !camera->start()) {
        state.removeTap(token);
        return fail("camera refused to start");
    }

    std::string problem;
    int written = 0;
    const auto patience = std::chrono::milliseconds(5000) + std::chrono::milliseconds(static_cast<int>(3000.0 / state.frameRate()));
    while (written < sets && problem.empty()) {
        if (state.isManualRun())
            state.deliverFrameSets(1);
        FrameSet set;
        {
            std::unique_lock<std::mutex> lock(m);
            if (!cv.wait_for(lock, patience, [&] { return !queue.empty() || !camera->isConnected(); })) {
                problem = "no frames from the camera";
                break;
            }
            if (queue.empty()) {
                problem = "camera disconnected";
                break;
            }
            set = std::move(queue.front());
            queue.pop_front();
        }
        if (!writer.write(set))
            problem = "write failed";
        else
            ++written;
    }
    state.removeTap(token);
    if (startedHere)
        camera->stop();
    if (!writer.close() && problem.empty())
        problem = "write failed";
    return problem.empty() ? true : fail(problem);
}

} // namespace Tavik
