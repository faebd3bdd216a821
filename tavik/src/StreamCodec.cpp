#include "StreamCodec.h"

#include <memory>

namespace Tavik::detail {

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

uint64_t payloadSize(FrameType type, uint64_t pixels, uint64_t rawSamples)
{
    switch (type) {
    case FRAME_RAW_FRAME_UNPROCESSED: return rawSamples * 2;
    case FRAME_RAW_FRAME_PROCESSED: return pixels * 5;
    case FRAME_DEPTH_FRAME: return pixels * 6;
    case FRAME_XYZI_POINT_CLOUD_FRAME: return pixels * 16;
    }
    return 0;
}

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
    case FRAME_RAW_FRAME_UNPROCESSED: e.array(f.rawSamples); break;
    case FRAME_RAW_FRAME_PROCESSED:
        e.array(f.phase);
        e.array(f.amplitude);
        e.array(f.flags);
        break;
    case FRAME_DEPTH_FRAME:
        e.array(f.depth);
        e.array(f.amplitude);
        break;
    case FRAME_XYZI_POINT_CLOUD_FRAME: e.points(f.points); break;
    }
    return true;
}

bool readFrameHead(Decoder& d, FrameType type, uint64_t room, FrameHead& h, std::string& error)
{
    const auto storedType = d.get<uint8_t>();
    h.id = d.get<int64_t>();
    h.timestamp = d.get<int64_t>();
    const auto w = d.get<uint32_t>();
    const auto ht = d.get<uint32_t>();
    const auto sub = d.get<uint32_t>();
    h.length = d.get<uint32_t>();
    if (!d.ok || storedType != type || w > kSideField || ht > kSideField || sub > 1024 || h.length > room) {
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

std::string frameOverLimit(const FrameHead& h)
{
    if (static_cast<uint32_t>(h.width) <= kMaxSide && static_cast<uint32_t>(h.height) <= kMaxSide)
        return {};
    return "frame of " + std::to_string(h.width) + " x " + std::to_string(h.height) + " pixels is too large: more than "
        + std::to_string(kMaxSide) + " per side";
}

std::string setOverLimit(uint64_t length)
{
    if (length <= kMaxSetLength)
        return {};
    return "frame set of " + std::to_string(length) + " bytes is too large: more than " + std::to_string(kMaxSetLength);
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
    if (error = frameOverLimit(h); !error.empty())
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

} // namespace Tavik::detail
