// PlaneView::displayData for 320 x 240 frames: both flips, setImage through
// the phase colour map, and the lens-clarity figure on its frames (every
// sixth frame of an amplitude view with lens focusing on).

#include "Kelvra/models/StreamHub.h"
#include "Kelvra/views/PlaneView.h"
#include "Tavik/CameraSystem.h"
#include "platform/base/DataEngine.h"
#include "platform/base/DataFormat.h"

#include <QApplication>
#include "bench/NoisyImage.h"
#include "bench/QtBenchMain.h"

#include <benchmark/benchmark.h>

namespace {

struct Bench {
    explicit Bench(const QString& name, bool lens)
        : hub(&system)
        , engine(&hub)
        , format(name)
        , view(&engine, &format, true)
    {
        engine.publishFrame(
            {{"amplitude", noisyImage(1000, 1)}, {"phase", noisyImage(4095, 2)}, {"depth", noisyImage(5, 3)}});
        view.hFlipChanged(true);
        view.vFlipChanged(true);
        view.lensFocusingChanged(lens);
        // Past the frames that redo levels and range, as in a running stream.
        for (int i = 0; i < 8; ++i)
            view.displayData();
    }

    Tavik::CameraSystem system;
    Kelvra::StreamHub hub;
    DataEngine engine;
    DataFormat format;
    Kelvra::PlaneView view;
};

// One displayData per iteration, the picture rendered as the screen would.
void runFrames(benchmark::State& state, const QString& name, bool lens)
{
    Bench b(name, lens);
    for (auto _ : state) {
        b.view.displayData();
        benchmark::DoNotOptimize(b.view.getImageItem()->renderedImage().constBits());
    }
}

// Amplitude view with lens focusing: one frame in six also computes the figure.
void BM_DisplayDataAmplitudeLens(benchmark::State& state)
{
    runFrames(state, "amplitude", true);
}
BENCHMARK(BM_DisplayDataAmplitudeLens)->Unit(benchmark::kMicrosecond);

// Phase view: flips and setImage with the hue table only.
void BM_DisplayDataPhase(benchmark::State& state)
{
    runFrames(state, "phase", false);
}
BENCHMARK(BM_DisplayDataPhase)->Unit(benchmark::kMicrosecond);

// A lens frame alone: the worst single frame.
void BM_DisplayDataLensFrame(benchmark::State& state)
{
    Bench b("amplitude", true);
    for (auto _ : state) {
        state.PauseTiming();
        while ((b.view.getUpdateCount() + 1) % 6 != 0)
            b.view.displayData();
        state.ResumeTiming();
        b.view.displayData(); // a lens frame
        benchmark::DoNotOptimize(b.view.getImageItem()->renderedImage().constBits());
    }
}
BENCHMARK(BM_DisplayDataLensFrame)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    return runQtBenchmarks(argc, argv);
}
