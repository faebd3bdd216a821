// tavik-mkstream: writes the sample recording of the simulated camera and the
// crafted test recordings.

#include "Tavik/StreamGenerator.h"
#include "Tavik/Tavik.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <new>
#include <optional>
#include <string>

namespace fs = std::filesystem;
using namespace Tavik;

namespace {

// Bounds of the numbers on the command line. A crafted set of the largest
// size stays within what the reader takes (FrameStream.h).
constexpr int MAX_SETS = 1000000;
constexpr int MAX_PROFILE = 999;
constexpr int MAX_SIDE = 2048;

int usage()
{
    std::cerr << "usage: tavik-mkstream sample <file> [sets] [profile]\n"
                 "       tavik-mkstream crafted <directory> [width height]\n"
                 "       tavik-mkstream <kind> <file>\n"
                 "sets: 0 to "
              << MAX_SETS << " (default 90); profile: one of the first camera's (default 0); width and height: 1 to "
              << MAX_SIDE << "; the folder must exist\n"
              << "kinds:";
    for (auto kind : StreamGenerator::allCrafted()) {
        std::string name = StreamGenerator::craftedFileName(kind);
        std::cerr << ' ' << name.substr(0, name.size() - 5);
    }
    std::cerr << '\n';
    return 2;
}

// A refusal of the command line: its own line, then the usage.
int refuse(const std::string& why)
{
    std::cerr << "tavik-mkstream: " << why << '\n';
    return usage();
}

// A whole number from `low` to `high`, or nothing.
std::optional<int> wholeNumber(const std::string& text, int low, int high)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < low || value > high)
        return std::nullopt;
    return static_cast<int>(value);
}

std::string range(int low, int high)
{
    return "a whole number from " + std::to_string(low) + " to " + std::to_string(high);
}

// 0 when the folder is there (it is never made), else the refusal's code.
int missingFolder(const fs::path& folder)
{
    std::error_code ec;
    return fs::is_directory(folder.empty() ? fs::path(".") : folder, ec) ? 0 : refuse("no folder " + folder.string());
}

// Writes next to the target and renames, so a failed run leaves no partial
// file behind for the build to take as done.
template <class Write> int writeFile(const std::string& path, Write&& write)
{
    const fs::path target(path);
    const fs::path temp = target.string() + ".part";
    std::string error;
    bool written = false;
    try {
        written = write(temp.string(), error);
    } catch (const std::bad_alloc&) {
        error = "out of memory";
    } catch (const std::exception& e) {
        error = e.what();
    }
    std::error_code ec;
    if (written) {
        fs::rename(temp, target, ec);
        error = ec ? ec.message() : std::string();
    }
    if (!written || ec) {
        fs::remove(temp, ec);
        std::cerr << "tavik-mkstream: " << path << ": " << error << '\n';
        return 1;
    }
    return 0;
}

int sample(const std::string& path, int sets, int profile)
{
    CameraSystem system;
    const auto devices = system.scan();
    auto camera = devices.empty() ? DepthCameraPtr() : system.connect(devices.front());
    if (!camera) {
        std::cerr << "tavik-mkstream: no camera\n";
        return 1;
    }
    if (!system.simulation().setCameraProfile(camera, profile))
        return refuse("the first camera has no profile " + std::to_string(profile));
    return writeFile(path, [&](const std::string& file, std::string& error) {
        // Manual delivery: as fast as the scene renders, same frames every time.
        system.simulation().setManualDelivery(camera, true);
        system.simulation().setSeed(camera, 1);
        return recordFromCamera(camera, file, sets, &error);
    });
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return usage();
    const std::string command = argv[1];
    const std::string target = argv[2];
    if (command == "sample") {
        if (argc > 5)
            return refuse("too many arguments");
        const std::optional<int> sets = argc > 3 ? wholeNumber(argv[3], 0, MAX_SETS) : 90;
        if (!sets)
            return refuse("sets must be " + range(0, MAX_SETS) + ", not \"" + argv[3] + "\"");
        const std::optional<int> profile = argc > 4 ? wholeNumber(argv[4], 0, MAX_PROFILE) : 0;
        if (!profile)
            return refuse("profile must be " + range(0, MAX_PROFILE) + ", not \"" + argv[4] + "\"");
        if (const int rc = missingFolder(fs::path(target).parent_path()))
            return rc;
        return sample(target, *sets, *profile);
    }
    if (command == "crafted") {
        if (argc != 3 && argc != 5)
            return refuse("crafted takes a width and a height together, or neither");
        std::optional<int> width = 0, height = 0;
        if (argc == 5) {
            width = wholeNumber(argv[3], 1, MAX_SIDE);
            height = wholeNumber(argv[4], 1, MAX_SIDE);
            if (!width || !height)
                return refuse("width and height must be " + range(1, MAX_SIDE) + ", not \"" + argv[3] + "\" \""
                              + argv[4] + "\"");
        }
        if (const int rc = missingFolder(target))
            return rc;
        int rc = 0;
        for (auto kind : StreamGenerator::allCrafted()) {
            StreamGenerator::Spec spec = StreamGenerator::craftedSpec(kind);
            if (argc == 5) {
                spec.width = *width;
                spec.height = *height;
            }
            rc |= writeFile((fs::path(target) / StreamGenerator::craftedFileName(kind)).string(),
                            [&](const std::string& file, std::string& error) {
                                return StreamGenerator::write(file, spec, &error);
                            });
        }
        return rc;
    }
    for (auto kind : StreamGenerator::allCrafted())
        if (StreamGenerator::craftedFileName(kind) == command + ".tvks") {
            if (argc > 3)
                return refuse("too many arguments");
            if (const int rc = missingFolder(fs::path(target).parent_path()))
                return rc;
            return writeFile(target, [&](const std::string& file, std::string& error) {
                return StreamGenerator::writeCrafted(file, kind, &error);
            });
        }
    return refuse("unknown command " + command);
}
