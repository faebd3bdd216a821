// The whole program against simulated devices: the end-to-end update from a
// camera in normal operation, the other starting identities, missing and bad
// files, faulty transfers, vanishing devices, bounded waits and close errors.

#include "FxburnTestSupport.h"
#include "fxburn/Fxburn.h"
#include "fxburn/UsbDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace fxburn {
namespace {

using port::sim::Bytes;
using port::sim::ControlRecord;
using port::sim::FaultAction;
using port::sim::FaultRule;
using port::sim::Identity;
using port::sim::SimFlash;
using port::sim::SimWorld;

constexpr std::size_t IMAGE_SIZE = 200000; // not a whole number of pages
constexpr std::uint16_t NEW_BCD_DEVICE = 0x0201;

const std::string HEAD = "FxDevDeviceSelected! input firmware image name :  fw.img\n";
const std::string PROMPT = "Press enter key to quit!\n";
// From the boot loader found to the flash written.
const std::string FROM_THE_LOADER = "Info : Found FX3 loader \n"
                                    "Info : DownloadFw to FAM result : SUCCESS !\n"
                                    "Info : Open fw.img\n"
                                    "Info : Wait device to load as Flash Programmer !\n"
                                    "Info : Found FX3 Flash Programmer\n"
                                    "Info : Begin to download firmware to SPI FLASH!\n"
                                    "Info : DownloadFw to SPI FLASH result : SUCCESS !\n"
                                    "Info : Firmware had been updated. Please unplug the devcie and re-plug it !\n";
const std::string CAMERA_TRANSCRIPT = HEAD
    + "Info : Found TOF Camera \n"
      "Info : Erase data command is transfer ok \n"
      "Info : Request of enter bootloader mode had been transferred.\n"
    + FROM_THE_LOADER + PROMPT;

// While a device is slow to leave, each wait also finds the identity it is
// leaving: drop those lines (the camera after the boot-loader request, the
// boot loader after the jump).
std::string dropStaleFoundLines(const std::string& text)
{
    std::string out;
    std::string stale;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start + 1);
        start = end + 1;
        if (line == "Info : Request of enter bootloader mode had been transferred.\n")
            stale = "Info : Found TOF Camera \n";
        else if (line.rfind("Info : Open ", 0) == 0)
            stale = "Info : Found FX3 loader \n";
        else if (line != stale && line.rfind("Info : Found", 0) == 0)
            stale.clear();
        if (line != stale)
            out += line;
    }
    return out;
}

class FlowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        firmware = port::sim::makeCameraFirmware(IMAGE_SIZE, 0x9108, NEW_BCD_DEVICE);
        test::writeFile("fw.img", firmware);
        test::writeFile("CyBootProgrammer.img", port::sim::makeProgrammerImage());
    }
    test::FlowRun run(const std::vector<std::string>& args = {"-i", "fw.img"}) { return test::runFlow(world, args); }
    std::vector<ControlRecord> vendor(Identity identity) const
    {
        std::vector<ControlRecord> result;
        for (const auto& r : world.requestsTo(identity))
            if ((r.setup.bmRequestType & 0x60) == 0x40)
                result.push_back(r);
        return result;
    }
    bool flashHoldsTheImage()
    {
        const Bytes& flash = world.board().flash.bytes;
        return std::equal(firmware.begin(), firmware.end(), flash.begin());
    }
    std::size_t pageWrites() const
    {
        const auto requests = vendor(Identity::Programmer);
        return static_cast<std::size_t>(std::count_if(
            requests.begin(), requests.end(), [](const auto& r) { return r.setup.bRequest == VR_SPI_PAGE_WRITE; }));
    }

    test::ScopedWorkDir dir;
    SimWorld world;
    Bytes firmware;
};

TEST_F(FlowTest, UpdateFromTheCameraGoesThroughAllThreeIdentities)
{
    world.addDevice(Identity::Camera);
    const Bytes previousFlash = world.board().flash.bytes;
    const auto result = run();

    // Console.
    EXPECT_EQ(result.out, CAMERA_TRANSCRIPT);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.inputLeft, "y");

    // Camera commands.
    const auto camera = vendor(Identity::Camera);
    ASSERT_EQ(camera.size(), 2u);
    EXPECT_EQ(camera[0].setup.bmRequestType, 0x40);
    EXPECT_EQ(camera[0].setup.bRequest, 0x42);
    EXPECT_EQ(camera[0].setup.wValue, 0x0057);
    EXPECT_EQ(camera[0].setup.wIndex, 3);
    EXPECT_EQ(camera[0].data, (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(camera[0].headerTimeoutSeconds, 1u);
    EXPECT_EQ(camera[1].setup.bmRequestType, 0x40);
    EXPECT_EQ(camera[1].setup.wIndex, 5);
    EXPECT_EQ(camera[1].data, (Bytes{0x6B, 0xD2}));
    EXPECT_EQ(camera[1].headerTimeoutSeconds, 1u);

    // RAM: every record in place, each chunk read back, then the jump.
    for (const auto& record : port::sim::programmerRecords()) {
        Bytes ram(record.data.size());
        world.board().ram.read(record.address, ram.data(), static_cast<std::uint32_t>(ram.size()));
        EXPECT_EQ(ram, record.data);
    }
    const auto loader = vendor(Identity::BootLoader);
    const auto big = std::find_if(loader.begin(), loader.end(),
                                  [](const auto& r) { return !r.setup.isIn() && r.setup.wLength == 2048; });
    ASSERT_GE(loader.end() - big, 4);
    EXPECT_EQ(big->setup.wIndex, 0x4000);
    EXPECT_EQ(big->setup.wValue, 0x3000);
    EXPECT_TRUE((big + 1)->setup.isIn());
    EXPECT_EQ((big + 1)->setup.wLength, 2048);
    EXPECT_EQ((big + 2)->setup.wLength, 352);
    EXPECT_EQ((big + 2)->setup.wValue, 0x3000 + 2048);
    EXPECT_TRUE((big + 3)->setup.isIn());
    EXPECT_EQ((big + 3)->setup.wValue, 0x3000 + 2048);
    const ControlRecord& jump = loader.back();
    EXPECT_FALSE(jump.setup.isIn());
    EXPECT_EQ(jump.setup.wLength, 0);
    EXPECT_EQ(jump.setup.wIndex, 0x4000);
    EXPECT_EQ(jump.setup.wValue, 0x0000);
    EXPECT_EQ(world.requestsTo(Identity::BootLoader).back().timeMs, jump.timeMs);

    // Flash.
    const Bytes& flash = world.board().flash.bytes;
    EXPECT_TRUE(flashHoldsTheImage());
    const std::size_t pagesEnd = (IMAGE_SIZE + 255) / 256 * 256;
    const std::size_t sectors = (IMAGE_SIZE + 65535) / 65536;
    ASSERT_EQ(sectors, 4u);
    EXPECT_TRUE(std::all_of(flash.begin() + IMAGE_SIZE, flash.begin() + sectors * 65536,
                            [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(std::equal(flash.begin() + sectors * 65536, flash.end(), previousFlash.begin() + sectors * 65536));
    const auto programmer = vendor(Identity::Programmer);
    std::vector<int> erased;
    std::size_t firstWrite = programmer.size();
    std::size_t lastErase = 0;
    for (std::size_t i = 0; i < programmer.size(); ++i) {
        const auto& r = programmer[i];
        EXPECT_LE(r.setup.wLength, 2048);
        if (r.setup.bRequest == VR_SPI_SECTOR_ERASE) {
            lastErase = i;
            if (!r.setup.isIn())
                erased.push_back(r.setup.wIndex);
        } else if (r.setup.bRequest == VR_SPI_PAGE_WRITE && firstWrite == programmer.size()) {
            firstWrite = i;
        }
    }
    EXPECT_EQ(erased, (std::vector<int>{0, 1, 2, 3}));
    ASSERT_LT(lastErase, firstWrite); // an erase request, which the next line reads
    EXPECT_EQ(programmer[lastErase].data, Bytes{0}); // polled until done
    int expectedPage = 0;
    for (std::size_t i = firstWrite; i < programmer.size(); ++i) {
        EXPECT_EQ(programmer[i].setup.wIndex, expectedPage);
        expectedPage += 8;
    }
    EXPECT_EQ(static_cast<std::size_t>(expectedPage) * 256, (pagesEnd + 2047) / 2048 * 2048);
    const auto& pageWrites = world.board().flash.pageWrites;
    EXPECT_TRUE(std::all_of(pageWrites.begin(), pageWrites.end(), [](std::uint32_t n) { return n <= 1; }));
    EXPECT_EQ(std::count(pageWrites.begin(), pageWrites.end(), 1u), static_cast<long>(pagesEnd / 256));
    EXPECT_TRUE(world.violations().empty());

    // Replug: the camera comes back with the new firmware.
    world.replug();
    ASSERT_TRUE(world.device());
    EXPECT_EQ(world.device()->identity, Identity::Camera);
    Fx3Device camera2(world.platform());
    EXPECT_EQ(camera2.ProductId, 0x9108);
    EXPECT_EQ(camera2.bcdDevice, NEW_BCD_DEVICE);

    EXPECT_LT(world.nowMs(), 10000u);
    EXPECT_FALSE(world.hangGuardTripped());
}

TEST_F(FlowTest, SlowDetachRepeatsOnlyTheFoundLines)
{
    world.addDevice(Identity::Camera);
    world.board().detachLagMs = 350;
    const auto result = run();
    EXPECT_EQ(dropStaleFoundLines(result.out), CAMERA_TRANSCRIPT);
    EXPECT_NE(result.out, CAMERA_TRANSCRIPT);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(flashHoldsTheImage());
}

TEST_F(FlowTest, StartAsTheBootLoaderSkipsTheCameraCommands)
{
    world.addDevice(Identity::BootLoader);
    const auto result = run();
    EXPECT_EQ(result.out, HEAD + FROM_THE_LOADER + PROMPT);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(flashHoldsTheImage());
    EXPECT_EQ(world.board().eraseDataCommands, 0);
}

TEST_F(FlowTest, StartAsTheProgrammerWritesTheFlashAtOnceWithoutTheProgrammerImage)
{
    std::filesystem::remove("CyBootProgrammer.img");
    world.addDevice(Identity::Programmer);
    const auto result = run();
    EXPECT_EQ(result.out,
              HEAD
                  + "Info : Found FX3 Flash Programmer\n"
                    "Info : Open fw.img\n"
                    "Info : Found FX3 Flash Programmer\n"
                    "Info : Begin to download firmware to SPI FLASH!\n"
                    "Info : DownloadFw to SPI FLASH result : SUCCESS !\n"
                    "Info : Firmware had been updated. Please unplug the devcie and re-plug it !\n"
                  + PROMPT);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(vendor(Identity::BootLoader).empty());
    EXPECT_TRUE(vendor(Identity::Camera).empty());
    EXPECT_TRUE(flashHoldsTheImage());
}

TEST_F(FlowTest, NoDeviceOrOnlyAnUnknownProductIsNoValidDevice)
{
    const auto none = run();
    EXPECT_EQ(none.out, HEAD + "No valid device   !\n" + PROMPT);
    EXPECT_EQ(none.exitCode, 1);

    world.addDevice(Identity::Other, 0x00F4);
    const auto unknown = run();
    EXPECT_EQ(unknown.out, HEAD + "No valid device   !\n" + PROMPT);
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(vendor(Identity::Other).empty());
}

TEST_F(FlowTest, FirstDeviceOfAKnownIdentityWinsAndEitherVendorIdCounts)
{
    world.addDevice(Identity::Other, 0x1234);
    world.addDevice(Identity::Camera);
    world.board(1).vendorId = 0x14B4;
    world.attach(1, Identity::Camera);
    const std::size_t foreign = world.addDevice(Identity::Programmer);
    world.board(foreign).vendorId = 0x1111; // a programmer id under a vendor we do not accept
    world.attach(foreign, Identity::Programmer);
    const auto result = run();
    EXPECT_EQ(result.out.substr(HEAD.size(), 25), "Info : Found TOF Camera \n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(world.board(foreign).flash.sectorErases[0], 0u);
}

TEST_F(FlowTest, NoDeviceObjectReportsOnStandardError)
{
    const auto result = test::runFlow(port::Platform{}, {"-i", "fw.img"});
    EXPECT_EQ(result.out, HEAD + "No valid device!\n" + PROMPT);
    EXPECT_EQ(result.err, "Error :  Failed to create USB Device\n\n");
    EXPECT_EQ(result.exitCode, 1);
}

TEST_F(FlowTest, MissingOrBadProgrammerImageStopsBeforeTheCameraIsTouched)
{
    world.addDevice(Identity::Camera);
    std::filesystem::remove("CyBootProgrammer.img");
    EXPECT_EQ(run().out, HEAD + "Info : Found TOF Camera \n" + "Info : Fail to open CyBootProgrammer.img !\n" + PROMPT);

    test::writeFile("CyBootProgrammer.img", {});
    const auto empty = run();
    EXPECT_EQ(empty.out,
              HEAD + "Info : Found TOF Camera \n"
                  + "Info : DownloadFw to FAM result : INVALID_FILE !\n"
                    "Info : Fail to download firmware to RAM !\n"
                  + PROMPT);
    EXPECT_EQ(empty.exitCode, 1);

    test::writeFile("CyBootProgrammer.img", port::sim::buildBootImage(port::sim::programmerRecords(), 0x40000000, 1));
    const std::string corrupt = "Info : DownloadFw to FAM result : CORRUPT_FIRMWARE_IMAGE_FILE !\n"
                                "Info : Fail to download firmware to RAM !\n";
    EXPECT_EQ(run().out, HEAD + "Info : Found TOF Camera \n" + corrupt + PROMPT);

    // A record outside the FX3's memory, checksum and all in order.
    auto records = port::sim::programmerRecords();
    records.push_back({0x20000000, Bytes(64, 0x11)});
    test::writeFile("CyBootProgrammer.img", port::sim::buildBootImage(records, 0x40000000));
    const auto outside = run();
    EXPECT_EQ(outside.out, HEAD + "Info : Found TOF Camera \n" + corrupt + PROMPT);
    EXPECT_EQ(outside.exitCode, 1);

    // Checksums in order, yet no programmer would ever start: no record, an
    // entry outside the FX3's memory, a record off word alignment.
    auto unaligned = port::sim::programmerRecords();
    unaligned[1].address += 2;
    for (const Bytes& image : {port::sim::buildBootImage({}, 0x40000000),
                               port::sim::buildBootImage(port::sim::programmerRecords(), 0x20000000),
                               port::sim::buildBootImage(unaligned, 0x40000000)}) {
        test::writeFile("CyBootProgrammer.img", image);
        const auto neverStarts = run();
        EXPECT_EQ(neverStarts.out, HEAD + "Info : Found TOF Camera \n" + corrupt + PROMPT);
        EXPECT_EQ(neverStarts.exitCode, 1);
    }

    EXPECT_TRUE(vendor(Identity::Camera).empty());
    ASSERT_TRUE(world.device());
    EXPECT_EQ(world.device()->identity, Identity::Camera);

    SimWorld loaderWorld;
    loaderWorld.addDevice(Identity::BootLoader);
    EXPECT_EQ(test::runFlow(loaderWorld, {"-i", "fw.img"}).out, HEAD + "Info : Found FX3 loader \n" + corrupt + PROMPT);
    for (const auto& r : loaderWorld.controlLog())
        EXPECT_NE(r.setup.bmRequestType, 0x40); // only the probe went out
}

TEST_F(FlowTest, BadFirmwareImageIsRefusedBeforeAnythingChangesFromEveryIdentity)
{
    Bytes noise(300000);
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 11);
    noise[0] = 0x8F;
    Bytes cut = firmware;
    cut.resize(firmware.size() / 2);
    Bytes badSum = firmware;
    badSum[IMAGE_SIZE / 2] ^= 0x01;
    const struct {
        std::string name;
        Bytes bytes;
        std::string result;
    } images[] = {
        {"empty.img", {}, "INVALID_FILE"},
        {"huge.img", port::sim::makeCameraFirmware(17u << 20, 0x9108, NEW_BCD_DEVICE), "INCORRECT_IMAGE_LENGTH"},
        {"noise.img", noise, "INVALID_FWSIGNATURE"},
        {"cut.img", cut, "INCORRECT_IMAGE_LENGTH"},
        {"sum.img", badSum, "CORRUPT_FIRMWARE_IMAGE_FILE"},
    };
    for (const auto& image : images)
        test::writeFile(image.name, image.bytes);

    const std::pair<Identity, std::string> starts[] = {
        {Identity::Camera, "Info : Found TOF Camera \n"},
        {Identity::BootLoader, "Info : Found FX3 loader \n"},
        {Identity::Programmer, "Info : Found FX3 Flash Programmer\n"},
    };
    for (const auto& [identity, found] : starts) {
        for (const auto& image : images) {
            SCOPED_TRACE(std::string(port::sim::identityName(identity)) + ", " + image.name);
            SimWorld fresh;
            fresh.addDevice(identity);
            const Bytes flashBefore = fresh.board().flash.bytes;
            const auto result = test::runFlow(fresh, {"-i", image.name});
            EXPECT_EQ(result.out,
                      "FxDevDeviceSelected! input firmware image name :  " + image.name + "\n" + found
                          + "Info : DownloadFw to SPI FLASH result : " + image.result + " !\n"
                          + "Info : Fail to download firmware to SPI FLASH !\n" + PROMPT);
            EXPECT_EQ(result.exitCode, 1);
            for (const auto& r : fresh.controlLog())
                EXPECT_NE(r.setup.bmRequestType, 0x40); // nothing sent to the device
            ASSERT_TRUE(fresh.device());
            EXPECT_EQ(fresh.device()->identity, identity);
            EXPECT_TRUE(fresh.board().flash.bytes == flashBefore);
        }
    }
}

TEST_F(FlowTest, MissingOrEmptyFirmwareImageStopsBeforeAnythingChanges)
{
    world.addDevice(Identity::Camera);
    EXPECT_EQ(run({"-i", "missing.img"}).out,
              "FxDevDeviceSelected! input firmware image name :  missing.img\n"
              "Info : Found TOF Camera \n"
              "Fail to open missing.img\n"
                  + PROMPT);
    test::writeFile("empty.img", {});
    EXPECT_EQ(run({"-i", "empty.img"}).exitCode, 1);
    EXPECT_TRUE(vendor(Identity::Camera).empty());

    SimWorld loaderWorld;
    loaderWorld.addDevice(Identity::BootLoader);
    const auto loader = test::runFlow(loaderWorld, {"-i", "missing.img"});
    EXPECT_EQ(loader.out,
              "FxDevDeviceSelected! input firmware image name :  missing.img\n"
              "Info : Found FX3 loader \n"
              "Fail to open missing.img\n"
                  + PROMPT);
    EXPECT_FALSE(loaderWorld.board().lastJump);

    SimWorld programmerWorld;
    programmerWorld.addDevice(Identity::Programmer);
    const auto programmer = test::runFlow(programmerWorld, {"-i", "missing.img"});
    EXPECT_EQ(programmer.out,
              "FxDevDeviceSelected! input firmware image name :  missing.img\n"
              "Info : Found FX3 Flash Programmer\n"
              "Fail to open missing.img\n"
                  + PROMPT);
    for (const auto& r : programmerWorld.controlLog())
        EXPECT_EQ(r.setup.bmRequestType & 0x60, 0);
}

TEST_F(FlowTest, ImagesThatAreNotRegularFilesAreRefusedAtOnceWithTheirReason)
{
    world.addDevice(Identity::Camera);
    ASSERT_EQ(::mkfifo("fifo.img", 0600), 0);
    // A writer held open: an open that waits for one fails this test rather
    // than hanging it.
    const int writer = ::open("fifo.img", O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, "socket.img");
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    std::filesystem::create_directory("folder.img");

    for (const std::string name : {"fifo.img", "socket.img", "folder.img", "/dev/null"}) {
        SCOPED_TRACE(name);
        const auto result = run({"-i", name});
        EXPECT_EQ(result.out,
                  "FxDevDeviceSelected! input firmware image name :  " + name
                      + "\nInfo : Found TOF Camera \nFail to open " + name + "\n" + PROMPT);
        EXPECT_EQ(result.err, "Error : " + name + ": not a regular file\n");
        EXPECT_EQ(result.exitCode, 1);
    }
    std::filesystem::remove("CyBootProgrammer.img");
    std::filesystem::rename("fifo.img", "CyBootProgrammer.img");
    const auto programmer = run();
    EXPECT_EQ(programmer.out, HEAD + "Info : Found TOF Camera \nInfo : Fail to open CyBootProgrammer.img !\n" + PROMPT);
    EXPECT_EQ(programmer.err, "Error : CyBootProgrammer.img: not a regular file\n");
    ::close(listener);
    ::close(writer);

    EXPECT_TRUE(vendor(Identity::Camera).empty());
}

TEST_F(FlowTest, EraseDataStallStillSendsTheBootLoaderRequest)
{
    world.addDevice(Identity::Camera);
    FaultRule stall = FaultRule::on(Identity::Camera, 0x42, FaultAction::Stall);
    stall.index = 3;
    world.addFault(stall);
    const auto result = run();
    std::string expected = CAMERA_TRANSCRIPT;
    const std::string ok = "Info : Erase data command is transfer ok \n";
    expected.replace(expected.find(ok), ok.size(), "Info : control transfer fail \n");
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(world.board().enterBootLoaderCommands, 1);
}

TEST_F(FlowTest, TimedOutEraseDataIsAbortedAndTheFlowGoesOn)
{
    world.addDevice(Identity::Camera);
    FaultRule hang = FaultRule::on(Identity::Camera, 0x42, FaultAction::HangUntilAbort);
    hang.index = 3;
    world.addFault(hang);
    const auto result = run();
    EXPECT_NE(result.out.find("Info : control transfer fail \nInfo : Request of enter"), std::string::npos);
    EXPECT_EQ(result.exitCode, 0);
    const auto& log = world.driver().ioctlLog();
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const auto& r) { return r.code == IOCTL_ABORT_PIPE; }), 1);
    EXPECT_TRUE(world.violations().empty());
}

TEST_F(FlowTest, RefusedBootLoaderRequestEndsTheFlow)
{
    world.addDevice(Identity::Camera);
    FaultRule stall = FaultRule::on(Identity::Camera, 0x42, FaultAction::Stall);
    stall.index = 5;
    world.addFault(stall);
    const auto result = run();
    EXPECT_EQ(result.out,
              HEAD + "Info : Found TOF Camera \n" + "Info : Erase data command is transfer ok \n"
                  + "Info : control transfer fail \n " + "Fail to reqest device enter boot loader mode  !\n" + PROMPT);
    EXPECT_EQ(result.exitCode, 1);
}

TEST_F(FlowTest, BootLoaderThatDoesNotAnswerTheProbeGetsNoRamWrite)
{
    world.addDevice(Identity::BootLoader);
    FaultRule probe = FaultRule::on(Identity::BootLoader, VR_RAM_ACCESS, FaultAction::Stall);
    probe.deviceToHost = 1;
    const FaultRule& stalled = world.addFault(probe);
    const auto result = run();
    EXPECT_EQ(result.out, HEAD + "Info : Found FX3 loader \n" + "not on boot loader mode !\n" + PROMPT);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(stalled.fired, 1u);
    const auto loader = vendor(Identity::BootLoader);
    ASSERT_EQ(loader.size(), 1u);
    EXPECT_TRUE(loader[0].setup.isIn());
    EXPECT_EQ(loader[0].setup.bRequest, VR_RAM_ACCESS);
    EXPECT_FALSE(world.board().lastJump);
}

TEST_F(FlowTest, ReadBackCorruptedThreeTimesFailsTheRamDownload)
{
    world.addDevice(Identity::BootLoader);
    FaultRule corrupt = FaultRule::on(Identity::BootLoader, VR_RAM_ACCESS, FaultAction::CorruptXor, 0x80);
    corrupt.deviceToHost = 1;
    corrupt.skip = 2; // the probes
    corrupt.times = 3;
    world.addFault(corrupt);
    const auto result = run();
    EXPECT_EQ(result.out,
              HEAD + "Info : Found FX3 loader \n" + "Info : DownloadFw to FAM result : FAILED !\n"
                  + "Info : Fail to download firmware to RAM !\n" + PROMPT);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_FALSE(world.board().lastJump);
}

TEST_F(FlowTest, FlashFailuresAreReportedWithTheirCodes)
{
    world.addDevice(Identity::Programmer);
    world.addFault(FaultRule::on(Identity::Programmer, VR_SPI_SECTOR_ERASE, FaultAction::Stall));
    const auto erase = run();
    EXPECT_NE(erase.out.find("Info : DownloadFw to SPI FLASH result : SPI_FLASH_ERASE_FAILED !\n"
                             "Info : Fail to download firmware to SPI FLASH !\n"
                             + PROMPT),
              std::string::npos);
    EXPECT_EQ(pageWrites(), 0u);
    EXPECT_EQ(erase.exitCode, 1);

    FaultRule page = FaultRule::on(Identity::Programmer, VR_SPI_PAGE_WRITE, FaultAction::Stall);
    page.skip = 3;
    world.addFault(page);
    const auto write = run();
    EXPECT_NE(write.out.find("result : FAILED !\nInfo : Fail to download firmware to SPI FLASH !\n"),
              std::string::npos);
    EXPECT_EQ(write.exitCode, 1);
}

TEST_F(FlowTest, EraseThatNeverEndsGivesUp)
{
    world.addDevice(Identity::Programmer);
    world.board().erasePolls = -1;
    const auto result = run();
    EXPECT_NE(result.out.find("SPI_FLASH_ERASE_FAILED"), std::string::npos);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_FALSE(world.hangGuardTripped());
}

TEST_F(FlowTest, DeviceVanishingDuringTheFlashWritesFailsTheUpdate)
{
    world.addDevice(Identity::Camera);
    FaultRule vanish = FaultRule::on(Identity::Programmer, VR_SPI_PAGE_WRITE, FaultAction::Vanish);
    vanish.skip = 30;
    world.addFault(vanish);
    const auto result = run();
    EXPECT_NE(result.out.find("Info : DownloadFw to SPI FLASH result : FAILED !\n"), std::string::npos);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(pageWrites(), 31u);
    world.replug();
    ASSERT_TRUE(world.device());
    EXPECT_EQ(world.device()->identity, Identity::BootLoader); // half-written firmware does not boot
}

TEST_F(FlowTest, DeviceVanishingBetweenTwoRequestsEndsTheFlowFromEveryIdentity)
{
    // The last request the device answers before it goes, per start identity.
    FaultRule eraseData = FaultRule::on(Identity::Camera, VR_CAMERA_COMMAND, FaultAction::VanishAfter);
    eraseData.index = CAMERA_CMD_ERASE_DATA;
    FaultRule probe = FaultRule::on(Identity::BootLoader, VR_RAM_ACCESS, FaultAction::VanishAfter);
    probe.deviceToHost = 1;
    FaultRule eraseSector = FaultRule::on(Identity::Programmer, VR_SPI_SECTOR_ERASE, FaultAction::VanishAfter);
    eraseSector.deviceToHost = 0;
    const struct {
        Identity start;
        FaultRule rule;
        std::string lines;
    } cases[] = {
        {Identity::Camera, eraseData,
         "Info : Found TOF Camera \n"
         "Info : Erase data command is transfer ok \n"
         "Info : control transfer fail \n "
         "Fail to reqest device enter boot loader mode  !\n"},
        {Identity::BootLoader, probe,
         "Info : Found FX3 loader \n"
         "Info : DownloadFw to FAM result : FAILED !\n"
         "Info : Fail to download firmware to RAM !\n"},
        {Identity::Programmer, eraseSector,
         "Info : Found FX3 Flash Programmer\n"
         "Info : Open fw.img\n"
         "Info : Found FX3 Flash Programmer\n"
         "Info : Begin to download firmware to SPI FLASH!\n"
         "Info : DownloadFw to SPI FLASH result : SPI_FLASH_ERASE_FAILED !\n"
         "Info : Fail to download firmware to SPI FLASH !\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(port::sim::identityName(c.start));
        SimWorld vanishing;
        vanishing.addDevice(c.start);
        vanishing.addFault(c.rule);
        test::FlowRun result;
        ASSERT_NO_THROW(result = test::runFlow(vanishing, {"-i", "fw.img"}));
        EXPECT_EQ(result.out, HEAD + c.lines + PROMPT);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(vanishing.device(), nullptr);
        EXPECT_LT(vanishing.nowMs(), 1000u); // nothing waited on
        const auto& log = vanishing.driver().ioctlLog();
        EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const auto& r) { return r.code == IOCTL_ABORT_PIPE; }), 0);
        EXPECT_TRUE(vanishing.violations().empty());
    }
}

TEST_F(FlowTest, BootLoaderThatNeverComesGivesUpAfterAMinute)
{
    world.addDevice(Identity::Camera);
    world.board().bootLoaderReturns = false;
    const auto result = run();
    EXPECT_EQ(result.out,
              HEAD + "Info : Found TOF Camera \n" + "Info : Erase data command is transfer ok \n"
                  + "Info : Request of enter bootloader mode had been transferred.\n"
                  + "Fail to reqest device enter boot loader mode  !\n" + PROMPT);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_GE(world.nowMs(), 60000u);
    EXPECT_LT(world.nowMs(), 65000u);
    EXPECT_LT(world.driverCalls(), 5000u); // probes are paced, not a busy loop
}

TEST_F(FlowTest, WrongIdentityAfterTheCommandIsNeverTakenForTheBootLoader)
{
    world.addDevice(Identity::Camera);
    world.board().bootLoaderComesBackAs = Identity::Camera;
    world.board().cameraAnswersRamProbe = true;
    const auto result = run();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find("Fail to reqest device enter boot loader mode  !\n" + PROMPT), std::string::npos);
    for (const auto& r : world.requestsTo(Identity::Camera))
        EXPECT_NE(r.setup.bRequest, VR_RAM_ACCESS);
}

TEST_F(FlowTest, CameraAnsweringTheRamProbeStillWaitsForTheRealBootLoader)
{
    world.addDevice(Identity::Camera);
    world.board().cameraAnswersRamProbe = true;
    world.board().detachLagMs = 300;
    const auto result = run();
    EXPECT_EQ(dropStaleFoundLines(result.out), CAMERA_TRANSCRIPT);
    for (const auto& r : world.requestsTo(Identity::Camera))
        EXPECT_NE(r.setup.bRequest, VR_RAM_ACCESS);
}

TEST_F(FlowTest, ProgrammerThatNeverComesGivesUpAfterThirtyWaits)
{
    world.addDevice(Identity::BootLoader);
    world.board().programmerReturns = false;
    const auto result = run();
    std::string expected =
        HEAD + "Info : Found FX3 loader \n" + "Info : DownloadFw to FAM result : SUCCESS !\n" + "Info : Open fw.img\n";
    for (int i = 0; i < 30; ++i)
        expected += "Info : Wait device to load as Flash Programmer !\n";
    expected += "Info : Fail to download firmware to SPI FLASH !\n" + PROMPT;
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(result.exitCode, 1);
}

TEST_F(FlowTest, FailingCloseAtTheEndIsPrintedAndTheUpdateStillCounts)
{
    world.addDevice(Identity::Camera);
    world.driverFaults.closeFailures = 1;
    world.driverFaults.closeFailsFor = Identity::Programmer;
    const auto result = run();
    std::string expected = CAMERA_TRANSCRIPT;
    expected.insert(expected.find(PROMPT), "Error : Failed to close handle to driver.\n");
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(world.driver().openHandleCount(), 0u); // the destructor closed it
}

TEST_F(FlowTest, FailingCloseWhileLookingForDevicesEndsAtThePrompt)
{
    world.addDevice(Identity::Camera);
    world.driverFaults.closeFailures = -1;
    const auto result = run();
    EXPECT_EQ(result.out,
              HEAD + "Error : Failed to close handle to driver.\n" + "Error : Failed to close handle to driver.\n"
                  + PROMPT);
    EXPECT_EQ(result.err, "Error : Failed to close handle to driver.\n");
    EXPECT_EQ(result.exitCode, 1);
}

TEST_F(FlowTest, PromptReadsOneCharacterAndReturnsAtEndOfInput)
{
    world.addDevice(Identity::Other, 0x4444);
    EXPECT_EQ(test::runFlow(world, {}, "abc").inputLeft, "bc");
    EXPECT_EQ(test::runFlow(world, {}, "").inputLeft, "");
}

TEST(ImageName, CommandLineTakesTheLastImageOption)
{
    auto name = [](std::vector<const char*> args) {
        args.insert(args.begin(), "fxburn");
        return parseImageName(static_cast<int>(args.size()), args.data());
    };
    EXPECT_EQ(name({}), "Myrlen.img");
    EXPECT_EQ(name({"-i"}), "Myrlen.img");
    EXPECT_EQ(name({"-i", "a.img"}), "a.img");
    EXPECT_EQ(name({"--image", "b.img"}), "b.img");
    EXPECT_EQ(name({"-i", "a.img", "--image", "b.img"}), "b.img");
    EXPECT_EQ(name({"--image=c.img"}), "Myrlen.img");
    EXPECT_EQ(name({"-I", "d.img"}), "Myrlen.img");
    EXPECT_EQ(name({"x", "-i", "-i"}), "-i");
    EXPECT_EQ(name({"-i", "e.img", "-i"}), "e.img");
}

TEST(ResultNames, LookupIsBoundsChecked)
{
    EXPECT_STREQ(downloadResultName(SUCCESS), "SUCCESS");
    EXPECT_STREQ(downloadResultName(INVALID_FILE), "INVALID_FILE");
    EXPECT_STREQ(downloadResultName(I2C_EEPROM_UNKNOWN_SIZE), "I2C_EEPROM_UNKNOWN_SIZE");
    EXPECT_STREQ(downloadResultName(-1), "UNKNOWN");
    EXPECT_STREQ(downloadResultName(10), "UNKNOWN");
}

} // namespace
} // namespace fxburn
