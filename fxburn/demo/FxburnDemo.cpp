// fxburn-demo: runs the firmware updater's whole flow against a simulated
// device, so the update can be watched in a terminal. It writes a stand-in
// flash programmer and a firmware image into a work folder unless given, runs
// the same program as fxburn there, and then reports what the device saw.

#include "fxburn/BootImage.h"
#include "fxburn/Fxburn.h"
#include "fxburn/port/sim/BootImages.h"
#include "fxburn/port/sim/SimWorld.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace fxburn::port;
using namespace fxburn::port::sim;

namespace {

const char* const USAGE = "usage: fxburn-demo [--start camera|bootloader|programmer|unknown|none]\n"
                          "                   [--firmware FILE] [--programmer FILE] [--size BYTES]\n"
                          "                   [-i NAME | --image NAME] [--dir DIR] [--fault NAME] [--pace FACTOR]\n"
                          "  --start       the identity the simulated device is in at start (camera)\n"
                          "  --firmware    firmware image to write (default: a generated one of --size bytes)\n"
                          "  --programmer  flash-programmer image (default: a generated stand-in)\n"
                          "  -i, --image   the image name handed to the updater (default: fw.img)\n"
                          "  --dir         work folder, kept (default: a new one in the temporary folder,\n"
                          "                removed at the end)\n"
                          "  --fault       erase-data-stall, enter-stall, readback-corrupt, erase-stall,\n"
                          "                erase-never-done, page-write-stall, vanish, no-boot-loader,\n"
                          "                no-programmer, timeout, close-fails\n"
                          "  --pace        real milliseconds per simulated millisecond of waiting (0)\n";

// The simulated clock, with its waits also taken in real time at some pace.
class PacedClock : public Clock {
public:
    PacedClock(SimWorld& world, double pace)
        : world_(world)
        , pace_(pace)
    {
    }
    std::uint64_t nowMs() override { return world_.nowMs(); }
    void sleepMs(std::uint32_t ms) override
    {
        if (pace_ > 0)
            std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms * pace_));
        world_.sleepMs(ms);
    }

private:
    SimWorld& world_;
    double pace_;
};

// A whole number of bytes, no larger than any image the updater reads.
bool parseSize(const std::string& text, std::size_t& size)
{
    if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
    if (value > fxburn::MAX_IMAGE_FILE_SIZE)
        return false;
    size = static_cast<std::size_t>(value);
    return true;
}

// A finite factor of 0 or more.
bool parsePace(const std::string& text, double& pace)
{
    char* end = nullptr;
    pace = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && std::isfinite(pace) && pace >= 0;
}

// The image is in the flash only when this run wrote every page of it.
bool imageWritten(const SimFlash& flash, const Bytes& firmware)
{
    if (firmware.empty() || firmware.size() > flash.size())
        return false;
    const std::size_t pages = (firmware.size() + SimFlash::PAGE - 1) / SimFlash::PAGE;
    return std::all_of(flash.pageWrites.begin(), flash.pageWrites.begin() + static_cast<std::ptrdiff_t>(pages),
                       [](std::uint32_t writes) { return writes > 0; })
        && std::equal(firmware.begin(), firmware.end(), flash.bytes.begin());
}

bool writeFile(const fs::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

enum class FileRead { Read, Unreadable, NotRegular, TooLarge };

// Opens as fxburn opens (nothing but a regular file, no open that waits) and
// reads no further than the largest image fxburn reads, so that a larger file
// is refused as fxburn refuses it.
FileRead readFile(const fs::path& path, Bytes& bytes)
{
    std::string why;
    std::FILE* file = fxburn::openImageFile(path.string(), &why);
    if (!file)
        return why.empty() ? FileRead::Unreadable : FileRead::NotRegular;
    bytes.clear();
    char buffer[64 * 1024];
    std::size_t n = 0;
    while (bytes.size() <= fxburn::MAX_IMAGE_FILE_SIZE && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return FileRead::Unreadable;
    return bytes.size() > fxburn::MAX_IMAGE_FILE_SIZE ? FileRead::TooLarge : FileRead::Read;
}

// Reads the image given with `option` into `bytes`; false, said why, when it
// cannot.
bool readImageOption(const std::string& option, const std::string& file, Bytes& bytes)
{
    switch (readFile(file, bytes)) {
    case FileRead::Read: return true;
    case FileRead::Unreadable: std::cerr << "fxburn-demo: cannot read " << file << "\n"; return false;
    case FileRead::NotRegular:
        std::cerr << "fxburn-demo: " << file << " (" << option << ") is not a regular file\n";
        return false;
    case FileRead::TooLarge:
        std::cerr << "fxburn-demo: " << file << " (" << option << ") holds more than " << fxburn::MAX_IMAGE_FILE_SIZE
                  << " bytes, the most fxburn reads\n";
        return false;
    }
    return false;
}

bool addFault(SimWorld& world, const std::string& name)
{
    SimBoard& board = world.board();
    if (name == "erase-data-stall")
        world.addFault(FaultRule::on(Identity::Camera, 0x42, FaultAction::Stall)).index = 3;
    else if (name == "enter-stall")
        world.addFault(FaultRule::on(Identity::Camera, 0x42, FaultAction::Stall)).index = 5;
    else if (name == "readback-corrupt") {
        FaultRule& rule = world.addFault(FaultRule::on(Identity::BootLoader, 0xA0, FaultAction::CorruptXor, 0x55));
        rule.deviceToHost = 1;
        rule.skip = 2; // the probe and the first read-back pass
        rule.times = 3;
    } else if (name == "erase-stall")
        world.addFault(FaultRule::on(Identity::Programmer, 0xC4, FaultAction::Stall));
    else if (name == "erase-never-done")
        board.erasePolls = -1;
    else if (name == "page-write-stall")
        world.addFault(FaultRule::on(Identity::Programmer, 0xC2, FaultAction::Stall)).skip = 10;
    else if (name == "vanish")
        world.addFault(FaultRule::on(Identity::Programmer, 0xC2, FaultAction::Vanish)).skip = 20;
    else if (name == "no-boot-loader")
        board.bootLoaderReturns = false;
    else if (name == "no-programmer")
        board.programmerReturns = false;
    else if (name == "timeout")
        world.addFault(FaultRule::on(Identity::Camera, 0x42, FaultAction::HangUntilAbort)).index = 3;
    else if (name == "close-fails") {
        world.driverFaults.closeFailures = 1;
        world.driverFaults.closeFailsFor = Identity::Programmer;
    } else
        return false;
    return true;
}

std::string hex(unsigned value, int width = 4)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", width, value);
    return text;
}

void report(SimWorld& world, const Bytes& firmware)
{
    SimBoard& board = world.board();
    std::cout << "[demo] camera commands: erase data " << board.eraseDataCommands << ", enter boot loader "
              << board.enterBootLoaderCommands << "\n";
    int ramWrites = 0;
    for (const auto& r : world.requestsTo(Identity::BootLoader))
        if (r.setup.bRequest == 0xA0 && !r.setup.isIn() && r.setup.wLength > 0)
            ++ramWrites;
    std::cout << "[demo] RAM writes: " << ramWrites;
    if (board.lastJump)
        std::cout << ", started at " << hex(*board.lastJump, 8);
    std::cout << "\n";
    int erases = 0, pages = 0;
    for (const auto& r : world.requestsTo(Identity::Programmer)) {
        erases += r.setup.bRequest == 0xC4 && !r.setup.isIn();
        pages += r.setup.bRequest == 0xC2;
    }
    std::cout << "[demo] flash: " << erases << " sector erases, " << pages
              << " page writes; image in flash: " << (imageWritten(board.flash, firmware) ? "yes" : "no") << "\n";
    world.replug();
    SimDevice* device = world.device();
    std::cout << "[demo] after unplugging and plugging in again: " << identityName(device->identity) << " (PID "
              << hex(device->productId);
    if (device->identity == Identity::Camera)
        std::cout << ", bcdDevice " << hex(board.bcdDevice);
    std::cout << ")\n";
    std::cout << "[demo] simulated time " << world.nowMs() / 1000.0 << " s, " << world.driverCalls()
              << " driver calls, " << world.violations().size() << " driver misuses\n";
    for (const auto& v : world.violations())
        std::cout << "[demo]   " << v << "\n";
}

} // namespace

int main(int argc, char** argv)
{
    std::map<std::string, std::string> options{{"--start", "camera"}, {"--size", "200000"}, {"--pace", "0"}};
    std::string imageName = "fw.img";
    std::vector<std::string> faults;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            std::cout << USAGE;
            return 0;
        }
        if (i + 1 >= argc) {
            std::cerr << "fxburn-demo: " << a << " needs a value\n" << USAGE;
            return 2;
        }
        const std::string value = argv[++i];
        if (a == "-i" || a == "--image")
            imageName = value;
        else if (a == "--fault")
            faults.push_back(value);
        else if (a == "--start" || a == "--firmware" || a == "--programmer" || a == "--dir" || a == "--size"
                 || a == "--pace")
            options[a] = value;
        else {
            std::cerr << "fxburn-demo: unknown option " << a << "\n" << USAGE;
            return 2;
        }
    }

    const std::map<std::string, Identity> starts{{"camera", Identity::Camera},
                                                 {"bootloader", Identity::BootLoader},
                                                 {"programmer", Identity::Programmer},
                                                 {"unknown", Identity::Other}};
    const std::string& start = options["--start"];
    if (start != "none" && !starts.count(start)) {
        std::cerr << "fxburn-demo: unknown --start " << start << "\n" << USAGE;
        return 2;
    }
    std::size_t size = 0;
    if (!parseSize(options["--size"], size)) {
        std::cerr << "fxburn-demo: --size takes a whole number of bytes up to " << fxburn::MAX_IMAGE_FILE_SIZE
                  << ", not " << options["--size"] << "\n"
                  << USAGE;
        return 2;
    }
    double pace = 0;
    if (!parsePace(options["--pace"], pace)) {
        std::cerr << "fxburn-demo: --pace takes a number of 0 or more, not " << options["--pace"] << "\n" << USAGE;
        return 2;
    }

    const bool ownFolder = !options.count("--dir");
    fs::path dir = !ownFolder ? fs::path(options["--dir"])
                              : fs::temp_directory_path()
            / ("fxburn-demo-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::error_code ec;
    fs::create_directories(dir, ec);
    Bytes programmer = makeProgrammerImage();
    if (options.count("--programmer") && !readImageOption("--programmer", options["--programmer"], programmer))
        return 2;
    Bytes firmware = makeCameraFirmware(size, SIM_PID_CAMERA, 0x0201);
    if (options.count("--firmware") && !readImageOption("--firmware", options["--firmware"], firmware))
        return 2;
    if (!writeFile(dir / "CyBootProgrammer.img", programmer) || !writeFile(dir / "fw.img", firmware)) {
        std::cerr << "fxburn-demo: cannot write into " << dir.string() << "\n";
        return 2;
    }
    fs::current_path(dir, ec);

    SimWorld world;
    if (start != "none")
        world.addDevice(starts.at(start));
    else
        world.addDevice(Identity::Other), world.detach(0);
    for (const auto& fault : faults)
        if (!addFault(world, fault)) {
            std::cerr << "fxburn-demo: unknown --fault " << fault << "\n" << USAGE;
            return 2;
        }
    PacedClock clock(world, pace);

    std::cout << "[demo] work folder " << dir.string() << ": CyBootProgrammer.img (" << programmer.size()
              << " bytes), fw.img (" << firmware.size() << " bytes)\n";
    if (SimDevice* device = world.device())
        std::cout << "[demo] simulated device attached: " << identityName(device->identity) << " (VID "
                  << hex(world.board().vendorId) << ", PID " << hex(device->productId) << ")\n";
    else
        std::cout << "[demo] no simulated device attached\n";
    std::cout << "[demo] running: fxburn -i " << imageName << "\n" << std::flush;

    const std::string programName = "fxburn";
    const char* args[] = {programName.c_str(), "-i", imageName.c_str()};
    int result = 1;
    try {
        result = fxburn::runFxburn(3, args, Platform{&world.driver(), &clock}, std::cout, std::cerr, std::cin);
    } catch (const SimHang& hang) {
        std::cout << "[demo] the simulation stopped a hang: " << hang.what() << "\n";
    }
    std::cout << "[demo] fxburn exit code " << result << "\n";
    if (start != "none")
        report(world, firmware);
    if (ownFolder) {
        fs::current_path(fs::temp_directory_path(), ec);
        fs::remove_all(dir, ec);
    }
    return result;
}
