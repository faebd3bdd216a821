#include "Tavik/StreamGenerator.h"

#include "Scene.h"

#include <filesystem>
#include <fstream>

namespace Tavik::StreamGenerator {

namespace {

// Lens of the 320x240 profile, scaled to the frame size.
std::array<float, 4> calibFor(int width, int height)
{
    const float f = 0.625f * static_cast<float>(width);
    return {f, f, static_cast<float>(width) / 2.f, static_cast<float>(height) / 2.f};
}

detail::SceneSettings sceneFor(int width, int height, float range, uint32_t seed)
{
    detail::SceneSettings s;
    s.width = width;
    s.height = height;
    const auto calib = calibFor(width, height);
    s.fx = calib[0];
    s.fy = calib[1];
    s.cx = calib[2];
    s.cy = calib[3];
    s.range = range;
    s.noiseSeed = seed;
    return s;
}

bool fail(std::string* error, const std::string& why)
{
    if (error)
        *error = why;
    return false;
}

} // namespace

FrameSet makeFrameSet(int width, int height, int64_t id, int64_t timestamp, float unambiguousRange, uint32_t seed)
{
    detail::SceneSettings s = sceneFor(width, height, unambiguousRange, seed);
    s.time = static_cast<double>(id) / 30.0;
    detail::SceneRenderer renderer;
    return renderer.render(s, id, timestamp);
}

Background backgroundAt(int width, int height, int x, int y, float unambiguousRange)
{
    const auto b = detail::SceneRenderer::background(sceneFor(width, height, unambiguousRange, 1), x, y);
    return {b.distance, b.depthNoise};
}

bool write(const std::string& path, const Spec& spec, std::string* error)
{
    StreamHeader header;
    header.cameraType = "Quenta14Camera";
    header.chipset = "sim.common";
    header.width = spec.width;
    header.height = spec.height;
    if (spec.withDepthScalingFactor)
        header.streamParams["depthScalingFactor"] = spec.unambiguousRange / 4096.f;
    if (spec.withAmplitudeScalingFactor)
        header.streamParams["amplitudeScalingFactor"] = 1.0;
    header.calib = calibFor(spec.width, spec.height);

    std::vector<uint64_t> offsets;
    {
        FrameStreamWriter writer(path, header);
        if (!writer.isOpen())
            return fail(error, "cannot write " + path);
        int64_t id = 0, timestamp = spec.firstTimestamp - spec.intervalUs;
        detail::SceneRenderer renderer;
        detail::SceneSettings s = sceneFor(spec.width, spec.height, spec.unambiguousRange, spec.seed);
        for (int k = 0; k < spec.sets; ++k) {
            id = k < static_cast<int>(spec.ids.size()) ? spec.ids[k] : id + 1;
            timestamp = k < static_cast<int>(spec.timestamps.size()) ? spec.timestamps[k] : timestamp + spec.intervalUs;
            s.time = static_cast<double>(k) / 30.0;
            if (!writer.write(renderer.render(s, id, timestamp)))
                return fail(error, "write failed");
        }
        offsets = writer.setOffsets();
        if (!writer.close())
            return fail(error, "write failed");
    }

    std::error_code ec;
    const uint64_t fullSize = std::filesystem::file_size(path, ec);
    if (ec)
        return fail(error, ec.message());
    // The index footer: the offsets, their count, a checksum and the magic.
    const uint64_t bodyEnd = fullSize - (offsets.size() * 8 + 16);
    if (!spec.corruptSets.empty() || !spec.damagedLengthSets.empty()) {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        const auto flip = [&](const std::set<int>& sets, uint64_t at) {
            for (int k : sets) {
                if (k < 0 || k >= static_cast<int>(offsets.size()))
                    continue;
                f.seekg(static_cast<std::streamoff>(offsets[k] + at));
                char c = 0;
                f.read(&c, 1);
                c = static_cast<char>(c ^ 0x5a);
                f.seekp(static_cast<std::streamoff>(offsets[k] + at));
                f.write(&c, 1);
            }
        };
        // The first byte of the first frame's id: covered by the set's CRC.
        flip(spec.corruptSets, 8 + 1);
        // The second byte of the set's length, and one its CRC covers (a set
        // whose length alone is damaged is still read).
        flip(spec.damagedLengthSets, 1);
        flip(spec.damagedLengthSets, 8 + 2);
        if (!f)
            return fail(error, "cannot patch " + path);
    }
    if (spec.truncateLastSet && !offsets.empty())
        std::filesystem::resize_file(path, offsets.back() + (bodyEnd - offsets.back()) / 2, ec);
    else if (!spec.withIndex)
        std::filesystem::resize_file(path, bodyEnd, ec);
    return ec ? fail(error, ec.message()) : true;
}

std::vector<Crafted> allCrafted()
{
    return {Crafted::Empty,         Crafted::CorruptMiddle,        Crafted::IdGap,
            Crafted::ZeroTimestamp, Crafted::NoDepthScalingFactor, Crafted::Truncated,
            Crafted::NoIndex,       Crafted::DamagedLength};
}

Spec craftedSpec(Crafted kind)
{
    Spec s;
    switch (kind) {
    case Crafted::Empty: s.sets = 0; break;
    case Crafted::CorruptMiddle:
        s.sets = 10;
        s.corruptSets = {5};
        break;
    case Crafted::IdGap:
        s.sets = 5;
        s.ids = {10, 13, 14, 15, 16};
        s.timestamps = {1000000, 1100000, 1133333, 1166666, 1200000};
        break;
    case Crafted::ZeroTimestamp:
        s.sets = 5;
        s.firstTimestamp = 0;
        break;
    case Crafted::NoDepthScalingFactor:
        s.sets = 5;
        s.withDepthScalingFactor = false;
        break;
    case Crafted::Truncated:
        s.sets = 6;
        s.truncateLastSet = true;
        break;
    case Crafted::NoIndex:
        s.sets = 5;
        s.withIndex = false;
        break;
    case Crafted::DamagedLength:
        s.sets = 20;
        s.damagedLengthSets = {1};
        break;
    }
    return s;
}

std::string craftedFileName(Crafted kind)
{
    switch (kind) {
    case Crafted::Empty: return "empty.tvks";
    case Crafted::CorruptMiddle: return "corrupt-middle.tvks";
    case Crafted::IdGap: return "id-gap.tvks";
    case Crafted::ZeroTimestamp: return "zero-timestamp.tvks";
    case Crafted::NoDepthScalingFactor: return "no-depth-scaling-factor.tvks";
    case Crafted::Truncated: return "truncated.tvks";
    case Crafted::NoIndex: return "no-index.tvks";
    case Crafted::DamagedLength: return "damaged-length.tvks";
    }
    return "crafted.tvks";
}

bool writeCrafted(const std::string& path, Crafted kind, std::string* error)
{
    return write(path, craftedSpec(kind), error);
}

} // namespace Tavik::StreamGenerator
