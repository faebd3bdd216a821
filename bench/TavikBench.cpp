// Cost of the simulated camera: frame sets produced per second on one core
// (rendering, filter chain and delivery to four callbacks), and reading a
// recorded stream.

#include "Tavik/StreamGenerator.h"
#include "Tavik/Tavik.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <unistd.h>

using namespace Tavik;

namespace {

// Produces sets synchronously on the benchmark thread (manual delivery), so
// the time measured is the production cost per set, without pacing.
void produceSets(benchmark::State& state, int profile, const char* filter)
{
    CameraSystem system;
    auto camera = system.connect(system.scan().at(0));
    system.simulation().setManualDelivery(camera, true);
    system.simulation().setCameraProfile(camera, profile);
    if (filter)
        camera->addFilter(system.createFilter(filter, FRAME_RAW_FRAME_PROCESSED), FRAME_RAW_FRAME_PROCESSED);
    int64_t sink = 0;
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
        camera->registerCallback(t, [&sink](const DepthCameraPtr&, const FramePtr& frame, FrameType) { sink += frame->id; });
    camera->start();
    for (auto _ : state)
        system.simulation().deliverFrameSets(camera, 1);
    benchmark::DoNotOptimize(sink);
    camera->stop();
    state.SetItemsProcessed(state.iterations());
    state.counters["sets_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CameraFrameSet320x240(benchmark::State& state) { produceSets(state, 0, nullptr); }
BENCHMARK(BM_CameraFrameSet320x240)->Unit(benchmark::kMillisecond);

void BM_CameraFrameSet320x240MedianChain(benchmark::State& state) { produceSets(state, 0, "Tavik::MedianFilter"); }
BENCHMARK(BM_CameraFrameSet320x240MedianChain)->Unit(benchmark::kMillisecond);

void BM_CameraFrameSet80x60(benchmark::State& state) { produceSets(state, 4, nullptr); }
BENCHMARK(BM_CameraFrameSet80x60)->Unit(benchmark::kMicrosecond);

void BM_ReaderReadNext320x240(benchmark::State& state)
{
    const std::string path = (std::filesystem::temp_directory_path() / ("tavik-bench-" + std::to_string(::getpid()) + ".tvks")).string();
    StreamGenerator::Spec spec;
    spec.sets = 30;
    spec.width = 320;
    spec.height = 240;
    StreamGenerator::write(path, spec);
    CameraSystem system;
    FrameStreamReader reader(path, system);
    for (auto _ : state) {
        if (!reader.readNext()) {
            reader.seekTo(0);
            reader.readNext();
        }
        benchmark::DoNotOptimize(reader.frames());
    }
    state.counters["sets_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    std::filesystem::remove(path);
}
BENCHMARK(BM_ReaderReadNext320x240)->Unit(benchmark::kMillisecond);

} // namespace
