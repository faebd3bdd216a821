// The simulated world the other tests stand on: the hang guard, the driver
// emulation's strictness, re-enumeration and the NOR flash model.

#include "FxburnTestSupport.h"
#include "fxburn/Fx3Device.h"
#include "fxburn/UsbDriver.h"

#include <gtest/gtest.h>

namespace fxburn {
namespace {

using port::sim::Bytes;
using port::sim::FaultAction;
using port::sim::FaultRule;
using port::sim::Identity;
using port::sim::SimFlash;
using port::sim::SimHang;
using port::sim::SimWorld;

TEST(SimWorld, HangGuardTurnsAnEndlessLoopIntoAnException)
{
    SimWorld world;
    world.addDevice(Identity::Camera);
    world.maxDriverCalls = 500;
    Fx3Device device(world.platform());
    EXPECT_THROW(
        {
            for (;;)
                device.CountDevices();
        },
        SimHang);
    EXPECT_TRUE(world.hangGuardTripped());
    EXPECT_NE(world.hangReason().find("driver calls"), std::string::npos);
    EXPECT_NO_THROW(device.CountDevices()); // once only: clean-up still works
}

TEST(SimWorld, HangGuardStopsEndlessSleeping)
{
    SimWorld world;
    world.maxVirtualMs = 10000;
    EXPECT_THROW(
        {
            for (;;)
                world.sleepMs(1000);
        },
        SimHang);
    EXPECT_GE(world.nowMs(), 10000u);
}

TEST(SimWorld, CameraReenumeratesAsTheBootLoaderAfterTheRequest)
{
    SimWorld world;
    world.addDevice(Identity::Camera);
    world.board().detachLagMs = 100;
    Fx3Device device(world.platform());
    auto& ep = *device.ControlEndpoint;
    ep.requestCode = 0x42;
    ep.value = 0x0057;
    ep.index = 5;
    std::uint8_t code[2] = {0x6B, 0xD2};
    std::uint32_t length = 2;
    const std::uint64_t sent = world.nowMs();
    ASSERT_TRUE(ep.Transfer(code, length));
    EXPECT_EQ(world.device()->identity, Identity::Camera);
    world.sleepMs(150);
    EXPECT_EQ(world.device(), nullptr);
    std::uint8_t byte = 0;
    EXPECT_FALSE(device.VendorRead(0, 1, &byte, VR_RAM_ACCESS)); // the old handle is dead
    EXPECT_EQ(device.ControlEndpoint->LastError, port::err::DEVICE_NOT_CONNECTED);
    world.advanceTo(sent + 100 + 1500 + 50);
    ASSERT_NE(world.device(), nullptr);
    EXPECT_EQ(world.device()->identity, Identity::BootLoader);
    EXPECT_NO_THROW(device.Close()); // closing a handle of a gone device works
}

TEST(SimWorld, WrongCameraCommandsStall)
{
    SimWorld world;
    world.addDevice(Identity::Camera);
    Fx3Device device(world.platform());
    std::uint8_t wrongCode[2] = {0xD2, 0x6B};
    EXPECT_FALSE(device.VendorWrite(0x00050057, 2, wrongCode, 0x42));
    std::uint8_t notZero[4] = {0, 0, 1, 0};
    EXPECT_FALSE(device.VendorWrite(0x00030057, 4, notZero, 0x42));
    EXPECT_EQ(world.board().eraseDataCommands, 0);
    EXPECT_EQ(world.board().enterBootLoaderCommands, 0);
}

TEST(SimWorld, JumpToSomethingElseThanTheProgrammerNeverComesBack)
{
    SimWorld world;
    world.addDevice(Identity::BootLoader);
    Fx3Device device(world.platform());
    EXPECT_TRUE(device.VendorWrite(0x40000000, 0, nullptr, VR_RAM_ACCESS));
    world.sleepMs(60000);
    EXPECT_EQ(world.device(), nullptr);
    EXPECT_EQ(world.board().lastJump, 0x40000000u);
}

TEST(SimWorld, NorFlashReportsProgrammingWithoutErase)
{
    SimFlash flash(2 * SimFlash::SECTOR);
    std::string violation;
    const std::uint8_t ones[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    ASSERT_TRUE(flash.erase(0));
    const std::uint8_t data[4] = {0x0F, 0xF0, 0x00, 0xFF};
    ASSERT_TRUE(flash.program(0, data, 4, violation));
    EXPECT_TRUE(violation.empty());
    EXPECT_EQ(flash.pageWrites[0], 1u);
    ASSERT_TRUE(flash.program(4, ones, 4, violation)); // ones over erased bytes
    EXPECT_TRUE(violation.empty());
    EXPECT_EQ(flash.pageWrites[0], 2u);
    ASSERT_TRUE(flash.program(0, data + 1, 1, violation)); // 0xF0 over 0x0F
    EXPECT_FALSE(violation.empty());
    EXPECT_EQ(flash.bytes[0], 0x00);
    EXPECT_FALSE(flash.erase(2));
    EXPECT_FALSE(flash.program(2 * SimFlash::SECTOR - 1, data, 2, violation));
}

TEST(SimWorld, ReplugBootsOnlyAWholeCameraImage)
{
    SimWorld world;
    world.addDevice(Identity::Programmer);
    world.replug();
    EXPECT_EQ(world.device()->identity, Identity::Camera); // the board's old firmware
    Bytes& flash = world.board().flash.bytes;
    const Bytes image = port::sim::makeCameraFirmware(5000, 0x9109, 0x0305);
    std::copy(image.begin(), image.end(), flash.begin());
    world.replug();
    EXPECT_EQ(world.device()->productId, 0x9109);
    EXPECT_EQ(world.board().bcdDevice, 0x0305);
    flash[100] ^= 1; // checksum no longer matches
    world.replug();
    EXPECT_EQ(world.device()->identity, Identity::BootLoader);
}

TEST(EmulatedDriver, MalformedHeadersAreRefusedAndReported)
{
    SimWorld world;
    world.addDevice(Identity::BootLoader);
    const port::Handle handle = test::openDevice(world);
    std::uint8_t block[38 + 4] = {0xC0, 0xA0, 0, 0, 0, 0, 4, 0};
    block[30] = 38;
    block[34] = 5; // data length disagrees with wLength
    std::uint32_t returned = 0;
    std::uint32_t error = 0;
    EXPECT_FALSE(world.driver().ioctl(handle, IOCTL_CONTROL_TRANSFER, block, sizeof block, block, sizeof block,
                                      returned, error));
    EXPECT_EQ(error, port::err::INVALID_PARAMETER);
    EXPECT_EQ(world.violations().size(), 1u);
    std::uint8_t speed[2] = {};
    EXPECT_FALSE(world.driver().ioctl(handle, IOCTL_GET_SPEED, speed, 2, speed, 2, returned, error));
    EXPECT_EQ(world.violations().size(), 2u);
}

TEST(EmulatedDriver, RequestRefusedAtOnceNeverCompletesAsOnWindows)
{
    SimWorld world;
    world.addDevice(Identity::BootLoader);
    const port::Handle handle = test::openDevice(world);
    world.detach(0); // unplugged between two requests
    std::uint32_t error = 0;
    auto op = world.driver().newAsyncOp(error);
    std::uint8_t block[38] = {};
    EXPECT_EQ(world.driver().ioctlBegin(handle, IOCTL_CONTROL_TRANSFER, block, sizeof block, block, sizeof block, *op),
              port::err::DEVICE_NOT_CONNECTED);
    std::uint32_t bytes = 0;
    EXPECT_FALSE(world.driver().overlappedResult(handle, *op, bytes, error));
    EXPECT_EQ(error, port::err::IO_INCOMPLETE);
    EXPECT_EQ(world.driver().wait(*op, 500), port::WaitResult::TimedOut);
    EXPECT_THROW(world.driver().wait(*op, port::WAIT_INFINITE), SimHang);
    op.reset(); // nothing was in flight: freeing it is no misuse
    EXPECT_TRUE(world.violations().empty());
}

// A RAM read of the boot loader under way on `op`, with `action` on it; its
// block is the context's.
struct RamRead {
    explicit RamRead(FaultAction action, std::uint32_t arg = 0)
    {
        world.addDevice(Identity::BootLoader);
        world.addFault(FaultRule::on(Identity::BootLoader, VR_RAM_ACCESS, action, arg));
        ep = std::make_unique<UsbControlEndPoint>(&world.driver(), test::openDevice(world), nullptr);
        ep->requestCode = VR_RAM_ACCESS;
        std::uint32_t error = 0;
        op = world.driver().newAsyncOp(error);
        context = ep->BeginTransfer(data, 4, *op);
    }
    SimWorld world;
    std::unique_ptr<UsbControlEndPoint> ep;
    std::unique_ptr<port::AsyncOp> op;
    std::uint8_t data[4] = {};
    TransferContextPtr context;
};

TEST(EmulatedDriver, FreeingAPendingRequestIsReported)
{
    RamRead read(FaultAction::HangUntilAbort);
    ASSERT_TRUE(read.context);
    read.op.reset();
    ASSERT_EQ(read.world.violations().size(), 1u);
    EXPECT_NE(read.world.violations()[0].find("pending"), std::string::npos);
}

TEST(EmulatedDriver, AGivenUpRequestEndingWithoutItsBlockIsReported)
{
    RamRead read(FaultAction::Delay, 300);
    ASSERT_TRUE(read.context);
    read.world.driver().abandon(std::move(read.op)); // its block not handed over with it
    read.world.sleepMs(300);
    read.world.driver().completeDue();
    EXPECT_EQ(read.world.driver().pendingRequestCount(), 0u);
    ASSERT_EQ(read.world.violations().size(), 1u);
    EXPECT_NE(read.world.violations()[0].find("block was freed"), std::string::npos);
}

} // namespace
} // namespace fxburn
