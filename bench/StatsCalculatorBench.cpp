// matrixMean + matrixStd over a history of 30 images of 320x240 (target: < 5 ms).
#include "Kelvra/common/StatsCalculator.h"

#include <benchmark/benchmark.h>

namespace {

std::vector<cv::Mat> makeHistory(int count, int type)
{
    cv::RNG rng(1);
    std::vector<cv::Mat> history;
    for (int i = 0; i < count; ++i) {
        cv::Mat m(240, 320, type);
        rng.fill(m, cv::RNG::UNIFORM, 0, 4000);
        history.push_back(m);
    }
    return history;
}

void meanAndStd(benchmark::State& state, int type)
{
    const auto history = makeHistory(30, type);
    for (auto _ : state) {
        auto mean = Kelvra::StatsCalculator::matrixMean(history, 30);
        auto stdev = Kelvra::StatsCalculator::matrixStd(history, 30, *mean);
        benchmark::DoNotOptimize(stdev);
    }
}

void BM_MeanAndStd_30x320x240_32F(benchmark::State& state) { meanAndStd(state, CV_32F); }
void BM_MeanAndStd_30x320x240_16U(benchmark::State& state) { meanAndStd(state, CV_16U); }

} // namespace

BENCHMARK(BM_MeanAndStd_30x320x240_32F)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeanAndStd_30x320x240_16U)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
