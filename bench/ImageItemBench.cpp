// ImageItem::setImage plus rendering through a 256-entry table, 320 x 240.

#include "platform/plot/ImageItem.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace {

cv::Mat noisyFrame()
{
    cv::Mat img(320, 240, CV_32F); // [x][y]
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> value(0.0f, 1200.0f);
    for (int x = 0; x < img.rows; ++x)
        for (int y = 0; y < img.cols; ++y)
            img.at<float>(x, y) = value(rng);
    return img;
}

QVector<QRgb> hueTable()
{
    QVector<QRgb> lut(256);
    for (int i = 0; i < 256; ++i)
        lut[i] = QColor::fromHsv(i * 300 / 255, 255, 255).rgb();
    return lut;
}

void BM_SetImageAndRender(benchmark::State& state)
{
    const cv::Mat frame = noisyFrame();
    Plot::ImageItem item;
    item.setLookupTable(hueTable());
    for (auto _ : state) {
        item.setImage(frame, {100.0, 1000.0});
        benchmark::DoNotOptimize(item.renderedImage().constBits());
    }
}
BENCHMARK(BM_SetImageAndRender)->Unit(benchmark::kMicrosecond);

void BM_RenderOnly(benchmark::State& state)
{
    const cv::Mat frame = noisyFrame();
    const QVector<QRgb> lut = hueTable();
    QImage out;
    for (auto _ : state) {
        Plot::ImageItem::render(frame, {100.0, 1000.0}, lut, out);
        benchmark::DoNotOptimize(out.constBits());
    }
}
BENCHMARK(BM_RenderOnly)->Unit(benchmark::kMicrosecond);

// The same with the image written just before by another thread and the
// caches emptied, as in the viewer, where the hand-off thread makes the image.
void BM_RenderOnlyCold(benchmark::State& state)
{
    const cv::Mat frame = noisyFrame();
    cv::Mat image = frame.clone();
    const QVector<QRgb> lut = hueTable();
    QImage out;
    std::vector<char> evicting(64u << 20);
    for (auto _ : state) {
        state.PauseTiming();
        std::memset(evicting.data(), static_cast<int>(state.iterations() & 0xff), evicting.size());
        std::thread([&] { frame.copyTo(image); }).join();
        benchmark::ClobberMemory();
        state.ResumeTiming();
        Plot::ImageItem::render(image, {100.0, 1000.0}, lut, out);
        benchmark::DoNotOptimize(out.constBits());
    }
}
BENCHMARK(BM_RenderOnlyCold)->Unit(benchmark::kMicrosecond);

void BM_Histogram100(benchmark::State& state)
{
    Plot::ImageItem item;
    item.setImage(noisyFrame());
    for (auto _ : state)
        benchmark::DoNotOptimize(item.getHistogram(100));
}
BENCHMARK(BM_Histogram100)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
