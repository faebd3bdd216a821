// The device object against simulated devices: enumeration, open and close,
// descriptors and identity, configuration and endpoint selection, and the
// texts thrown when handles cannot be released.

#include "FxburnTestSupport.h"
#include "fxburn/Fx3Device.h"
#include "fxburn/UsbDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sstream>

namespace fxburn {
namespace {

using port::sim::BosBuilder;
using port::sim::Bytes;
using port::sim::ConfigBuilder;
using port::sim::FaultAction;
using port::sim::FaultRule;
using port::sim::Identity;
using port::sim::SimDevice;
using port::sim::SimWorld;

class DeviceTest : public ::testing::Test {
protected:
    std::unique_ptr<Fx3Device> open(port::WindowId window = 0)
    {
        auto device = std::make_unique<Fx3Device>(world.platform(), window);
        device->errorStream = &errors;
        return device;
    }
    bool requested(std::uint16_t wValue) const
    {
        const auto& log = world.controlLog();
        return std::any_of(log.begin(), log.end(),
                           [wValue](const auto& r) { return r.setup.bRequest == 6 && r.setup.wValue == wValue; });
    }

    SimWorld world;
    std::ostringstream errors;
};

TEST_F(DeviceTest, NoDeviceOfTheClassMeansNoOpenAtAll)
{
    auto device = open();
    EXPECT_EQ(device->CountDevices(), 0);
    EXPECT_FALSE(device->Open(0));
    EXPECT_FALSE(device->isOpen());
    EXPECT_FALSE(device->ControlEndpoint);
    EXPECT_EQ(world.driver().openPathCalls(), 0u);
    EXPECT_FALSE(device->VendorRequest(nullptr, 0xA0, 0, 0, false));
}

TEST_F(DeviceTest, SuperSpeedCameraOpensWithItsWholeDescriptorTree)
{
    world.addDevice(Identity::Camera);
    auto device = open();
    ASSERT_TRUE(device->isOpen());
    EXPECT_EQ(device->VendorId, 0x04B4);
    EXPECT_EQ(device->ProductId, 0x9108);
    EXPECT_EQ(device->BcdUsb, 0x0320);
    EXPECT_EQ(device->Ep0MaxPacketSize, 512u);
    EXPECT_EQ(device->bcdDevice, 0x0100);
    EXPECT_EQ(device->languageId, 0x0409);
    EXPECT_EQ(device->getManufacturer(), "Kelvra");
    EXPECT_EQ(device->getProduct(), "Quenta ToF Camera");
    EXPECT_EQ(device->getSerialNumber(), "SIM0001");
    EXPECT_TRUE(device->superSpeed);
    EXPECT_FALSE(device->highSpeed);
    EXPECT_EQ(device->usbAddress, 5);
    EXPECT_EQ(device->driverVersion, 0x01020304u);
    EXPECT_EQ(device->usbdiVersion, 0x600u);
    EXPECT_STREQ(device->friendlyName.data(), "Simulated FX3 device");
    EXPECT_EQ(device->devicePath, "sim:" + std::to_string(world.device()->instance));
    ASSERT_TRUE(device->bos);
    EXPECT_TRUE(device->bos->superSpeed && device->bos->usb20Extension && device->bos->containerId);

    ASSERT_TRUE(device->getConfiguration(0));
    EXPECT_EQ(device->altInterfaceCount, 2);
    EXPECT_EQ(device->interfaceCount, 1);
    ASSERT_TRUE(device->currentInterface);
    EXPECT_EQ(device->currentInterface->bAlternateSetting, 0);
    EXPECT_EQ(device->currentInterface->getEndpoint(0), device->ControlEndpoint.get());
    ASSERT_TRUE(device->bulkInEndpoint && device->bulkOutEndpoint);
    EXPECT_EQ(device->bulkInEndpoint->maxPacketSize, 4096u); // SuperSpeed variant: burst 3
    EXPECT_EQ(device->bulkInEndpoint->transferMode, TRANSFER_DIRECT);
    EXPECT_FALSE(device->isocInEndpoint);
    EXPECT_EQ(device->CountEndpoints(), 3);
    EXPECT_EQ(device->ControlEndpoint->maxPacketSize, 512u);
    EXPECT_EQ(device->ControlEndpoint->descriptorLength, 7);
    EXPECT_EQ(device->ControlEndpoint->descriptorType, 5);
    EXPECT_EQ(device->statusA, 0u);
    EXPECT_TRUE(world.violations().empty());
}

TEST_F(DeviceTest, DescriptorRequestsUseTheStandardHeader)
{
    world.addDevice(Identity::Camera);
    auto device = open();
    const auto& log = world.driver().ioctlLog();
    const auto first =
        std::find_if(log.begin(), log.end(), [](const auto& r) { return r.code == IOCTL_CONTROL_TRANSFER; });
    ASSERT_NE(first, log.end());
    EXPECT_FALSE(first->overlapped);
    EXPECT_EQ(first->inLength, 38u + 18u);
    EXPECT_EQ(first->outLength, first->inLength);
    EXPECT_EQ(first->head[0], 0x80);
    EXPECT_EQ(first->head[1], 6);
    EXPECT_EQ(test::le32(first->head, 8), 5u);
    EXPECT_EQ(first->head[3], 0x01); // wValue 0x0100
}

TEST_F(DeviceTest, Usb21DeviceReadsNoBosAndUsesTheEp0ByteItself)
{
    world.addDevice(Identity::Programmer);
    auto device = open();
    ASSERT_TRUE(device->isOpen());
    EXPECT_EQ(device->BcdUsb, 0x0210);
    EXPECT_EQ(device->Ep0MaxPacketSize, 64u);
    EXPECT_FALSE(device->bos);
    EXPECT_FALSE(requested(0x0F00));
    EXPECT_TRUE(device->highSpeed);
    ASSERT_TRUE(device->bulkInEndpoint);
    EXPECT_EQ(device->bulkInEndpoint->maxPacketSize, 512u);
}

TEST_F(DeviceTest, Ep0ExponentPastFifteenIsUnknown)
{
    world.customizeDevice = [](SimDevice& d) { d.deviceDesc[7] = 40; };
    world.addDevice(Identity::Camera);
    auto device = open();
    EXPECT_EQ(device->Ep0MaxPacketSize, 0u);
    EXPECT_EQ(device->ControlEndpoint->maxPacketSize, 0u);
}

TEST_F(DeviceTest, LanguageIsUsEnglishWhenListedElseTheFirstElseNone)
{
    const std::vector<std::pair<Bytes, std::uint16_t>> cases{
        {port::sim::languageList({0x0407, 0x0409}), 0x0409},
        {port::sim::languageList({0x0407}), 0x0407},
        {port::sim::languageList({}), 0},
        {Bytes{0, 3}, 0},
        {Bytes{1, 3}, 0},
        {Bytes{3, 3, 0x07}, 0},
    };
    for (const auto& [list, expected] : cases) {
        SimWorld w;
        w.customizeDevice = [list = list](SimDevice& d) { d.languages = list; };
        w.addDevice(Identity::BootLoader);
        Fx3Device device(w.platform());
        EXPECT_EQ(device.languageId, expected) << list.size();
        EXPECT_TRUE(device.isOpen());
    }
}

TEST_F(DeviceTest, StringFieldsAreAlwaysTerminated)
{
    world.customizeDevice = [](SimDevice& d) {
        d.strings[2] = port::sim::stringDescriptor(std::string(200, 'x'));
        d.strings[3] = Bytes{1, 3}; // malformed: kept empty
        d.strings[1] = Bytes{6, 4, 'a', 0, 'b', 0}; // not a string descriptor
    };
    world.addDevice(Identity::BootLoader);
    auto device = open();
    EXPECT_EQ(device->getProduct(), std::string(126, 'x'));
    EXPECT_EQ(device->product.back(), 0);
    EXPECT_EQ(device->getSerialNumber(), "");
    EXPECT_EQ(device->getManufacturer(), "");
}

TEST_F(DeviceTest, FailedAltSettingQuerySelectsNoInterfaceButVendorRequestsWork)
{
    world.driverFaults.failingInfoCodes.insert(IOCTL_GET_ALT_SETTING);
    world.addDevice(Identity::BootLoader);
    auto device = open();
    ASSERT_TRUE(device->isOpen());
    EXPECT_EQ(device->QueryAltSetting(), 255);
    EXPECT_FALSE(device->currentInterface);
    EXPECT_EQ(device->CountEndpoints(), 0);
    std::uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_TRUE(device->VendorWrite(0x40000000, 4, data, VR_RAM_ACCESS));
    std::uint8_t back[4] = {};
    EXPECT_TRUE(device->VendorRead(0x40000000, 4, back, VR_RAM_ACCESS));
    EXPECT_TRUE(std::equal(back, back + 4, data));
}

TEST_F(DeviceTest, OnlyTwoConfigurationsAreRead)
{
    world.customizeDevice = [](SimDevice& d) {
        d.deviceDesc[17] = 3;
        d.configurations = {ConfigBuilder(1).interface(0, 0, 0).build(), ConfigBuilder(2).interface(0, 0, 0).build(),
                            ConfigBuilder(3).interface(0, 0, 0).build()};
    };
    world.addDevice(Identity::BootLoader);
    auto device = open();
    EXPECT_TRUE(requested(0x0200));
    EXPECT_TRUE(requested(0x0201));
    EXPECT_FALSE(requested(0x0202));
    ASSERT_TRUE(device->getConfiguration(1));
    EXPECT_EQ(device->getConfiguration(1)->bConfigurationValue, 2);
    EXPECT_EQ(device->getConfiguration(2), nullptr);
    device->Close();
    EXPECT_EQ(device->getConfiguration(1), nullptr);
}

TEST_F(DeviceTest, ShortConfigurationOrBosKeepsNoCopy)
{
    world.customizeDevice = [](SimDevice& d) {
        d.configurations[0][2] = 4; // wTotalLength below the header
        d.bos = Bytes{5, 0x0F, 4, 0, 1};
    };
    world.addDevice(Identity::Camera);
    auto device = open();
    EXPECT_TRUE(device->configDescriptors[0].empty());
    EXPECT_FALSE(device->getConfiguration(0));
    EXPECT_FALSE(device->bos);
    // Without an interface the open fails, with the handle kept.
    EXPECT_TRUE(device->isOpen());
    EXPECT_TRUE(device->ControlEndpoint);
}

TEST_F(DeviceTest, MalformedConfigurationsOpenWithoutOverreading)
{
    world.customizeDevice = [](SimDevice& d) {
        d.configurations[0] = ConfigBuilder().interface(0, 0, 40).endpoint(0x81, 2, 512).raw({0, 5}).build();
    };
    world.addDevice(Identity::Camera);
    auto device = open();
    ASSERT_TRUE(device->currentInterface);
    EXPECT_EQ(device->CountEndpoints(), 32);
    EXPECT_TRUE(device->bulkInEndpoint);
}

TEST_F(DeviceTest, FailedDescriptorReadLeavesNoStaleIdentity)
{
    world.addDevice(Identity::Camera);
    world.addDevice(Identity::Other, 0x5555);
    FaultRule stall = FaultRule::on(Identity::Other, 6, FaultAction::Stall);
    stall.value = 0x0100;
    stall.times = -1;
    world.addFault(stall);
    auto device = open();
    EXPECT_EQ(device->ProductId, 0x9108);
    EXPECT_FALSE(device->Open(1));
    EXPECT_EQ(device->VendorId, 0);
    EXPECT_EQ(device->ProductId, 0);
    EXPECT_EQ(device->BcdUsb, 0);
}

TEST_F(DeviceTest, OpenOnAnotherIndexClosesFirstAndCloseTwiceClosesOnce)
{
    world.addDevice(Identity::Camera);
    world.addDevice(Identity::Programmer);
    auto device = open();
    EXPECT_EQ(device->CountDevices(), 2);
    ASSERT_TRUE(device->Open(1));
    EXPECT_EQ(device->ProductId, 0x4720);
    EXPECT_EQ(device->DeviceIndex, 1);
    EXPECT_EQ(world.driver().closeHandleCalls(), 1u);
    EXPECT_FALSE(device->Open(2));
    EXPECT_EQ(device->DeviceIndex, 0);
    EXPECT_EQ(world.driver().closeHandleCalls(), 2u);
    device->Close();
    device->Close();
    EXPECT_EQ(world.driver().closeHandleCalls(), 2u);
    EXPECT_EQ(world.driver().openHandleCount(), 0u);
}

TEST_F(DeviceTest, CloseForgetsEverythingItFreed)
{
    world.addDevice(Identity::Camera);
    auto device = open();
    device->Close();
    EXPECT_FALSE(device->isOpen());
    EXPECT_FALSE(device->ControlEndpoint);
    EXPECT_FALSE(device->currentInterface);
    EXPECT_FALSE(device->bulkInEndpoint || device->bulkOutEndpoint);
    EXPECT_FALSE(device->bos);
    EXPECT_FALSE(device->getConfiguration(0));
    EXPECT_EQ(device->VendorId, 0);
    EXPECT_EQ(device->ProductId, 0);
    EXPECT_EQ(device->CountEndpoints(), 0);
    EXPECT_FALSE(device->IsBootLoaderRunning());
}

TEST_F(DeviceTest, EnumerationErrorsSkipAnIndexAndRefusedOpensKeepTheError)
{
    world.addDevice(Identity::Camera);
    world.addDevice(Identity::Programmer);
    world.driverFaults.enumErrorMember = 0;
    auto device = open();
    EXPECT_EQ(device->CountDevices(), 1);
    EXPECT_FALSE(device->isOpen());
    EXPECT_EQ(device->LastError, port::err::GEN_FAILURE);

    world.driverFaults.enumErrorMember.reset();
    world.driverFaults.openError = port::err::ACCESS_DENIED;
    EXPECT_FALSE(device->Open(0));
    EXPECT_EQ(device->LastError, port::err::ACCESS_DENIED);
    EXPECT_EQ(device->DriverHandle, port::INVALID_HANDLE);
}

TEST_F(DeviceTest, AlternateSettingBringsItsOwnEndpoints)
{
    world.addDevice(Identity::Camera);
    auto device = open();
    device->SelectAltSetting(1);
    ASSERT_TRUE(device->currentInterface);
    EXPECT_EQ(device->currentInterface->bAlternateSetting, 1);
    EXPECT_TRUE(device->isocInEndpoint);
    EXPECT_FALSE(device->bulkInEndpoint);
    EXPECT_EQ(device->isocInEndpoint->maxPacketSize, 1024u * 2); // companion mult 1
    device->SelectAltSetting(7); // none: nothing changes
    EXPECT_EQ(device->currentInterface->bAlternateSetting, 1);
}

TEST_F(DeviceTest, FirstEndpointOfEachKindWins)
{
    world.customizeDevice = [](SimDevice& d) {
        d.configurations[0] = ConfigBuilder()
                                  .interface(0, 0, 4)
                                  .endpoint(0x81, 2, 512)
                                  .endpoint(0x82, 2, 512)
                                  .endpoint(0x03, 3, 8, 1)
                                  .endpoint(0x04, 3, 8, 1)
                                  .build();
    };
    world.addDevice(Identity::BootLoader);
    auto device = open();
    ASSERT_TRUE(device->bulkInEndpoint && device->interruptOutEndpoint);
    EXPECT_EQ(device->bulkInEndpoint->address, 0x81);
    EXPECT_EQ(device->interruptOutEndpoint->address, 0x03);
    EXPECT_FALSE(device->bulkOutEndpoint);
}

TEST_F(DeviceTest, CloseThrowsWhenTheDriverHandleStays)
{
    world.addDevice(Identity::Camera);
    auto device = open();
    world.driverFaults.closeFailures = 1;
    try {
        device->Close();
        FAIL() << "no text thrown";
    } catch (const char* text) {
        EXPECT_STREQ(text, "Failed to close handle to driver.");
    }
    EXPECT_TRUE(device->isOpen());
    EXPECT_EQ(device->LastError, port::err::INVALID_HANDLE);
    EXPECT_NO_THROW(device->Close());
    EXPECT_FALSE(device->isOpen());
}

TEST_F(DeviceTest, NotificationsAreRegisteredOnlyWithAWindow)
{
    world.addDevice(Identity::Camera);
    {
        auto device = open();
        EXPECT_EQ(world.driver().notificationCount(), 0u);
    }
    auto device = open(7);
    EXPECT_NE(device->interfaceNotification, 0u);
    EXPECT_NE(device->handleNotification, 0u);
    EXPECT_EQ(world.driver().notificationCount(), 2u);
    world.driverFaults.unregisterFailures = 1;
    try {
        device->CloseHandles();
        FAIL() << "no text thrown";
    } catch (const char* text) {
        EXPECT_STREQ(text, "Failed to close the handle notification handle.");
    }
    device.reset();
    EXPECT_EQ(world.driver().notificationCount(), 0u);
    EXPECT_EQ(errors.str(), "");
}

TEST_F(DeviceTest, DestructorReportsWhatItCouldNotReleaseAndNeverThrows)
{
    world.addDevice(Identity::Camera);
    auto device = open(7);
    world.driverFaults.unregisterFailures = -1;
    world.driverFaults.closeFailures = -1;
    EXPECT_NO_THROW(device.reset());
    EXPECT_EQ(errors.str(),
              "Error : Failed to close the handle notification handle.\n"
              "Error : Failed to close the device notification handle.\n");
}

// Synchronous requests made as the Windows port makes them: overlapped, with
// the wait bounded, then cancelled, then given up.
class BoundedRequest : public DeviceTest {
protected:
    void SetUp() override
    {
        world.addDevice(Identity::Camera);
        handle = test::openDevice(world);
        ASSERT_NE(handle, port::INVALID_HANDLE);
        block.assign(ControlRequestHeader::SIZE + DEVICE_DESC_SIZE, 0xA5);
        ControlRequestHeader h;
        h.bmRequestType = 0x80;
        h.bRequest = 6;
        h.wValue = 0x0100;
        h.wLength = DEVICE_DESC_SIZE;
        h.timeoutSeconds = DESCRIPTOR_TIMEOUT_S;
        h.dataOffset = ControlRequestHeader::SIZE;
        h.dataLength = DEVICE_DESC_SIZE;
        h.encode(block.data());
        sent = block;
    }
    // The device descriptor read, with `action` on it.
    bool readDescriptor(std::optional<FaultAction> action = std::nullopt, std::uint32_t arg = 0)
    {
        if (action) {
            FaultRule rule = FaultRule::on(Identity::Camera, 6, *action, arg);
            rule.value = 0x0100;
            world.addFault(rule);
        }
        start = world.nowMs();
        const auto size = static_cast<std::uint32_t>(block.size());
        return port::boundedIoctl(world.driver(), handle, IOCTL_CONTROL_TRANSFER, block.data(), size, block.data(),
                                  size, returned, error);
    }
    std::uint64_t waited() { return world.nowMs() - start; }

    port::Handle handle = port::INVALID_HANDLE;
    Bytes block;
    Bytes sent;
    std::uint64_t start = 0;
    std::uint32_t returned = 0;
    std::uint32_t error = 0;
};

TEST_F(BoundedRequest, AnsweredRequestsFillTheCallersBufferAsTheDriverLeftIt)
{
    ASSERT_TRUE(readDescriptor(FaultAction::Delay, 300)) << error;
    EXPECT_EQ(returned, block.size());
    EXPECT_TRUE(
        std::equal(block.begin() + ControlRequestHeader::SIZE, block.end(), world.device()->deviceDesc.begin()));
    EXPECT_EQ(ControlRequestHeader::decode(block.data()).statusA, 0u);
    EXPECT_GE(waited(), 300u);
    const auto& log = world.driver().ioctlLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(log[0].overlapped);
    EXPECT_EQ(log[0].inLength, block.size());

    // A driver query answers at once.
    std::uint8_t speed[4] = {};
    EXPECT_TRUE(port::boundedIoctl(world.driver(), handle, IOCTL_GET_SPEED, speed, 4, speed, 4, returned, error));
    EXPECT_EQ(returned, 4u);
    EXPECT_EQ(test::le32(Bytes(speed, speed + 4), 0), world.device()->speed);
    EXPECT_EQ(world.driver().cancelCalls(), 0u);
    EXPECT_EQ(world.driver().pendingRequestCount(), 0u);
    EXPECT_TRUE(world.violations().empty());
}

TEST_F(BoundedRequest, RequestThatNothingEndsIsGivenUpInBoundedTimeWithItsOwnBlock)
{
    EXPECT_FALSE(readDescriptor(FaultAction::HangForever));
    EXPECT_EQ(error, port::err::IO_INCOMPLETE);
    EXPECT_EQ(returned, 0u);
    EXPECT_GE(waited(), port::SYNC_REQUEST_LIMIT_MS);
    EXPECT_LT(waited(), port::SYNC_REQUEST_LIMIT_MS + port::ABORT_WAIT_LIMIT_MS + 100);
    EXPECT_EQ(world.driver().cancelCalls(), 1u);
    // Still in flight: handed to the port, and the caller's buffer is not the driver's.
    EXPECT_EQ(world.driver().pendingRequestCount(), 1u);
    EXPECT_EQ(world.driver().abandonedRequestCount(), 1u);
    EXPECT_EQ(block, sent);
    std::uint32_t closeError = 0;
    EXPECT_TRUE(world.driver().closeHandle(handle, closeError));
    EXPECT_TRUE(world.violations().empty());
    EXPECT_FALSE(world.hangGuardTripped());
}

TEST_F(BoundedRequest, RequestEndingAfterItWasGivenUpWritesIntoItsOwnBlock)
{
    const std::uint32_t late = port::ABORT_WAIT_LIMIT_MS + 500;
    EXPECT_FALSE(readDescriptor(FaultAction::AbortLatency, late));
    EXPECT_EQ(error, port::err::IO_INCOMPLETE);
    EXPECT_EQ(world.driver().abandonedRequestCount(), 1u);
    world.sleepMs(late);
    world.driver().completeDue();
    EXPECT_EQ(world.driver().pendingRequestCount(), 0u);
    EXPECT_EQ(block, sent);
    EXPECT_TRUE(world.violations().empty());
}

TEST_F(BoundedRequest, CancelEndsAHeldRequestAsAborted)
{
    EXPECT_FALSE(readDescriptor(FaultAction::AbortLatency, 300));
    EXPECT_EQ(error, port::err::OPERATION_ABORTED);
    EXPECT_GE(waited(), port::SYNC_REQUEST_LIMIT_MS + 300);
    EXPECT_LT(waited(), port::SYNC_REQUEST_LIMIT_MS + port::ABORT_WAIT_LIMIT_MS);
    EXPECT_EQ(world.driver().cancelCalls(), 1u);
    EXPECT_EQ(world.driver().pendingRequestCount(), 0u);
    EXPECT_EQ(world.driver().abandonedRequestCount(), 0u);
    // The status words the driver wrote back reach the caller.
    EXPECT_NE(ControlRequestHeader::decode(block.data()).statusA, 0u);
    EXPECT_TRUE(world.violations().empty());
}

TEST_F(BoundedRequest, DriverTimeOutEndsASilentRequestBeforeTheLimit)
{
    EXPECT_FALSE(readDescriptor(FaultAction::Silent));
    EXPECT_EQ(error, port::err::SEM_TIMEOUT);
    EXPECT_GE(waited(), DESCRIPTOR_TIMEOUT_S * 1000u);
    EXPECT_LT(waited(), port::SYNC_REQUEST_LIMIT_MS);
    EXPECT_EQ(world.driver().cancelCalls(), 0u);
    EXPECT_EQ(world.driver().pendingRequestCount(), 0u);
}

TEST_F(BoundedRequest, RefusedRequestIsNeitherWaitedForNorCancelled)
{
    EXPECT_FALSE(readDescriptor(FaultAction::BeginError, port::err::ACCESS_DENIED));
    EXPECT_EQ(error, port::err::ACCESS_DENIED);
    EXPECT_LT(waited(), 10u);
    EXPECT_EQ(world.driver().cancelCalls(), 0u);
    EXPECT_EQ(world.driver().abandonedRequestCount(), 0u);
    EXPECT_EQ(block, sent);
    EXPECT_TRUE(world.violations().empty());
}

// The driver emulation with its synchronous requests made the Windows way.
class BoundedDriver : public port::emu::EmulatedDriver {
public:
    using EmulatedDriver::EmulatedDriver;
    bool ioctl(port::Handle handle, std::uint32_t code, const void* in, std::uint32_t inLength, void* out,
               std::uint32_t outLength, std::uint32_t& returned, std::uint32_t& error) override
    {
        return port::boundedIoctl(*this, handle, code, in, inLength, out, outLength, returned, error);
    }
};

TEST_F(DeviceTest, DeviceOpensThroughBoundedRequestsAndAHungReadEndsInBoundedTime)
{
    world.addDevice(Identity::Camera);
    BoundedDriver driver(world);
    const port::Platform platform{&driver, &world};
    {
        Fx3Device device(platform);
        ASSERT_TRUE(device.isOpen());
        EXPECT_EQ(device.ProductId, 0x9108);
        EXPECT_EQ(device.getProduct(), "Quenta ToF Camera");
        EXPECT_TRUE(device.superSpeed);
        EXPECT_EQ(device.usbAddress, 5);
        EXPECT_TRUE(device.bulkInEndpoint);
        EXPECT_EQ(device.statusA, 0u);
    }

    // The device descriptor read never ends: the open goes on without it.
    FaultRule hang = FaultRule::on(Identity::Camera, 6, FaultAction::HangForever);
    hang.value = 0x0100;
    world.addFault(hang);
    const std::uint64_t start = world.nowMs();
    {
        Fx3Device device(platform);
        EXPECT_EQ(device.VendorId, 0);
        EXPECT_EQ(device.LastError, port::err::IO_INCOMPLETE);
        EXPECT_FALSE(device.getConfiguration(0));
    }
    EXPECT_LT(world.nowMs() - start, port::SYNC_REQUEST_LIMIT_MS + port::ABORT_WAIT_LIMIT_MS + 500);
    EXPECT_EQ(driver.abandonedRequestCount(), 1u);
    EXPECT_EQ(driver.openHandleCount(), 0u);
    EXPECT_TRUE(world.violations().empty());
    EXPECT_FALSE(world.hangGuardTripped());
}

} // namespace
} // namespace fxburn
