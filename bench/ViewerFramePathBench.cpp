// The whole frame path of the viewer: the simulated camera at 30 frame sets
// per second of 320x240, the stream controller, the data engine and the
// default docks of the shown main window (amplitude, phase and point cloud
// drawn; the combined and colour docks tabbed away). Counters: sets shown per
// second, pictures per second of the amplitude view and of the point cloud,
// pictures of the tabbed-away combined dock (none expected), the most frames
// the shown set was behind the newest, sets dropped, and the process's CPU
// use in percent of one core. The baseline: the same window shown with the
// camera connected but not streaming (the idle viewer).
//
// Run under Xvfb for a real window (scripts/bench-viewer does); without a
// display it draws offscreen.

#include "Kelvra/docks/CombinedViewDock.h"
#include "Kelvra/views/PlaneView.h"
#include "platform/base/DataViewContainer.h"
#include "host/engine/HostDataEngine.h"
#include "host/engine/PointCloudView.h"
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

struct Measured {
    double cpu, wall; // seconds
};

// Runs the event loop for that many seconds and measures the process meanwhile.
Measured measureEventLoop(int seconds)
{
    const double cpu0 = processCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    runEventLoop(seconds * 1000);
    const double wall = timer.elapsed() / 1000.0;
    return {processCpuSeconds() - cpu0, wall};
}

void BM_FramePathToDefaultDocks(benchmark::State& state)
{
    const int seconds = static_cast<int>(state.range(0));
    Tavik::CameraSystem cameraSystem;
    Tavik::DepthCameraPtr camera = cameraSystem.connect(cameraSystem.scan().front());
    MainWindow window(&cameraSystem, camera);
    window.show();
    window.startStream();
    const Kelvra::PlaneView* amplitude = window.amplitudeContainer()->viewAs<Kelvra::PlaneView>();
    const PointCloudView* cloud = window.cloudContainer()->viewAs<PointCloudView>();
    const Kelvra::CombinedViewDock* combined = window.getCombinedDock();
    auto combinedPictures = [combined] {
        return combined->viewerPhase->viewAs<Kelvra::PlaneView>()->getUpdateCount()
            + combined->viewerAmplitude->viewAs<Kelvra::PlaneView>()->getUpdateCount()
            + combined->viewerPointCloud->viewAs<PointCloudView>()->renderCount();
    };

    Measured m{};
    for (auto _ : state) {
        runEventLoop(1000); // let the stream settle before measuring
        const auto before = window.getDataEngine()->frameStats();
        const int64_t amplitudeBefore = amplitude->getUpdateCount(), cloudBefore = cloud->renderCount();
        m = measureEventLoop(seconds);
        const double wall = m.wall;
        const auto after = window.getDataEngine()->frameStats();
        state.counters["shown_per_s"] = (after.published - before.published) / wall;
        state.counters["amplitude_per_s"] = (amplitude->getUpdateCount() - amplitudeBefore) / wall;
        state.counters["cloud_per_s"] = (cloud->renderCount() - cloudBefore) / wall;
        state.counters["combined_pictures"] = static_cast<double>(combinedPictures());
        state.counters["dropped"] = static_cast<double>(after.dropped - before.dropped);
        state.counters["max_lag_frames"] = static_cast<double>(after.maxLag);
    }
    state.counters["cpu_percent"] = 100.0 * m.cpu / m.wall;
    window.shutdown();
}

void BM_IdleViewer(benchmark::State& state)
{
    const int seconds = static_cast<int>(state.range(0));
    Tavik::CameraSystem cameraSystem;
    MainWindow window(&cameraSystem, cameraSystem.connect(cameraSystem.scan().front()));
    window.show();
    Measured m{};
    for (auto _ : state) {
        runEventLoop(1000);
        m = measureEventLoop(seconds);
    }
    state.counters["cpu_percent"] = 100.0 * m.cpu / m.wall;
}

} // namespace

BENCHMARK(BM_IdleViewer)->Arg(5)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_FramePathToDefaultDocks)->Arg(20)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

int main(int argc, char** argv)
{
    return runQtBenchmarks(argc, argv, true);
}
