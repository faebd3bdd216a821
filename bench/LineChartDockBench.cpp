// LineChartDock::updateDataSource: the data read, mean and deviation, curve,
// lines and label set (painting excluded), for a 320-sample row of a
// 320 x 240 frame and for a full 100-sample pixel history. The baseline reads
// the same row and computes the same two figures, nothing else.

#include "Kelvra/docks/LineChartDock.h"
#include "platform/plot/PlotCurve.h"
#include "platform/base/DataEngine.h"

#include "bench/NoisyImage.h"
#include "bench/QtBenchMain.h"

#include <QCoreApplication>
#include <QRadioButton>

#include <benchmark/benchmark.h>
#include <cmath>

namespace {

struct Chart {
    Chart()
    {
        engine.publishFrame(
            {{"amplitude", noisyImage(1000, 1)}, {"phase", noisyImage(4095, 2)}, {"depth", noisyImage(5, 3)}});
        QCoreApplication::sendPostedEvents(&dock, QEvent::MetaCall); // first frame: ranged, row 120 plotted
    }
    DataEngine engine{nullptr};
    Kelvra::LineChartDock dock{&engine};
};

// One update per iteration, in row mode or, with a full history, in point mode.
void runUpdates(benchmark::State& state, bool point)
{
    Chart chart;
    if (point) {
        chart.dock.radioSinglePoint->click();
        for (int i = 0; i < 120; ++i)
            (void)chart.dock.updateDataSource();
    }
    for (auto _ : state) {
        auto failure = chart.dock.updateDataSource();
        benchmark::DoNotOptimize(failure);
    }
    state.counters["samples"] = static_cast<double>(chart.dock.curve->yData().size());
}

void BM_ChartRowUpdate(benchmark::State& state)
{
    runUpdates(state, false);
}
BENCHMARK(BM_ChartRowUpdate)->Unit(benchmark::kMicrosecond);

void BM_ChartPointHistoryUpdate(benchmark::State& state)
{
    runUpdates(state, true);
}
BENCHMARK(BM_ChartPointHistoryUpdate)->Unit(benchmark::kMicrosecond);

// Baseline: the row read and the two figures alone.
void BM_RowStatisticsOnly(benchmark::State& state)
{
    const cv::Mat img = noisyImage(1000, 1);
    for (auto _ : state) {
        std::vector<double> values(static_cast<std::size_t>(img.rows));
        for (int x = 0; x < img.rows; ++x)
            values[static_cast<std::size_t>(x)] = img.at<float>(x, 120);
        double sum = 0.0;
        for (double v : values)
            sum += v;
        const double mean = sum / static_cast<double>(values.size());
        double squares = 0.0;
        for (double v : values)
            squares += (v - mean) * (v - mean);
        benchmark::DoNotOptimize(std::sqrt(squares / static_cast<double>(values.size())));
    }
}
BENCHMARK(BM_RowStatisticsOnly)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    return runQtBenchmarks(argc, argv);
}
