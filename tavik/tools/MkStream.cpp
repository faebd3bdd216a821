// tavik-mkstream: writes the sample recording of the simulated camera and the
// crafted test recordings.

#include "Tavik/StreamGenerator.h"
#include "Tavik/Tavik.h"

#include <filesystem>
#include <iostream>
#include <string>

namespace fs = std::filesystem;
using namespace Tavik;

namespace {

int usage()
{
    std::cerr << "usage: tavik-mkstream sample <file> [sets] [profile]\n"
                 "       tavik-mkstream crafted <directory> [width height]\n"
                 "       tavik-mkstream <kind> <file>\n"
                 "kinds:";
    for (auto kind : StreamGenerator::allCrafted()) {
        std::string name = StreamGenerator::craftedFileName(kind);
        std::cerr << ' ' << name.substr(0, name.size() - 5);
    }
    std::cerr << '\n';
    return 2;
}

// Writes next to the target and renames, so a failed run leaves no partial
// file behind for the build to take as done.
template <class Write> int writeFile(const std::string& path, Write&& write)
{
    const fs::path target(path);
    std::error_code ec;
    if (target.has_parent_path())
        fs::create_directories(target.parent_path(), ec);
    const fs::path temp = target.string() + ".part";
    std::string error;
    if (!write(temp.string(), error)) {
        fs::remove(temp, ec);
        std::cerr << "tavik-mkstream: " << path << ": " << error << '\n';
        return 1;
    }
    fs::rename(temp, target, ec);
    if (ec) {
        std::cerr << "tavik-mkstream: " << path << ": " << ec.message() << '\n';
        return 1;
    }
    return 0;
}

int sample(const std::string& path, int sets, int profile)
{
    return writeFile(path, [&](const std::string& file, std::string& error) {
        CameraSystem system;
        auto camera = system.connect(system.scan().at(0));
        if (!camera) {
            error = "no camera";
            return false;
        }
        // Manual delivery: as fast as the scene renders, same frames every time.
        system.simulation().setManualDelivery(camera, true);
        system.simulation().setSeed(camera, 1);
        if (!system.simulation().setCameraProfile(camera, profile)) {
            error = "no profile " + std::to_string(profile);
            return false;
        }
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
    try {
        if (command == "sample") {
            const int sets = argc > 3 ? std::stoi(argv[3]) : 90;
            const int profile = argc > 4 ? std::stoi(argv[4]) : 0;
            return sets >= 0 ? sample(target, sets, profile) : usage();
        }
        if (command == "crafted") {
            int rc = 0;
            for (auto kind : StreamGenerator::allCrafted()) {
                StreamGenerator::Spec spec = StreamGenerator::craftedSpec(kind);
                if (argc > 4) {
                    spec.width = std::stoi(argv[3]);
                    spec.height = std::stoi(argv[4]);
                }
                rc |= writeFile((fs::path(target) / StreamGenerator::craftedFileName(kind)).string(),
                                [&](const std::string& file, std::string& error) {
                                    return StreamGenerator::write(file, spec, &error);
                                });
            }
            return rc;
        }
        for (auto kind : StreamGenerator::allCrafted())
            if (StreamGenerator::craftedFileName(kind) == command + ".tvks")
                return writeFile(target, [&](const std::string& file, std::string& error) {
                    return StreamGenerator::writeCrafted(file, kind, &error);
                });
    } catch (const std::exception& e) {
        std::cerr << "tavik-mkstream: " << e.what() << '\n';
        return 1;
    }
    return usage();
}
