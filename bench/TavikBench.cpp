// Cost of the simulated camera: frame sets produced per second on one core
// (rendering, filter chain and delivery to four callbacks), the scene
// renderer beside the pixel-at-a-time reference it replaced, reading a
// recorded stream beside a plain pread of the same bytes, and opening a
// recording without its index, hostile beside plain.

#include "SideBySide.h"

#include "Tavik/StreamGenerator.h"
#include "Tavik/Tavik.h"
#include "tavik/src/SceneModel.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
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

// Opening a recording without its index, which the reader scans. The hostile
// file: 1 GiB, after the header bytes that are no set, then holes with 1024
// false set heads, one every MiB, each claiming a set as long as the limit
// allows (up to 256 MiB) whose frames chain but whose checksum fails. The
// plain file: the same without the false heads. Both are searched byte by
// byte for a set; the false heads add a pass of checksums. For scale, a
// recording the writer made, as large, without its index: its sets are found
// from their heads alone. The files are sparse but the written one.
struct ScanFiles {
    static constexpr uint64_t kSize = 1ull << 30;
    static constexpr int kFalseHeads = 1024;
    std::string hostile, plain, written;

    ScanFiles()
        : hostile(name("hostile"))
        , plain(name("plain"))
        , written(name("written"))
    {
        StreamHeader header;
        header.width = 320;
        header.height = 240;
        {
            FrameStreamWriter empty(plain, header); // its index is 16 bytes, dropped below
        }
        const uint64_t body = std::filesystem::file_size(plain) - 16;
        const auto put = [](std::fstream& f, uint64_t at, const std::vector<uint8_t>& bytes) {
            f.seekp(static_cast<std::streamoff>(at));
            f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        };
        std::filesystem::resize_file(plain, body);
        {
            std::fstream f(plain, std::ios::in | std::ios::out | std::ios::binary);
            put(f, body, {'n', 'o', ' ', 's', 'e', 't', '!', '!'});
        }
        std::filesystem::resize_file(plain, kSize);
        std::filesystem::copy_file(plain, hostile, std::filesystem::copy_options::overwrite_existing);
        std::fstream f(hostile, std::ios::in | std::ios::out | std::ios::binary);
        const uint64_t step = (kSize - body) / kFalseHeads;
        for (int k = 0; k < kFalseHeads; ++k) {
            const uint64_t at = body + 8 + k * step + 7;
            // Three empty frames, then a cloud of 8192 x rows points.
            const uint64_t rows = std::min<uint64_t>((kSize - at - 1000) / (16 * 8192), 2047);
            std::vector<uint8_t> head(8 + 4 * 33, 0);
            const auto u32 = [&](std::size_t i, uint64_t v) {
                for (int b = 0; b < 4; ++b)
                    head[i + b] = static_cast<uint8_t>(v >> (8 * b));
            };
            u32(0, 4 * 33 + 16 * 8192 * rows);
            u32(4, 0x5eedu); // not the checksum
            for (int t = 0; t < FRAME_TYPE_COUNT; ++t)
                head[8 + 33 * t] = static_cast<uint8_t>(t);
            u32(8 + 3 * 33 + 17, 8192);
            u32(8 + 3 * 33 + 21, rows);
            u32(8 + 3 * 33 + 29, 16 * 8192 * rows);
            put(f, at, head);
        }
        FrameStreamWriter writer(written, header);
        const FrameSet set = StreamGenerator::makeFrameSet(320, 240, 1, 33333);
        for (std::vector<uint64_t> at; at.size() < 2 || 2 * at.back() - at[at.size() - 2] < kSize;
             at = writer.setOffsets())
            writer.write(set);
        writer.close();
        std::filesystem::resize_file(written, std::filesystem::file_size(written) - (8 * writer.setsWritten() + 16));
    }
    ~ScanFiles()
    {
        for (const std::string* file : {&hostile, &plain, &written})
            std::filesystem::remove(*file);
    }
    static std::string name(const char* what)
    {
        return (std::filesystem::temp_directory_path()
                / ("tavik-bench-scan-" + std::string(what) + "-" + std::to_string(::getpid()) + ".tvks"))
            .string();
    }
};

const ScanFiles& scanFiles()
{
    static const ScanFiles files;
    return files;
}

void openScanned(benchmark::State& state, const std::string& file)
{
    CameraSystem system;
    for (auto _ : state) {
        FrameStreamReader reader(file, system);
        benchmark::DoNotOptimize(reader.size());
        state.counters["sets"] = reader.size();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * std::filesystem::file_size(file)));
}

void BM_OpenHostileWithoutIndex1GiB(benchmark::State& state)
{
    openScanned(state, scanFiles().hostile);
}
BENCHMARK(BM_OpenHostileWithoutIndex1GiB)->Unit(benchmark::kMillisecond);

void BM_OpenPlainWithoutIndex1GiB(benchmark::State& state)
{
    openScanned(state, scanFiles().plain);
}
BENCHMARK(BM_OpenPlainWithoutIndex1GiB)->Unit(benchmark::kMillisecond);

void BM_OpenWrittenWithoutIndex1GiB(benchmark::State& state)
{
    openScanned(state, scanFiles().written);
}
BENCHMARK(BM_OpenWrittenWithoutIndex1GiB)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runSideBySide(
        argc, argv,
        {{"BM_SceneRender320x240", "BM_SceneRender320x240Reference", "scene render 320x240",
          "the pixel-at-a-time reference"},
         {"BM_ReaderReadNext320x240", "BM_PreadSet320x240", "reader, one 320x240 set", "a pread of the same bytes"},
         {"BM_OpenHostileWithoutIndex1GiB", "BM_OpenPlainWithoutIndex1GiB", "scan of 1 GiB with 1024 false set heads",
          "the same without them"}});
}
