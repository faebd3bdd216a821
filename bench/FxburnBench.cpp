// The firmware updater's host-side costs: parsing a boot image, and a whole
// simulated update from the camera (the driver emulation and device models
// included; simulated waits take no real time).

#include "fxburn/BootImage.h"
#include "fxburn/Fxburn.h"
#include "fxburn/port/sim/BootImages.h"
#include "fxburn/port/sim/SimWorld.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using namespace fxburn::port::sim;

void writeFile(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void BM_ParseBootImage(benchmark::State& state)
{
    const Bytes image = makeCameraFirmware(static_cast<std::size_t>(state.range(0)), 0x9108, 1);
    for (auto _ : state) {
        fxburn::BootImage parsed;
        benchmark::DoNotOptimize(fxburn::parseBootImage(image.data(), image.size(), parsed));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ParseBootImage)->Arg(200000)->Arg(4 << 20);

void BM_SimulatedUpdateFromCamera(benchmark::State& state)
{
    const auto dir = std::filesystem::temp_directory_path() / "fxburn-bench";
    std::filesystem::create_directories(dir);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    writeFile("CyBootProgrammer.img", makeProgrammerImage());
    writeFile("fw.img", makeCameraFirmware(static_cast<std::size_t>(state.range(0)), 0x9108, 2));
    const char* argv[] = {"fxburn", "-i", "fw.img"};
    for (auto _ : state) {
        SimWorld world;
        world.addDevice(Identity::Camera);
        std::ostringstream out, err;
        std::istringstream in("\n");
        if (fxburn::runFxburn(3, argv, world.platform(), out, err, in) != 0)
            state.SkipWithError("update failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SimulatedUpdateFromCamera)->Arg(200000)->Arg(2 << 20)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
