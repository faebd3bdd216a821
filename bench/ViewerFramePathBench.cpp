// The whole frame path of the viewer: the simulated camera at 30 frame sets
// per second of 320x240, the stream controller, the data engine and both
// views drawn in the shown main window. Counters: sets shown per second, the
// most frames the shown set was behind the newest, sets dropped, and the
// process's CPU use in percent of one core.
//
// Run under Xvfb for a real window (scripts/bench-viewer does); without a
// display it draws offscreen.

#include "host/engine/HostDataEngine.h"
#include "host/app/MainWindow.h"
#include "Tavik/CameraSystem.h"
#include "Tavik/DepthCamera.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "bench/QtBenchMain.h"

#include <benchmark/benchmark.h>

#include <ctime>

namespace {

// Runs the event loop for that long, sleeping while there is nothing to do.
void runEventLoop(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

void BM_FramePathToBothViews(benchmark::State& state)
{
    const int seconds = static_cast<int>(state.range(0));
    Tavik::CameraSystem cameraSystem;
    Tavik::DepthCameraPtr camera = cameraSystem.connect(cameraSystem.scan().front());
    MainWindow window(&cameraSystem, camera);
    window.show();
    window.startStream();

    double cpu = 0, wall = 0;
    for (auto _ : state) {
        runEventLoop(1000); // let the stream settle before measuring
        const auto before = window.getDataEngine()->frameStats();
        const double cpu0 = processCpuSeconds();
        QElapsedTimer timer;
        timer.start();
        runEventLoop(seconds * 1000);
        wall = timer.elapsed() / 1000.0;
        cpu = processCpuSeconds() - cpu0;
        const auto after = window.getDataEngine()->frameStats();
        state.counters["shown_per_s"] = (after.published - before.published) / wall;
        state.counters["dropped"] = static_cast<double>(after.dropped - before.dropped);
        state.counters["max_lag_frames"] = static_cast<double>(after.maxLag);
    }
    state.counters["cpu_percent"] = 100.0 * cpu / wall;
    window.shutdown();
}

} // namespace

BENCHMARK(BM_FramePathToBothViews)->Arg(20)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

int main(int argc, char** argv)
{
    return runQtBenchmarks(argc, argv, true);
}
