// FrameRing put + get + release of whole 320x240 frame sets in steady state,
// against a plain memcpy of the same bytes into buffers that already exist.

#include "Kelvra/models/FrameRing.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr int W = 320;
constexpr int H = 240;
constexpr std::size_t N = static_cast<std::size_t>(W) * H;

std::vector<Tavik::Frame> makeFrameSet()
{
    std::vector<Tavik::Frame> set(Tavik::FRAME_TYPE_COUNT);
    for (int t = 0; t < Tavik::FRAME_TYPE_COUNT; ++t) {
        auto& f = set[static_cast<std::size_t>(t)];
        f.type = t;
        f.id = 1;
        f.timestamp = 33000;
        f.width = W;
        f.height = H;
    }
    auto& raw = set[Tavik::FRAME_RAW_FRAME_UNPROCESSED];
    raw.subFrameCount = 4;
    raw.rawSamples.resize(4 * N);
    for (std::size_t i = 0; i < raw.rawSamples.size(); ++i)
        raw.rawSamples[i] = static_cast<uint16_t>(i * 7);
    auto& processed = set[Tavik::FRAME_RAW_FRAME_PROCESSED];
    processed.phase.assign(N, 1234);
    processed.amplitude.assign(N, 321);
    processed.flags.assign(N, Tavik::Frame::FLAG_LOW_AMPLITUDE);
    auto& depth = set[Tavik::FRAME_DEPTH_FRAME];
    depth.depth.assign(N, 1.5f);
    depth.amplitude.assign(N, 321);
    set[Tavik::FRAME_XYZI_POINT_CLOUD_FRAME].points.assign(N, Tavik::XYZIPoint{0.1f, 0.2f, 1.5f, 300.f});
    return set;
}

std::size_t setBytes(const std::vector<Tavik::Frame>& set)
{
    std::size_t bytes = 0;
    for (const auto& f : set)
        bytes += f.payloadBytes();
    return bytes;
}

void BM_FrameRingPutGetRelease(benchmark::State& state)
{
    auto set = makeFrameSet();
    Kelvra::FrameRing ring;
    auto cycle = [&] {
        for (const auto& f : set) {
            ring.put(f);
            auto got = ring.tryGet();
            benchmark::DoNotOptimize(got->get());
            ring.release(std::move(*got));
        }
    };
    for (int i = 0; i < 4; ++i)
        cycle(); // warm the pool
    const auto made = Tavik::Frame::constructedCount();
    for (auto _ : state)
        cycle();
    state.counters["framesMade"] = static_cast<double>(Tavik::Frame::constructedCount() - made);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * setBytes(set)));
    state.SetLabel("one iteration = one frame set of four frames");
}

void BM_MemcpyFrameSetBytes(benchmark::State& state)
{
    const auto set = makeFrameSet();
    auto copy = makeFrameSet();
    std::vector<std::pair<const void*, void*>> buffers;
    std::vector<std::size_t> sizes;
    auto add = [&](const auto& from, auto& to) {
        buffers.emplace_back(from.data(), to.data());
        sizes.push_back(from.size() * sizeof(from[0]));
    };
    for (std::size_t t = 0; t < set.size(); ++t) {
        auto& to = copy[t];
        const auto& from = set[t];
        add(from.rawSamples, to.rawSamples);
        add(from.phase, to.phase);
        add(from.amplitude, to.amplitude);
        add(from.flags, to.flags);
        add(from.depth, to.depth);
        add(from.points, to.points);
    }
    for (auto _ : state) {
        for (std::size_t i = 0; i < buffers.size(); ++i)
            if (sizes[i])
                std::memcpy(buffers[i].second, buffers[i].first, sizes[i]);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * setBytes(set)));
    state.SetLabel("one iteration = the same bytes as one frame set");
}

} // namespace

BENCHMARK(BM_FrameRingPutGetRelease)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemcpyFrameSetBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
