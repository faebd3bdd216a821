// The boot image parser, the vendor requests and the three downloads against
// the simulated boot loader and flash programmer.

#include "FxburnTestSupport.h"
#include "fxburn/BootImage.h"
#include "fxburn/Fx3Device.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fxburn {
namespace {

using port::sim::BootRecord;
using port::sim::buildBootImage;
using port::sim::Bytes;
using port::sim::ControlRecord;
using port::sim::FaultAction;
using port::sim::FaultRule;
using port::sim::Identity;
using port::sim::SimFlash;
using port::sim::SimWorld;

Bytes words(std::uint32_t count, std::uint8_t seed = 1)
{
    Bytes b(count * 4);
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<std::uint8_t>(seed + i * 13);
    return b;
}

void put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

DownloadResult parse(const Bytes& image, BootImage* out = nullptr)
{
    BootImage parsed;
    const DownloadResult r = parseBootImage(image.data(), image.size(), parsed);
    if (out)
        *out = parsed;
    return r;
}

TEST(BootImage, SplitsRecordsIntoChunksOfAtMost2048Bytes)
{
    const Bytes image = buildBootImage({{0x40000000, words(16)}, {0x40003000, words(600)}}, 0x40000000);
    BootImage parsed;
    ASSERT_EQ(parse(image, &parsed), SUCCESS);
    ASSERT_EQ(parsed.chunks.size(), 3u);
    EXPECT_EQ(parsed.chunks[0].length, 64u);
    EXPECT_EQ(parsed.chunks[1].address, 0x40003000u);
    EXPECT_EQ(parsed.chunks[1].length, 2048u);
    EXPECT_EQ(parsed.chunks[2].address, 0x40003000u + 2048u);
    EXPECT_EQ(parsed.chunks[2].length, 352u);
    EXPECT_EQ(parsed.chunks[2].offset, parsed.chunks[1].offset + 2048u);
    EXPECT_EQ(parsed.entry, 0x40000000u);
}

TEST(BootImage, SignatureMustBeUpperCaseCYAndPresent)
{
    const Bytes valid = buildBootImage({{0, words(1)}}, 0);
    ASSERT_EQ(parse(valid), SUCCESS);
    // Either letter wrong, the other right, before a valid body.
    for (const std::string signature : {"cy", "Cy", "CX", "cY", "XY"}) {
        Bytes image = valid;
        image[0] = static_cast<std::uint8_t>(signature[0]);
        image[1] = static_cast<std::uint8_t>(signature[1]);
        EXPECT_EQ(parse(image), INVALID_FWSIGNATURE) << signature;
        EXPECT_EQ(checkFlashImage(image.data(), image.size()), INVALID_FWSIGNATURE) << signature;
    }
    EXPECT_EQ(parse(Bytes{'C'}), INVALID_FWSIGNATURE);
    EXPECT_EQ(parse(Bytes{}), INVALID_FWSIGNATURE);
}

TEST(BootImage, FieldsRunningPastTheEndAreIncorrectLength)
{
    EXPECT_EQ(parse(Bytes{'C', 'Y', 0x1C, 0xB0}), INCORRECT_IMAGE_LENGTH);
    Bytes noAddress{'C', 'Y', 0, 0};
    put32(noAddress, 1);
    EXPECT_EQ(parse(noAddress), INCORRECT_IMAGE_LENGTH);
    const Bytes whole = buildBootImage({{0, words(4)}}, 0x100);
    EXPECT_EQ(parse(Bytes(whole.begin(), whole.end() - 8)), INCORRECT_IMAGE_LENGTH); // no entry
    EXPECT_EQ(parse(Bytes(whole.begin(), whole.end() - 4)), INCORRECT_IMAGE_LENGTH); // no checksum
    EXPECT_EQ(parse(whole), SUCCESS);
}

TEST(BootImage, RecordLongerThanAShortFileIsCorrupt)
{
    Bytes image{'C', 'Y', 0, 0};
    put32(image, 100); // 400 bytes of data in a file of 50
    put32(image, 0x40000000);
    image.resize(50, 0);
    EXPECT_EQ(parse(image), CORRUPT_FIRMWARE_IMAGE_FILE);
}

TEST(BootImage, LastRecordRunningPastTheEndOfALongFileIsIncorrectLength)
{
    Bytes image = buildBootImage({{0x40000000, words(1000)}}, 0x40000000);
    image.resize(image.size() - 12 - 100); // cut into the record
    EXPECT_EQ(parse(image), INCORRECT_IMAGE_LENGTH);
}

TEST(BootImage, HugeWordCountsNoLongerWrapAndAreRefused)
{
    for (std::uint32_t count : {0x40000000u, 0x20000000u, 0x40000001u, 0xFFFFFFFFu}) {
        Bytes shortImage{'C', 'Y', 0, 0};
        put32(shortImage, count);
        put32(shortImage, 0);
        put32(shortImage, 0);
        put32(shortImage, 0);
        EXPECT_EQ(parse(shortImage), CORRUPT_FIRMWARE_IMAGE_FILE) << count;
        Bytes longImage = shortImage;
        longImage.resize(4096, 0);
        EXPECT_EQ(parse(longImage), INCORRECT_IMAGE_LENGTH) << count;
    }
}

TEST(BootImage, ChecksumOverAllRecordDataMustMatch)
{
    const std::vector<BootRecord> records{{0, words(3, 7)}, {0x100, words(5, 9)}};
    EXPECT_EQ(parse(buildBootImage(records, 0)), SUCCESS);
    EXPECT_EQ(parse(buildBootImage(records, 0, 1)), CORRUPT_FIRMWARE_IMAGE_FILE);
    // Nothing after the checksum word is read.
    Bytes padded = buildBootImage(records, 0);
    padded.insert(padded.end(), 100, 0xAB);
    EXPECT_EQ(parse(padded), SUCCESS);
}

TEST(FlashImage, IsCheckedWholeWithEveryFieldPastTheEndIncorrectLength)
{
    const Bytes firmware = port::sim::makeCameraFirmware(5000, 0x9108, 0x0201);
    auto check = [](const Bytes& image) { return checkFlashImage(image.data(), image.size()); };
    EXPECT_EQ(check(firmware), SUCCESS);
    Bytes anyTypeAndControl = firmware;
    anyTypeAndControl[2] = 0xFF;
    anyTypeAndControl[3] = 0x00;
    EXPECT_EQ(check(anyTypeAndControl), SUCCESS);
    Bytes trailing = firmware;
    trailing.insert(trailing.end(), 1000, 0x5A); // nothing after the checksum word is read
    EXPECT_EQ(check(trailing), SUCCESS);

    Bytes noise(4096);
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 13);
    noise[0] = 0x8F;
    EXPECT_EQ(check(noise), INVALID_FWSIGNATURE);

    // A record longer than a short file: past the end, as every other field.
    Bytes shortFile{'C', 'Y', 0, 0};
    put32(shortFile, 100);
    put32(shortFile, 0x40000000);
    shortFile.resize(50, 0);
    EXPECT_EQ(check(shortFile), INCORRECT_IMAGE_LENGTH);
    const Bytes whole = buildBootImage({{0x40000000, words(16)}}, 0x40000000);
    for (std::size_t cut : {12u + 40u, 12u, 8u, 4u, 1u}) // record, terminator, entry, checksum
        EXPECT_EQ(check(Bytes(whole.begin(), whole.end() - static_cast<std::ptrdiff_t>(cut))), INCORRECT_IMAGE_LENGTH)
            << cut;
    EXPECT_EQ(check(buildBootImage({{0x40000000, words(16)}}, 0x40000000, 1)), CORRUPT_FIRMWARE_IMAGE_FILE);

    Bytes full = firmware;
    full.resize(SPI_MAX_IMAGE_SIZE, 0xFF);
    EXPECT_EQ(check(full), SUCCESS);
    full.push_back(0xFF);
    EXPECT_EQ(check(full), INCORRECT_IMAGE_LENGTH);
}

TEST(ProgrammerImage, RecordsMustLieWithinTheFx3Memory)
{
    auto check = [](std::uint32_t address, std::uint32_t wordCount) {
        const Bytes image = buildBootImage({{0x40000000, words(16)}, {address, words(wordCount)}}, 0x40000000);
        return checkProgrammerImage(image.data(), image.size());
    };
    const Bytes simulated = port::sim::makeProgrammerImage(); // with a data-memory record
    EXPECT_EQ(checkProgrammerImage(simulated.data(), simulated.size()), SUCCESS);
    EXPECT_EQ(check(0x00000000, 0x1000), SUCCESS); // all of the instruction memory
    EXPECT_EQ(check(0x10001FFC, 1), SUCCESS); // the last word of the data memory
    EXPECT_EQ(check(0x4007F000, 0x400), SUCCESS); // up to the end of the system memory
    EXPECT_EQ(check(0x00003FFC, 2), CORRUPT_FIRMWARE_IMAGE_FILE);
    EXPECT_EQ(check(0x10002000, 1), CORRUPT_FIRMWARE_IMAGE_FILE);
    EXPECT_EQ(check(0x4007F000, 0x401), CORRUPT_FIRMWARE_IMAGE_FILE); // its last chunk runs out
    EXPECT_EQ(check(0x20000000, 1), CORRUPT_FIRMWARE_IMAGE_FILE);
    EXPECT_EQ(check(0xFFFFFFFC, 2), CORRUPT_FIRMWARE_IMAGE_FILE);
    // The parse's own codes come first.
    const Bytes cut(simulated.begin(), simulated.end() - 4);
    EXPECT_EQ(checkProgrammerImage(cut.data(), cut.size()), INCORRECT_IMAGE_LENGTH);
}

TEST(ProgrammerImage, OneThatCouldNeverStartIsCorrupt)
{
    auto check = [](const std::vector<BootRecord>& records, std::uint32_t entry) {
        const Bytes image = buildBootImage(records, entry);
        return checkProgrammerImage(image.data(), image.size());
    };
    EXPECT_EQ(check({}, 0x40000000), CORRUPT_FIRMWARE_IMAGE_FILE);
    const std::vector<BootRecord> code{{0x40000000, words(16)}};
    EXPECT_EQ(check(code, 0x00000000), SUCCESS);
    EXPECT_EQ(check(code, 0x4007FFFC), SUCCESS);
    EXPECT_EQ(check(code, 0x40080000), CORRUPT_FIRMWARE_IMAGE_FILE);
    EXPECT_EQ(check(code, 0x20000000), CORRUPT_FIRMWARE_IMAGE_FILE);
    for (std::uint32_t offset : {1u, 2u, 3u})
        EXPECT_EQ(check({{0x40000000 + offset, words(16)}}, 0x40000000), CORRUPT_FIRMWARE_IMAGE_FILE) << offset;
}

TEST(ImageFile, MissingEmptyOrTooLargeFilesAreInvalid)
{
    test::ScopedWorkDir dir;
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(readImageFile("missing.img", bytes, 100), INVALID_FILE);
    test::writeFile("empty.img", {});
    EXPECT_EQ(readImageFile("empty.img", bytes, 100), INVALID_FILE);
    test::writeFile("big.img", Bytes(101, 1));
    EXPECT_EQ(readImageFile("big.img", bytes, 100), INVALID_FILE);
    EXPECT_TRUE(bytes.empty());
    test::writeFile("ok.img", Bytes{1, 2, 3});
    EXPECT_EQ(readImageFile("ok.img", bytes, 100), SUCCESS);
    EXPECT_EQ(bytes, (Bytes{1, 2, 3}));
}

// A device object open on one simulated identity.
class DownloadTest : public ::testing::Test {
protected:
    Fx3Device& on(Identity identity)
    {
        world.addDevice(identity);
        device = std::make_unique<Fx3Device>(world.platform());
        EXPECT_TRUE(device->isOpen());
        return *device;
    }
    std::vector<ControlRecord> vendorRequests(std::uint8_t request) const
    {
        std::vector<ControlRecord> result;
        for (const auto& r : world.controlLog())
            if (r.setup.bRequest == request && (r.setup.bmRequestType & 0x60) == 0x40)
                result.push_back(r);
        return result;
    }
    std::size_t vendorRequestCount() const
    {
        return static_cast<std::size_t>(
            std::count_if(world.controlLog().begin(), world.controlLog().end(),
                          [](const auto& r) { return (r.setup.bmRequestType & 0x60) == 0x40; }));
    }

    SimWorld world;
    std::unique_ptr<Fx3Device> device;
};

TEST_F(DownloadTest, VendorRequestSplitsAt65535WithTheSameValueAndIndex)
{
    Fx3Device& d = on(Identity::BootLoader);
    Bytes data(65536, 0x5A);
    ASSERT_TRUE(d.VendorRequest(data.data(), VR_RAM_ACCESS, 0x40000000, 65536, false));
    auto writes = vendorRequests(VR_RAM_ACCESS);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].setup.wLength, 65535);
    EXPECT_EQ(writes[1].setup.wLength, 1);
    for (const auto& w : writes) {
        EXPECT_EQ(w.setup.bmRequestType, 0x40);
        EXPECT_EQ(w.setup.wValue, 0x0000);
        EXPECT_EQ(w.setup.wIndex, 0x4000);
    }
    Bytes back(65536, 0);
    ASSERT_TRUE(d.VendorRequest(back.data(), VR_RAM_ACCESS, 0x40000000, 65536, true));
    EXPECT_EQ(vendorRequests(VR_RAM_ACCESS).back().setup.bmRequestType, 0xC0);
    EXPECT_EQ(back[0], 0x5A);
    EXPECT_EQ(back[65535], 0x5A);
}

TEST_F(DownloadTest, ShortOrEmptyTransfersFailTheRequestInBothDirections)
{
    Fx3Device& d = on(Identity::BootLoader);
    Bytes data(100, 1);
    world.addFault(FaultRule::on(Identity::BootLoader, VR_RAM_ACCESS, FaultAction::ShortReply, 60));
    EXPECT_FALSE(d.VendorRequest(data.data(), VR_RAM_ACCESS, 0x40000000, 100, false));
    world.addFault(FaultRule::on(Identity::BootLoader, VR_RAM_ACCESS, FaultAction::ZeroReply));
    EXPECT_FALSE(d.VendorRequest(data.data(), VR_RAM_ACCESS, 0x40000000, 100, true));
    EXPECT_EQ(vendorRequestCount(), 2u); // one transfer each, no retry loop
}

TEST_F(DownloadTest, LengthsOutsideTheirRangeAreRefusedWithoutARequest)
{
    Fx3Device& d = on(Identity::BootLoader);
    std::uint8_t byte = 0;
    EXPECT_FALSE(d.VendorRequest(&byte, VR_RAM_ACCESS, 0, -1, false));
    Bytes big(65536);
    EXPECT_FALSE(d.VendorWrite(0x40000000, 65536, big.data(), VR_RAM_ACCESS));
    EXPECT_FALSE(d.VendorRead(0x40000000, -5, big.data(), VR_RAM_ACCESS));
    EXPECT_EQ(vendorRequestCount(), 0u);
    EXPECT_TRUE(d.VendorWrite(0x40000000, 65535, big.data(), VR_RAM_ACCESS));
    EXPECT_TRUE(d.VendorRequest(nullptr, VR_RAM_ACCESS, 0x40000000, 0, false));
    EXPECT_EQ(vendorRequests(VR_RAM_ACCESS).back().setup.wLength, 0);
}

TEST_F(DownloadTest, BootLoaderProbeNeedsTheBootLoadersIdentity)
{
    EXPECT_TRUE(on(Identity::BootLoader).IsBootLoaderRunning());
    SimWorld cameraWorld;
    cameraWorld.addDevice(Identity::Camera);
    cameraWorld.board().cameraAnswersRamProbe = true;
    Fx3Device camera(cameraWorld.platform());
    EXPECT_FALSE(camera.IsBootLoaderRunning());
    EXPECT_TRUE(cameraWorld.requestsTo(Identity::Camera).size() > 0);
    for (const auto& r : cameraWorld.controlLog())
        EXPECT_NE(r.setup.bRequest, VR_RAM_ACCESS);
}

TEST_F(DownloadTest, RamDownloadWritesReadsBackAndStartsTheProgram)
{
    Fx3Device& d = on(Identity::BootLoader);
    const Bytes image = port::sim::makeProgrammerImage();
    ASSERT_EQ(d.DownloadToRam(image.data(), image.size(), VR_RAM_ACCESS), SUCCESS);
    for (const auto& record : port::sim::programmerRecords()) {
        Bytes ram(record.data.size());
        ASSERT_TRUE(world.board().ram.read(record.address, ram.data(), static_cast<std::uint32_t>(ram.size())));
        EXPECT_EQ(ram, record.data);
    }
    const auto requests = vendorRequests(VR_RAM_ACCESS);
    ASSERT_EQ(requests.size(), 4u * 2 + 1);
    for (std::size_t i = 0; i + 1 < requests.size(); i += 2) {
        EXPECT_EQ(requests[i].setup.bmRequestType, 0x40);
        EXPECT_EQ(requests[i + 1].setup.bmRequestType, 0xC0);
        EXPECT_EQ(requests[i + 1].setup.wValue, requests[i].setup.wValue);
        EXPECT_EQ(requests[i + 1].setup.wIndex, requests[i].setup.wIndex);
        EXPECT_EQ(requests[i + 1].setup.wLength, requests[i].setup.wLength);
    }
    EXPECT_EQ(requests[2].setup.wLength, 2048);
    EXPECT_EQ(requests[4].setup.wLength, 352);
    EXPECT_EQ(requests[4].setup.wValue, 0x3000 + 2048);
    const auto& jump = requests.back();
    EXPECT_EQ(jump.setup.wLength, 0);
    EXPECT_EQ(jump.setup.wValue, 0x0000);
    EXPECT_EQ(jump.setup.wIndex, 0x4000);
    EXPECT_EQ(world.board().lastJump, 0x40000000u);
}

TEST_F(DownloadTest, CorruptReadBackIsRetriedUpToThreeTimes)
{
    const Bytes image = port::sim::makeProgrammerImage();
    {
        Fx3Device& d = on(Identity::BootLoader);
        FaultRule once = FaultRule::on(Identity::BootLoader, VR_RAM_ACCESS, FaultAction::CorruptXor, 0xFF);
        once.deviceToHost = 1;
        world.addFault(once);
        EXPECT_EQ(d.DownloadToRam(image.data(), image.size(), VR_RAM_ACCESS), SUCCESS);
        EXPECT_EQ(vendorRequests(VR_RAM_ACCESS).size(), 4u * 2 + 2 + 1);
    }
    SimWorld w;
    w.addDevice(Identity::BootLoader);
    FaultRule thrice = FaultRule::on(Identity::BootLoader, VR_RAM_ACCESS, FaultAction::CorruptXor, 0x01);
    thrice.deviceToHost = 1;
    thrice.times = 3;
    w.addFault(thrice);
    Fx3Device d(w.platform());
    EXPECT_EQ(d.DownloadToRam(image.data(), image.size(), VR_RAM_ACCESS), FAILED);
    EXPECT_FALSE(w.board().lastJump);
}

TEST_F(DownloadTest, RamWriteThatKeepsStallingFails)
{
    Fx3Device& d = on(Identity::BootLoader);
    FaultRule stall = FaultRule::on(Identity::BootLoader, VR_RAM_ACCESS, FaultAction::Stall);
    stall.deviceToHost = 0;
    stall.times = 3;
    world.addFault(stall);
    const Bytes image = port::sim::makeProgrammerImage();
    EXPECT_EQ(d.DownloadToRam(image.data(), image.size(), VR_RAM_ACCESS), FAILED);
    EXPECT_EQ(vendorRequests(VR_RAM_ACCESS).size(), 3u);
}

TEST_F(DownloadTest, FailedStartRequestStillCountsAsSuccess)
{
    Fx3Device& d = on(Identity::BootLoader);
    world.board().jumpStatusFails = true;
    const Bytes image = port::sim::makeProgrammerImage();
    EXPECT_EQ(d.DownloadToRam(image.data(), image.size(), VR_RAM_ACCESS), SUCCESS);
    EXPECT_EQ(world.board().lastJump, 0x40000000u);
}

TEST_F(DownloadTest, BadRamImagesSendNothing)
{
    Fx3Device& d = on(Identity::BootLoader);
    const auto records = port::sim::programmerRecords();
    const Bytes badSum = buildBootImage(records, 0x40000000, 3);
    EXPECT_EQ(d.DownloadToRam(badSum.data(), badSum.size(), VR_RAM_ACCESS), CORRUPT_FIRMWARE_IMAGE_FILE);
    Bytes cut = buildBootImage(records, 0x40000000);
    cut.resize(cut.size() - 100);
    EXPECT_EQ(d.DownloadToRam(cut.data(), cut.size(), VR_RAM_ACCESS), INCORRECT_IMAGE_LENGTH);
    EXPECT_EQ(vendorRequestCount(), 0u);
}

TEST_F(DownloadTest, OneByteImageErasesOneSectorAndWritesOneFilledPage)
{
    Fx3Device& d = on(Identity::Programmer);
    const std::uint8_t image[1] = {0x42};
    ASSERT_EQ(d.DownloadToSpiFlash(image, 1, VR_SPI_SECTOR_ERASE), SUCCESS);
    const auto erases = vendorRequests(VR_SPI_SECTOR_ERASE);
    ASSERT_GE(erases.size(), 2u);
    EXPECT_EQ(erases[0].setup.wValue, 1);
    EXPECT_EQ(erases[0].setup.wIndex, 0);
    EXPECT_EQ(erases[1].setup.bmRequestType, 0xC0);
    const auto pages = vendorRequests(VR_SPI_PAGE_WRITE);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].setup.wLength, 256);
    EXPECT_EQ(pages[0].data[0], 0x42);
    EXPECT_TRUE(std::all_of(pages[0].data.begin() + 1, pages[0].data.end(), [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(world.board().flash.sectorErases[0], 1u);
    EXPECT_EQ(world.board().flash.sectorErases[1], 0u);
    EXPECT_TRUE(world.violations().empty());
}

TEST_F(DownloadTest, SectorCountFollowsTheImageLength)
{
    Fx3Device& d = on(Identity::Programmer);
    Bytes image(65536, 0x11);
    ASSERT_EQ(d.DownloadToSpiFlash(image.data(), image.size(), VR_SPI_SECTOR_ERASE), SUCCESS);
    EXPECT_EQ(world.board().flash.sectorErases[0], 1u);
    EXPECT_EQ(world.board().flash.sectorErases[1], 0u);
    EXPECT_EQ(vendorRequests(VR_SPI_PAGE_WRITE).size(), 32u);
    image.push_back(0x22);
    ASSERT_EQ(d.DownloadToSpiFlash(image.data(), image.size(), VR_SPI_SECTOR_ERASE), SUCCESS);
    EXPECT_EQ(world.board().flash.sectorErases[1], 1u);
    const auto pages = vendorRequests(VR_SPI_PAGE_WRITE);
    EXPECT_EQ(pages.back().setup.wIndex, 256); // page of offset 65536
    EXPECT_EQ(pages.back().setup.wLength, 256);
    EXPECT_EQ(world.board().flash.bytes[65536], 0x22);
    EXPECT_EQ(world.board().flash.bytes[65537], 0xFF);
}

TEST_F(DownloadTest, FlashImagesPastSixteenMebibytesAreRefusedBeforeAnyErase)
{
    world.addDevice(Identity::Programmer);
    world.board().flash = SimFlash(std::size_t{16} << 20);
    device = std::make_unique<Fx3Device>(world.platform());
    Bytes image((std::size_t{16} << 20) + 1, 0x33);
    EXPECT_EQ(device->DownloadToSpiFlash(image.data(), image.size(), VR_SPI_SECTOR_ERASE), INCORRECT_IMAGE_LENGTH);
    EXPECT_EQ(vendorRequestCount(), 0u);
    image.pop_back();
    image.back() = 0x44;
    EXPECT_EQ(device->DownloadToSpiFlash(image.data(), image.size(), VR_SPI_SECTOR_ERASE), SUCCESS);
    EXPECT_EQ(vendorRequests(VR_SPI_PAGE_WRITE).back().setup.wIndex, 65536 - 8);
    EXPECT_EQ(world.board().flash.bytes.back(), 0x44);
    EXPECT_TRUE(world.violations().empty());
}

TEST_F(DownloadTest, EraseFailureWritesNoPageAndPageFailureStopsTheWrite)
{
    Fx3Device& d = on(Identity::Programmer);
    Bytes image(200000, 0x55);
    FaultRule eraseStall = FaultRule::on(Identity::Programmer, VR_SPI_SECTOR_ERASE, FaultAction::Stall);
    eraseStall.skip = 4; // sector 0 and its polls pass
    world.addFault(eraseStall);
    EXPECT_EQ(d.DownloadToSpiFlash(image.data(), image.size(), VR_SPI_SECTOR_ERASE), SPI_FLASH_ERASE_FAILED);
    EXPECT_TRUE(vendorRequests(VR_SPI_PAGE_WRITE).empty());

    FaultRule pageStall = FaultRule::on(Identity::Programmer, VR_SPI_PAGE_WRITE, FaultAction::Stall);
    pageStall.skip = 5;
    world.addFault(pageStall);
    EXPECT_EQ(d.DownloadToSpiFlash(image.data(), image.size(), VR_SPI_SECTOR_ERASE), FAILED);
    EXPECT_EQ(vendorRequests(VR_SPI_PAGE_WRITE).size(), 6u);
}

TEST_F(DownloadTest, EraseThatNeverFinishesGivesUpAfterTenSecondsOfPolling)
{
    Fx3Device& d = on(Identity::Programmer);
    world.board().erasePolls = -1;
    const std::uint64_t start = world.nowMs();
    EXPECT_EQ(d.EraseSpiSector(0, VR_SPI_SECTOR_ERASE), 1);
    const std::uint64_t spent = world.nowMs() - start;
    EXPECT_GE(spent, 10000u);
    EXPECT_LT(spent, 12000u);
    const auto polls = vendorRequests(VR_SPI_SECTOR_ERASE).size() - 1;
    EXPECT_GT(polls, 50u); // paced by the clock,
    EXPECT_LT(polls, 150u); // not a busy loop
    EXPECT_FALSE(world.hangGuardTripped());
}

TEST_F(DownloadTest, DownloadFwReadsTheFileBeforeLookingAtTheTarget)
{
    test::ScopedWorkDir dir;
    Fx3Device& d = on(Identity::Programmer);
    test::writeFile("fw.img", Bytes(10, 1));
    test::writeFile("empty.img", {});
    EXPECT_EQ(d.DownloadFw("fw.img", 0), INVALID_MEDIA_TYPE);
    EXPECT_EQ(d.DownloadFw("fw.img", 4), INVALID_MEDIA_TYPE);
    EXPECT_EQ(d.DownloadFw("missing.img", 4), INVALID_FILE);
    EXPECT_EQ(d.DownloadFw("missing.img", TARGET_SPI_FLASH), INVALID_FILE);
    EXPECT_EQ(d.DownloadFw("empty.img", TARGET_RAM), INVALID_FILE);
    EXPECT_EQ(vendorRequestCount(), 0u);
    EXPECT_EQ(d.DownloadFw("fw.img", TARGET_SPI_FLASH), SUCCESS);
}

TEST_F(DownloadTest, EepromRefusesUnknownSizesShortImagesAndZeroPacketSize)
{
    Fx3Device& d = on(Identity::Programmer);
    const Bytes sizeCode1{'C', 'Y', 0x02, 0xB0, 1, 2, 3, 4};
    EXPECT_EQ(d.DownloadToI2cEeprom(sizeCode1.data(), sizeCode1.size(), VR_I2C_EEPROM_WRITE), I2C_EEPROM_UNKNOWN_SIZE);
    const Bytes tiny{'C', 'Y'};
    EXPECT_EQ(d.DownloadToI2cEeprom(tiny.data(), tiny.size(), VR_I2C_EEPROM_WRITE), I2C_EEPROM_UNKNOWN_SIZE);
    d.ControlEndpoint->maxPacketSize = 0;
    const Bytes fine{'C', 'Y', 0x04, 0xB0, 1, 2, 3, 4};
    EXPECT_EQ(d.DownloadToI2cEeprom(fine.data(), fine.size(), VR_I2C_EEPROM_WRITE), FAILED);
    EXPECT_EQ(vendorRequestCount(), 0u);
}

TEST_F(DownloadTest, EepromBlocksMoveToTheNextDeviceAtEachDeviceSize)
{
    Fx3Device& d = on(Identity::Programmer); // EP0 64 bytes
    Bytes image(10000);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + 1);
    image[2] = 0x04; // size code 2: 4 KiB devices
    ASSERT_EQ(d.DownloadToI2cEeprom(image.data(), image.size(), VR_I2C_EEPROM_WRITE), SUCCESS);
    const auto writes = vendorRequests(VR_I2C_EEPROM_WRITE);
    ASSERT_EQ(writes.size(), 5u);
    const std::pair<int, int> expected[5] = {{0, 0}, {0, 2048}, {1, 0}, {1, 2048}, {2, 0}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(writes[i].setup.wValue, expected[i].first) << i;
        EXPECT_EQ(writes[i].setup.wIndex, expected[i].second) << i;
    }
    EXPECT_EQ(writes[4].setup.wLength, 1856); // 1808 rounded up to 64
    const auto reads = vendorRequests(VR_I2C_EEPROM_READ);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].setup.bmRequestType, 0xC0);
    EXPECT_EQ(reads[0].setup.wLength, 1856);
    const Bytes& eeprom = world.board().eeprom;
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 4096, eeprom.begin()));
    EXPECT_TRUE(std::equal(image.begin() + 4096, image.begin() + 8192, eeprom.begin() + 65536));
    EXPECT_TRUE(std::equal(image.begin() + 8192, image.end(), eeprom.begin() + 2 * 65536));
}

TEST_F(DownloadTest, Eeprom128KModeSwitchesDeviceSelectsFourThenOne)
{
    Fx3Device& d = on(Identity::Programmer);
    Bytes image(65 * 2048, 0x66);
    image[2] = 0x0E; // size code 7
    ASSERT_EQ(d.DownloadToI2cEeprom(image.data(), image.size(), VR_I2C_EEPROM_WRITE), SUCCESS);
    const auto writes = vendorRequests(VR_I2C_EEPROM_WRITE);
    ASSERT_EQ(writes.size(), 65u);
    EXPECT_EQ(writes[31].setup.wValue, 0);
    EXPECT_EQ(writes[32].setup.wValue, 4);
    EXPECT_EQ(writes[32].setup.wIndex, 0);
    EXPECT_EQ(writes[63].setup.wValue, 4);
    EXPECT_EQ(writes[64].setup.wValue, 1);
}

} // namespace
} // namespace fxburn
