// Cost of the simulated camera: frame sets produced per second on one core
// (rendering, filter chain and delivery to four callbacks), the scene
// renderer beside the pixel-at-a-time reference it replaced, and reading a
// recorded stream beside a plain pread of the same bytes.

#include "SideBySide.h"

#include "Tavik/StreamGenerator.h"
#include "Tavik/Tavik.h"
#include "tavik/src/SceneModel.h"

#include <cstdio>
#include <filesystem>
#include <fcntl.h>
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

// A recording of 30 sets of 320x240 (81 MB, warm in the page cache once
// written), and where its sets lie.
struct Recording {
    std::string path;
    std::vector<uint64_t> setStarts; // and the end of the last set

    Recording()
        : path(
            (std::filesystem::temp_directory_path() / ("tavik-bench-" + std::to_string(::getpid()) + ".tvks")).string())
    {
        StreamHeader header;
        header.width = 320;
        header.height = 240;
        FrameStreamWriter writer(path, header);
        for (int k = 0; k < 30; ++k)
            writer.write(StreamGenerator::makeFrameSet(320, 240, k + 1, 33333 * (k + 1)));
        setStarts = writer.setOffsets();
        writer.close();
        // The index footer follows the last set: its offsets, count, checksum and magic.
        setStarts.push_back(std::filesystem::file_size(path) - (8 * setStarts.size() + 16));
    }
    ~Recording() { std::filesystem::remove(path); }
    int sets() const { return static_cast<int>(setStarts.size()) - 1; }
};

const Recording& recording()
{
    static const Recording r;
    return r;
}

void BM_ReaderReadNext320x240(benchmark::State& state)
{
    CameraSystem system;
    FrameStreamReader reader(recording().path, system);
    for (auto _ : state) {
        if (!reader.readNext()) {
            reader.seekTo(0);
            reader.readNext();
        }
        benchmark::DoNotOptimize(reader.frames());
    }
    state.counters["sets_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReaderReadNext320x240)->Unit(benchmark::kMillisecond);

// The baseline: one pread of each set's bytes, in the same order, into one buffer.
void BM_PreadSet320x240(benchmark::State& state)
{
    const Recording& r = recording();
    const int fd = ::open(r.path.c_str(), O_RDONLY);
    std::vector<char> buffer(static_cast<std::size_t>(r.setStarts[1] - r.setStarts[0]));
    int k = 0;
    for (auto _ : state) {
        const std::size_t size = static_cast<std::size_t>(r.setStarts[k + 1] - r.setStarts[k]);
        buffer.resize(size);
        if (::pread(fd, buffer.data(), size, static_cast<off_t>(r.setStarts[k])) != static_cast<ssize_t>(size))
            state.SkipWithError("short read");
        benchmark::DoNotOptimize(buffer.data());
        k = (k + 1) % r.sets();
    }
    ::close(fd);
    state.counters["sets_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PreadSet320x240)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runSideBySide(
        argc, argv,
        {{"BM_SceneRender320x240", "BM_SceneRender320x240Reference", "scene render 320x240",
          "the pixel-at-a-time reference"},
         {"BM_ReaderReadNext320x240", "BM_PreadSet320x240", "reader, one 320x240 set", "a pread of the same bytes"}});
}
