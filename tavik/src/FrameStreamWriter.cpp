#include "StreamCodec.h"

#include <algorithm>
#include <fstream>
#include <mutex>

namespace Tavik {

using detail::encodeFrame;
using detail::Encoder;
using detail::indexFooter;
using detail::kMagic;
using detail::kMaxSide;
using detail::kMaxStreamParams;
using detail::kMaxText;
using detail::kVersion;

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

FrameStreamWriter::FrameStreamWriter(const std::string& path, const StreamHeader& header)
    : d_(std::make_unique<detail::WriterState>())
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
    if (e.bytes.size() > detail::kMaxHeader)
        return; // no reader would take it
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
    if (body.bytes.size() > detail::kMaxSetLength)
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

} // namespace Tavik
