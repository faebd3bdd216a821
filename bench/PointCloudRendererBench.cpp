// The point-cloud view's drawing: one 320x240 cloud of the simulated camera
// projected into a 640x480 image with the depth test (goal: under 1 ms per
// frame), with and without the field-of-view cone, by depth and by
// intensity, and at the size of the cloud dock on a 1280x800 and a 1920x1080
// screen. The baseline: memcpy of the same bytes (the cloud read once, the
// image written once) between buffers that already exist.

#include "SideBySide.h"

#include "host/engine/PointCloudRenderer.h"
#include "Tavik/CameraSystem.h"
#include "Tavik/DepthCamera.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// The first point cloud the simulated camera delivers.
const Tavik::Frame& simulatedCloud()
{
    static const Tavik::FramePtr frame = [] {
        Tavik::CameraSystem cameraSystem;
        Tavik::DepthCameraPtr camera = cameraSystem.connect(cameraSystem.scan().front());
        std::mutex mutex;
        Tavik::FramePtr got;
        camera->registerCallback(Tavik::FRAME_XYZI_POINT_CLOUD_FRAME,
                                 [&](const Tavik::DepthCameraPtr&, const Tavik::FramePtr& f, Tavik::FrameType) {
                                     const std::lock_guard<std::mutex> lock(mutex);
                                     if (!got)
                                         got = f;
                                 });
        camera->start();
        for (;;) {
            {
                const std::lock_guard<std::mutex> lock(mutex);
                if (got)
                    break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        camera->stop();
        return got;
    }();
    return *frame;
}

// Bytes written between pictures in the cold cases, more than the caches
// hold: in the viewer, some 30 MB of frames pass between two pictures.
constexpr std::size_t EVICTING_BYTES = 64u << 20;

void render(benchmark::State& state, QSize size, bool cone, PointCloudRenderer::ColorMode mode, bool cold = false)
{
    const Tavik::Frame& cloud = simulatedCloud();
    PointCloudRenderer renderer;
    renderer.setConeShown(cone);
    renderer.setColorMode(mode);
    std::vector<char> evicting(cold ? EVICTING_BYTES : 0);
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            std::memset(evicting.data(), static_cast<int>(state.iterations() & 0xff), evicting.size());
            benchmark::ClobberMemory();
            state.ResumeTiming();
        }
        const QImage& image = renderer.render(cloud.points, cloud.width, size);
        benchmark::DoNotOptimize(image.constBits());
        renderer.orbit(0.5f, 0.f); // a new view each frame, as while dragging
    }
    state.counters["points"] = static_cast<double>(cloud.points.size());
    state.counters["point_px"] = renderer.pointSize();
}

void BM_Render640x480(benchmark::State& state)
{
    render(state, QSize(640, 480), true, PointCloudRenderer::ColorMode::Depth);
}

void BM_Render640x480NoCone(benchmark::State& state)
{
    render(state, QSize(640, 480), false, PointCloudRenderer::ColorMode::Depth);
}

void BM_Render640x480ByIntensity(benchmark::State& state)
{
    render(state, QSize(640, 480), true, PointCloudRenderer::ColorMode::Intensity);
}

// The cloud dock of the default layout on a 1280x800 screen.
void BM_Render780x660(benchmark::State& state)
{
    render(state, QSize(780, 660), true, PointCloudRenderer::ColorMode::Depth);
}

// The same with the caches emptied before each picture, as in the viewer.
void BM_Render780x660Cold(benchmark::State& state)
{
    render(state, QSize(780, 660), true, PointCloudRenderer::ColorMode::Depth, true);
}

// The cloud dock of the default layout on a 1920x1080 screen.
void BM_Render1150x880(benchmark::State& state)
{
    render(state, QSize(1150, 880), true, PointCloudRenderer::ColorMode::Depth);
}

void BM_MemcpyCloudAndImage(benchmark::State& state)
{
    const Tavik::Frame& cloud = simulatedCloud();
    const std::size_t cloudBytes = cloud.points.size() * sizeof(Tavik::XYZIPoint);
    const std::size_t imageBytes = 640 * 480 * sizeof(QRgb);
    std::vector<char> cloudCopy(cloudBytes), image(imageBytes), imageSource(imageBytes, 1);
    for (auto _ : state) {
        std::memcpy(cloudCopy.data(), cloud.points.data(), cloudBytes);
        std::memcpy(image.data(), imageSource.data(), imageBytes);
        benchmark::DoNotOptimize(cloudCopy.data());
        benchmark::DoNotOptimize(image.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (cloudBytes + imageBytes)));
}

} // namespace

BENCHMARK(BM_MemcpyCloudAndImage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Render640x480)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Render640x480NoCone)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Render640x480ByIntensity)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Render780x660)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Render780x660Cold)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Render1150x880)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    return runSideBySide(argc, argv,
                         {{"BM_Render640x480", "BM_MemcpyCloudAndImage", "a 320x240 cloud drawn at 640x480",
                           "memcpy of the cloud and the picture"}});
}
