#pragma once
// Helpers of the firmware updater's tests: a fresh working folder per test,
// image files in it, and runs of the whole program against a simulated world.

#include "fxburn/Fxburn.h"
#include "fxburn/port/sim/BootImages.h"
#include "fxburn/port/sim/SimWorld.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fxburn::test {

using port::sim::Bytes;

// Makes a new folder the current one for the life of the object.
class ScopedWorkDir {
public:
    ScopedWorkDir()
        : previous_(std::filesystem::current_path())
        , path_(makeUniqueDir())
    {
        std::filesystem::current_path(path_);
    }
    ~ScopedWorkDir()
    {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
        std::filesystem::remove_all(path_, ec);
    }
    ScopedWorkDir(const ScopedWorkDir&) = delete;
    ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;

private:
    // mkdtemp: a name no other test process can be given at the same time.
    static std::filesystem::path makeUniqueDir()
    {
        std::string name = (std::filesystem::temp_directory_path() / "fxburn-test-XXXXXX").string();
        if (!::mkdtemp(name.data()))
            throw std::filesystem::filesystem_error("mkdtemp", name, std::error_code(errno, std::generic_category()));
        return name;
    }

    std::filesystem::path previous_;
    std::filesystem::path path_;
};

inline void writeFile(const std::string& name, const Bytes& bytes)
{
    std::ofstream out(name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct FlowRun {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::string inputLeft; // what the program did not read
};

inline FlowRun runFlow(port::Platform platform, const std::vector<std::string>& arguments,
                       const std::string& input = "xy")
{
    std::vector<const char*> argv{"fxburn"};
    for (const auto& a : arguments)
        argv.push_back(a.c_str());
    std::ostringstream out;
    std::ostringstream err;
    std::istringstream in(input);
    FlowRun run;
    run.exitCode = runFxburn(static_cast<int>(argv.size()), argv.data(), platform, out, err, in);
    run.out = out.str();
    run.err = err.str();
    std::ostringstream rest;
    rest << in.rdbuf();
    run.inputLeft = rest.str();
    return run;
}

inline FlowRun runFlow(port::sim::SimWorld& world, const std::vector<std::string>& arguments,
                       const std::string& input = "xy")
{
    return runFlow(world.platform(), arguments, input);
}

// A handle on the device attached in `slot`, straight from the driver.
inline port::Handle openDevice(port::sim::SimWorld& world, std::size_t slot = 0)
{
    std::uint32_t error = 0;
    return world.driver().openPath("sim:" + std::to_string(world.device(slot)->instance), error);
}

inline std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t offset)
{
    return std::uint32_t{b[offset]} | (std::uint32_t{b[offset + 1]} << 8) | (std::uint32_t{b[offset + 2]} << 16)
        | (std::uint32_t{b[offset + 3]} << 24);
}

} // namespace fxburn::test
