// Cost of the simulated camera: frame sets produced per second on one core
// (rendering, filter chain and delivery to four callbacks), the scene
// renderer beside the pixel-at-a-time reference it replaced, and reading a
// recorded stream.

#include "SideBySide.h"

#include "Tavik/StreamGenerator.h"
#include "Tavik/Tavik.h"
#include "tavik/src/SceneModel.h"

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
        camera->registerCallback(
            t, [&sink](const DepthCameraPtr&, const FramePtr& frame, FrameType) { sink += frame->id; });
    camera->start();
    for (auto _ : state)
        system.simulation().deliverFrameSets(camera, 1);
    benchmark::DoNotOptimize(sink);
    camera->stop();
    state.SetItemsProcessed(state.iterations());
    state.counters["sets_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CameraFrameSet320x240(benchmark::State& state)
{
    produceSets(state, 0, nullptr);
}
BENCHMARK(BM_CameraFrameSet320x240)->Unit(benchmark::kMillisecond);

void BM_CameraFrameSet320x240MedianChain(benchmark::State& state)
{
    produceSets(state, 0, "Tavik::MedianFilter");
}
BENCHMARK(BM_CameraFrameSet320x240MedianChain)->Unit(benchmark::kMillisecond);

void BM_CameraFrameSet80x60(benchmark::State& state)
{
    produceSets(state, 4, nullptr);
}
BENCHMARK(BM_CameraFrameSet80x60)->Unit(benchmark::kMicrosecond);

// One 320x240 set per iteration, let go at once as a consumer that copies
// what it needs does; the sphere moves from set to set.
template <class Renderer> void renderSets(benchmark::State& state)
{
    Renderer renderer;
    detail::SceneSettings settings;
    int64_t id = 0;
    for (auto _ : state) {
        ++id;
        settings.time = static_cast<double>(id) / 30.0;
        const FrameSet set = renderer.render(settings, id, id);
        benchmark::DoNotOptimize(set[FRAME_DEPTH_FRAME]->depth.data());
    }
    state.counters["sets_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_SceneRender320x240(benchmark::State& state)
{
    renderSets<detail::SceneRenderer>(state);
}
BENCHMARK(BM_SceneRender320x240)->Unit(benchmark::kMillisecond);

void BM_SceneRender320x240Reference(benchmark::State& state)
{
    renderSets<detail::SceneRendererReference>(state);
}
BENCHMARK(BM_SceneRender320x240Reference)->Unit(benchmark::kMillisecond);

void BM_ReaderReadNext320x240(benchmark::State& state)
{
    const std::string path =
        (std::filesystem::temp_directory_path() / ("tavik-bench-" + std::to_string(::getpid()) + ".tvks")).string();
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
    state.counters["sets_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    std::filesystem::remove(path);
}
BENCHMARK(BM_ReaderReadNext320x240)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runSideBySide(argc, argv,
                         {{"BM_SceneRender320x240", "BM_SceneRender320x240Reference", "scene render 320x240",
                           "the pixel-at-a-time reference"}});
}
