// Stream controller benchmarks: the controller's own cost per frame (source
// callback to registered callbacks) and how closely file playback follows the
// recorded timestamps.

#include "Kelvra/models/StreamHub.h"
#include "Tavik/StreamGenerator.h"
#include "Tavik/Tavik.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct LiveRig {
    LiveRig()
    {
        camera = system.connect(system.scan().at(0));
        system.simulation().setManualDelivery(camera, true);
        hub = std::make_unique<Kelvra::StreamHub>(&system, camera);
        live = std::dynamic_pointer_cast<Kelvra::DepthCameraStreamSource>(hub->getCurrentSource());
        hub->start();
        frame = std::make_shared<Tavik::Frame>();
        frame->type = Tavik::FRAME_DEPTH_FRAME;
    }
    Tavik::CameraSystem system;
    Tavik::DepthCameraPtr camera;
    std::unique_ptr<Kelvra::StreamHub> hub;
    std::shared_ptr<Kelvra::DepthCameraStreamSource> live;
    Tavik::FramePtr frame;
};

// What the camera's thread runs per frame: the live source's handler, the
// controller's fan-out, then `range(0)` registered callbacks that do nothing.
void BM_LiveFrameFanOut(benchmark::State& state)
{
    LiveRig rig;
    int64_t sink = 0;
    for (int i = 0; i < state.range(0); ++i)
        rig.hub->registerCallback(
            Tavik::FRAME_DEPTH_FRAME,
            [&sink](const Tavik::DepthCameraPtr&, const Tavik::FramePtr& f, Tavik::FrameType) { sink += f->id; });
    for (auto _ : state) {
        ++rig.frame->id;
        rig.live->callbackInternal(rig.camera, rig.frame, Tavik::FRAME_DEPTH_FRAME);
    }
    benchmark::DoNotOptimize(sink);
}
BENCHMARK(BM_LiveFrameFanOut)->Arg(1)->Arg(4);

// The controller alone: callbackInternal over `range(0)` callbacks.
void BM_HubCallbackInternal(benchmark::State& state)
{
    Tavik::CameraSystem system;
    Kelvra::StreamHub hub(&system);
    auto frame = std::make_shared<Tavik::Frame>();
    int64_t sink = 0;
    for (int i = 0; i < state.range(0); ++i)
        hub.registerCallback(
            Tavik::FRAME_DEPTH_FRAME,
            [&sink](const Tavik::DepthCameraPtr&, const Tavik::FramePtr&, Tavik::FrameType) { ++sink; });
    for (auto _ : state)
        hub.callbackInternal(nullptr, frame, Tavik::FRAME_DEPTH_FRAME);
    benchmark::DoNotOptimize(sink);
}
BENCHMARK(BM_HubCallbackInternal)->Arg(1)->Arg(4);

// 300 sets recorded at 30 fps, played through the controller; the error of a
// set is |delivery interval - recorded interval|. The first two sets of a
// playback come back to back by design, so the figure covers the 298 paced
// intervals that follow.
void BM_FilePlaybackPacing(benchmark::State& state)
{
    constexpr int sets = 300;
    constexpr int64_t intervalUs = 33333;
    QTemporaryDir dir;
    const std::string path = dir.filePath("pacing.tvk").toStdString();
    Tavik::StreamGenerator::Spec spec;
    spec.sets = sets;
    spec.width = 320;
    spec.height = 240;
    spec.intervalUs = intervalUs;
    if (!Tavik::StreamGenerator::write(path, spec)) {
        state.SkipWithError("could not write the recording");
        return;
    }
    Tavik::CameraSystem system;

    for (auto _ : state) {
        Kelvra::StreamHub hub(&system);
        hub.setCurrentSource(hub.addFileStreamSource(QString::fromStdString(path)));
        std::mutex m;
        std::vector<Clock::time_point> at;
        std::vector<int64_t> ts;
        hub.registerCallback(Tavik::FRAME_RAW_FRAME_UNPROCESSED,
                             [&](const Tavik::DepthCameraPtr&, const Tavik::FramePtr& f, Tavik::FrameType) {
                                 std::lock_guard<std::mutex> lock(m);
                                 at.push_back(Clock::now());
                                 ts.push_back(f->timestamp);
                             });
        hub.start();
        while (hub.isRunning())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::lock_guard<std::mutex> lock(m);
        double sum = 0, worst = 0;
        int n = 0;
        for (size_t i = 2; i < at.size(); ++i) {
            const double actual = std::chrono::duration<double, std::milli>(at[i] - at[i - 1]).count();
            const double recorded = (ts[i] - ts[i - 1]) / 1000.0;
            const double err = std::fabs(actual - recorded);
            sum += err;
            worst = std::max(worst, err);
            ++n;
        }
        const double mean = n ? sum / n : 0;
        state.counters["sets"] = static_cast<double>(at.size());
        state.counters["mean_abs_error_ms"] = mean;
        state.counters["max_abs_error_ms"] = worst;
        std::printf("File playback pacing: %zu sets at 30 fps, mean absolute error %.3f ms (limit 2 ms), max %.3f ms\n",
                    at.size(), mean, worst);
    }
}
BENCHMARK(BM_FilePlaybackPacing)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
