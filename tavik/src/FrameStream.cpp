#include "Detail.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>

namespace Tavik {

namespace detail {

uint32_t crc32(const void* data, std::size_t size, uint32_t crc)
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1u) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    const auto* p = static_cast<const uint8_t*>(data);
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ p[i]) & 0xffu] ^ (crc >> 8);
    return ~crc;
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

FramePtr decodeFrame(Decoder& d, FrameType type, std::string& error)
{
    auto f = std::make_shared<Frame>();
    const auto storedType = d.get<uint8_t>();
    f->type = type;
    f->id = d.get<int64_t>();
    f->timestamp = d.get<int64_t>();
    const auto w = d.get<uint32_t>();
    const auto h = d.get<uint32_t>();
    const auto sub = d.get<uint32_t>();
    const auto length = d.get<uint32_t>();
    if (!d.ok || storedType != type || w > kMaxSide || h > kMaxSide || sub > 1024 || length > d.left) {
        error = "bad frame record";
        return nullptr;
    }
    f->width = static_cast<int>(w);
    f->height = static_cast<int>(h);
    f->subFrameCount = static_cast<int>(sub);
    const uint64_t n = static_cast<uint64_t>(w) * h;
    uint64_t samples = length / 2;
    if (type == FRAME_RAW_FRAME_UNPROCESSED && (length % 2 != 0 || (n == 0 ? samples != 0 : samples % n != 0))) {
        error = "bad raw sample count";
        return nullptr;
    }
    if (payloadSize(type, n, samples) != length) {
        error = "payload length does not match the frame size";
        return nullptr;
    }
    switch (type) {
    case FRAME_RAW_FRAME_UNPROCESSED:
        d.array(f->rawSamples, samples);
        break;
    case FRAME_RAW_FRAME_PROCESSED:
        d.array(f->phase, n);
        d.array(f->amplitude, n);
        d.array(f->flags, n);
        break;
    case FRAME_DEPTH_FRAME:
        d.array(f->depth, n);
        d.array(f->amplitude, n);
        break;
    case FRAME_XYZI_POINT_CLOUD_FRAME:
        d.points(f->points, n);
        break;
    }
    if (!d.ok) {
        error = "truncated frame payload";
        return nullptr;
    }
    return f;
}

} // namespace

// --- reader ----------------------------------------------------------------------

namespace detail {

struct ReaderState {
    mutable std::mutex m;
    std::ifstream file;
    uint64_t fileSize = 0;
    bool good = false;
    std::string error;
    StreamHeader header;
    uint64_t bodyStart = 0;
    uint64_t bodyEnd = 0; // start of the index, or the file size
    std::vector<uint64_t> offsets;
    int position = 0;
    FrameSet frames;

    bool readAt(uint64_t offset, void* out, std::size_t size)
    {
        if (offset > fileSize || size > fileSize - offset)
            return false;
        file.clear();
        file.seekg(static_cast<std::streamoff>(offset));
        file.read(static_cast<char*>(out), static_cast<std::streamsize>(size));
        return static_cast<std::size_t>(file.gcount()) == size;
    }

    bool open(const std::string& path);
    bool readHeader();
    bool readIndex();
    void scan();
    bool isSetAt(uint64_t offset, uint64_t length);
    bool readSet(int index, FrameSet& out);
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
    file.open(path, std::ios::binary);
    if (!file) {
        const int why = errno;
        error = why == EACCES || why == EPERM
            ? "permission denied"
            : std::string("cannot open file") + (why ? std::string(": ") + std::strerror(why) : "");
        return false;
    }
    file.seekg(0, std::ios::end);
    const auto end = file.tellg();
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
    uint64_t expected = bodyStart;
    for (uint32_t i = 0; i < count; ++i) {
        const auto off = o.get<uint64_t>();
        // Sets follow each other without gaps, each at least a set head long.
        if (off != expected || off + kSetHead > indexStart)
            return false;
        uint8_t head[4];
        if (!readAt(off, head, 4))
            return false;
        Decoder h{head, 4};
        const uint64_t length = h.get<uint32_t>();
        expected = off + kSetHead + length;
        found.push_back(off);
    }
    if (expected != indexStart)
        return false;
    offsets = std::move(found);
    bodyEnd = indexStart;
    return true;
}

void ReaderState::scan()
{
    offsets.clear();
    bodyEnd = fileSize;
    uint64_t off = bodyStart;
    while (off + kSetHead <= fileSize) {
        uint8_t head[4];
        if (!readAt(off, head, 4))
            break;
        Decoder h{head, 4};
        const uint64_t length = h.get<uint32_t>();
        // A truncated last set is not a set, nor is what follows the sets
        // (a damaged index, say).
        if (length > fileSize - off - kSetHead || !isSetAt(off, length))
            break;
        offsets.push_back(off);
        off += kSetHead + length;
    }
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

bool ReaderState::readSet(int index, FrameSet& out)
{
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
    std::vector<uint8_t> bytes(static_cast<std::size_t>(length));
    if (!readAt(off + kSetHead, bytes.data(), bytes.size())) {
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
    if (!d_->good)
        d_->offsets.clear();
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
    Encoder e;
    for (uint64_t off : d_->offsets)
        e.put<uint64_t>(off);
    e.put<uint32_t>(static_cast<uint32_t>(d_->offsets.size()));
    const uint32_t crc = detail::crc32(e.bytes.data(), e.bytes.size());
    e.put<uint32_t>(crc);
    e.bytes.insert(e.bytes.end(), kIndexMagic, kIndexMagic + sizeof(kIndexMagic));
    const bool ok = d_->put(e.bytes);
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
