// Endpoints and overlapped transfers: the request header as the driver reads
// it, endpoint construction, and transfers through the emulated driver with
// replies, short and bad counts, time-outs, aborts and failed begins.

#include "FxburnTestSupport.h"
#include "fxburn/UsbDriver.h"
#include "fxburn/UsbEndPoint.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fxburn {
namespace {

using port::sim::FaultAction;
using port::sim::FaultRule;
using port::sim::Identity;
using port::sim::SimHang;
using port::sim::SimWorld;
using test::le32;

TEST(ControlRequestHeader, EncodesEveryFieldLittleEndianAtItsOffset)
{
    ControlRequestHeader h;
    h.bmRequestType = 0xC0;
    h.bRequest = 0xA0;
    h.wValue = 0x1234;
    h.wIndex = 0x4000;
    h.wLength = 0x0800;
    h.timeoutSeconds = 10;
    h.endpointAddress = 0x81;
    h.statusB = 0x11223344;
    h.statusA = 0x55667788;
    h.packetTableOffset = 38;
    h.packetTableLength = 16;
    h.dataOffset = 54;
    h.dataLength = 1000;
    std::uint8_t b[38] = {};
    h.encode(b);
    const std::uint8_t expected[38] = {0xC0, 0xA0, 0x34, 0x12, 0x00, 0x40, 0x00, 0x08, 10,   0,    0, 0, 0,
                                       0x81, 0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55, 38,   0, 0, 0,
                                       16,   0,    0,    0,    54,   0,    0,    0,    0xE8, 0x03, 0, 0};
    EXPECT_TRUE(std::equal(b, b + 38, expected));
    const ControlRequestHeader back = ControlRequestHeader::decode(b);
    EXPECT_EQ(back.statusA, 0x55667788u);
    EXPECT_EQ(back.statusB, 0x11223344u);
    EXPECT_EQ(back.wValue, 0x1234);
    EXPECT_EQ(back.dataOffset, 54u);
}

TEST(ControlRequestHeader, TimeoutIsWholeSecondsWithAtLeastOneForShortTimeouts)
{
    EXPECT_EQ(ControlRequestHeader::timeoutField(1000), 1u);
    EXPECT_EQ(ControlRequestHeader::timeoutField(500), 1u);
    EXPECT_EQ(ControlRequestHeader::timeoutField(1), 1u);
    EXPECT_EQ(ControlRequestHeader::timeoutField(0), 0u);
    EXPECT_EQ(ControlRequestHeader::timeoutField(1999), 1u);
    EXPECT_EQ(ControlRequestHeader::timeoutField(10000), 10u);
}

TEST(ControlRequestHeader, RequestTypeCombinesDirectionTypeAndTarget)
{
    EXPECT_EQ(ControlRequestHeader::requestType(1, 2, 0), 0xC0);
    EXPECT_EQ(ControlRequestHeader::requestType(0, 2, 0), 0x40);
    EXPECT_EQ(ControlRequestHeader::requestType(1, 0, 0), 0x80);
    EXPECT_EQ(ControlRequestHeader::requestType(0, 1, 2), 0x22);
    EXPECT_EQ(ControlRequestHeader::requestType(0, 6, 0x3F), 0x5F); // type and target masked
}

TEST(UsbEndPointConstruction, HighBandwidthMultiplierScalesThePacketSize)
{
    const std::uint8_t d[7] = {7, 5, 0x82, 1, 0x00, 0x14, 1}; // 0x1400: 1024 bytes, 2 extra
    UsbIsocEndPoint ep(nullptr, port::INVALID_HANDLE, d);
    EXPECT_EQ(ep.packetsPerFrame, 3);
    EXPECT_EQ(ep.maxPacketSize, 3072u);
    EXPECT_TRUE(ep.isIn);
    EXPECT_TRUE(ep.isIsochronous());
    EXPECT_EQ(ep.TimeoutMs, 10000u);
    EXPECT_EQ(ep.transferMode, TRANSFER_DIRECT);
}

TEST(UsbEndPointConstruction, SuperSpeedCompanionMultipliesByBurstAndIsoMult)
{
    const std::uint8_t bulk[7] = {7, 5, 0x01, 2, 0x00, 0x04, 0};
    const std::uint8_t burst3[6] = {6, 0x30, 3, 0, 0, 0};
    UsbBulkEndPoint b(nullptr, port::INVALID_HANDLE, bulk, burst3);
    EXPECT_EQ(b.maxPacketSize, 4096u);
    EXPECT_FALSE(b.isIn);
    EXPECT_EQ(b.maxBurst, 3);

    const std::uint8_t iso[7] = {7, 5, 0x83, 1, 0x00, 0x04, 1};
    const std::uint8_t companion[6] = {6, 0x30, 1, 2, 0x00, 0x18}; // burst 2, mult 3
    UsbIsocEndPoint i(nullptr, port::INVALID_HANDLE, iso, companion);
    EXPECT_EQ(i.maxPacketSize, 1024u * 2 * 3);
    EXPECT_EQ(i.bytesPerInterval, 0x1800);
}

TEST(UsbEndPointConstruction, ControlEndpointStartsAsBufferedVendorRequestToTheDevice)
{
    UsbControlEndPoint ep(nullptr, port::INVALID_HANDLE, nullptr);
    EXPECT_EQ(ep.transferMode, TRANSFER_BUFFERED);
    EXPECT_EQ(ep.requestType, request::TYPE_VENDOR);
    EXPECT_EQ(ep.target, request::TARGET_DEVICE);
    EXPECT_EQ(ep.direction, request::DIR_TO_DEVICE);
    EXPECT_EQ(ep.maxPacketSize, 0u);
}

// Endpoints on a handle of a simulated device.
class EndpointTransfer : public ::testing::Test {
protected:
    void attach(Identity identity)
    {
        world.addDevice(identity);
        handle = test::openDevice(world);
        ASSERT_NE(handle, port::INVALID_HANDLE);
    }
    std::unique_ptr<UsbControlEndPoint> control()
    {
        auto ep = std::make_unique<UsbControlEndPoint>(&world.driver(), handle, nullptr);
        ep->requestCode = 0xA0;
        ep->value = 0x0000;
        ep->index = 0x4000; // RAM at 0x40000000
        return ep;
    }
    // A four-byte RAM write to the boot loader while `action` applies to it.
    bool writeWith(FaultAction action, std::uint32_t arg = 0, std::uint32_t timeoutMs = 10000)
    {
        attach(Identity::BootLoader);
        world.addFault(FaultRule::on(Identity::BootLoader, 0xA0, action, arg));
        ep = control();
        ep->TimeoutMs = timeoutMs;
        std::uint8_t data[4] = {9, 9, 9, 9};
        std::uint32_t length = sizeof data;
        return ep->Transfer(data, length);
    }
    std::size_t countCode(std::uint32_t code) const
    {
        const auto& log = world.driver().ioctlLog();
        return static_cast<std::size_t>(
            std::count_if(log.begin(), log.end(), [code](const auto& r) { return r.code == code; }));
    }

    SimWorld world;
    port::Handle handle = port::INVALID_HANDLE;
    std::unique_ptr<UsbControlEndPoint> ep;
};

TEST_F(EndpointTransfer, ControlWriteThenReadCarriesTheSetupInTheHeader)
{
    attach(Identity::BootLoader);
    ep = control();
    std::uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::uint32_t length = sizeof data;
    ASSERT_TRUE(ep->Transfer(data, length));
    EXPECT_EQ(length, 8u);

    ep->direction = request::DIR_FROM_DEVICE;
    std::uint8_t back[8] = {};
    length = sizeof back;
    ASSERT_TRUE(ep->Transfer(back, length));
    EXPECT_TRUE(std::equal(back, back + 8, data));
    EXPECT_TRUE(ep->isIn);

    const auto& r = world.driver().ioctlLog().back();
    EXPECT_EQ(r.code, IOCTL_CONTROL_TRANSFER);
    EXPECT_TRUE(r.overlapped);
    EXPECT_EQ(r.inLength, 38u + 8u);
    EXPECT_EQ(r.head[0], 0xC0);
    EXPECT_EQ(r.head[1], 0xA0);
    EXPECT_EQ(r.head[4], 0x00);
    EXPECT_EQ(r.head[5], 0x40);
    EXPECT_EQ(le32(r.head, 8), 10u); // TimeoutMs 10000
    EXPECT_EQ(le32(r.head, 30), 38u);
    EXPECT_EQ(le32(r.head, 34), 8u);
    EXPECT_TRUE(world.violations().empty());
}

TEST_F(EndpointTransfer, ShortReplySetsTheLengthAndCopiesOnlyWhatCame)
{
    attach(Identity::BootLoader);
    world.addFault(FaultRule::on(Identity::BootLoader, 0xA0, FaultAction::ShortReply, 5));
    ep = control();
    ep->direction = request::DIR_FROM_DEVICE;
    std::uint8_t buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    std::uint32_t length = sizeof buffer;
    EXPECT_TRUE(ep->Transfer(buffer, length));
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(ep->bytesTransferred, 5u);
    EXPECT_EQ(buffer[4], 0x00);
    EXPECT_EQ(buffer[5], 0xEE);
}

TEST_F(EndpointTransfer, ReturnedCountBelowTheHeaderFailsWithNothingCopied)
{
    attach(Identity::BootLoader);
    world.addFault(FaultRule::on(Identity::BootLoader, 0xA0, FaultAction::ReturnedCount, 20));
    ep = control();
    ep->direction = request::DIR_FROM_DEVICE;
    std::uint8_t buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    std::uint32_t length = sizeof buffer;
    EXPECT_FALSE(ep->Transfer(buffer, length));
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(buffer[0], 0xEE);
}

TEST_F(EndpointTransfer, ReturnedCountPastTheRequestIsClampedToIt)
{
    attach(Identity::BootLoader);
    world.addFault(FaultRule::on(Identity::BootLoader, 0xA0, FaultAction::ReturnedCount, 38 + 500));
    ep = control();
    ep->direction = request::DIR_FROM_DEVICE;
    std::uint8_t buffer[16] = {};
    std::uint32_t length = sizeof buffer;
    EXPECT_TRUE(ep->Transfer(buffer, length));
    EXPECT_EQ(length, 16u);
}

TEST_F(EndpointTransfer, StallFailsAndKeepsTheDriversStatusWords)
{
    attach(Identity::Camera); // the camera stalls RAM requests
    ep = control();
    std::uint8_t data[4] = {};
    std::uint32_t length = sizeof data;
    EXPECT_FALSE(ep->Transfer(data, length));
    EXPECT_NE(ep->statusA, 0u);
    EXPECT_NE(ep->statusB, 0u);
    EXPECT_EQ(ep->LastError, port::err::GEN_FAILURE);
}

TEST_F(EndpointTransfer, TimeoutShorterThanTheHeaderSecondAbortsThePipe)
{
    const std::uint64_t start = world.nowMs();
    EXPECT_FALSE(writeWith(FaultAction::Silent, 0, 500)); // the header says 1 s
    EXPECT_LT(world.nowMs() - start, 1000u);
    EXPECT_EQ(countCode(IOCTL_ABORT_PIPE), 1u);
    const auto& log = world.driver().ioctlLog();
    const auto abort = std::find_if(log.begin(), log.end(), [](const auto& r) { return r.code == IOCTL_ABORT_PIPE; });
    ASSERT_EQ(abort->head.size(), 1u);
    EXPECT_EQ(abort->head[0], 0); // endpoint 0
    EXPECT_EQ(world.driver().pendingRequestCount(), 0u);
    EXPECT_TRUE(world.violations().empty());
}

TEST_F(EndpointTransfer, DriverHeaderTimeoutEndsASilentRequestWithoutAbort)
{
    EXPECT_FALSE(writeWith(FaultAction::Silent, 0, 1000));
    EXPECT_EQ(countCode(IOCTL_ABORT_PIPE), 0u);
    EXPECT_EQ(ep->LastError, port::err::SEM_TIMEOUT);
}

TEST_F(EndpointTransfer, AbortCompletingWithinFiftyMsNeedsOneAbort)
{
    EXPECT_FALSE(writeWith(FaultAction::AbortLatency, 30, 200)); // cancelled
    EXPECT_EQ(countCode(IOCTL_ABORT_PIPE), 1u);
    EXPECT_EQ(ep->LastError, port::err::OPERATION_ABORTED);
}

TEST_F(EndpointTransfer, SlowAbortIsRepeatedAndWaitedForToTheEnd)
{
    EXPECT_FALSE(writeWith(FaultAction::AbortLatency, 400, 200));
    EXPECT_EQ(countCode(IOCTL_ABORT_PIPE), 2u);
    EXPECT_EQ(world.driver().pendingRequestCount(), 0u);
    EXPECT_TRUE(world.violations().empty());
}

TEST_F(EndpointTransfer, RequestThatNoAbortEndsIsLeftToTheDriverInBoundedTime)
{
    const std::uint64_t start = world.nowMs();
    EXPECT_FALSE(writeWith(FaultAction::HangForever, 0, 100));
    EXPECT_LT(world.nowMs() - start, 100 + 50 + 2 * port::ABORT_WAIT_LIMIT_MS + 100);
    EXPECT_EQ(ep->LastError, port::err::IO_INCOMPLETE);
    EXPECT_EQ(ep->bytesTransferred, 0u);
    // Still in flight: handed over with its block, not freed under the driver.
    EXPECT_EQ(world.driver().pendingRequestCount(), 1u);
    EXPECT_EQ(world.driver().abandonedRequestCount(), 1u);
    std::uint32_t error = 0;
    EXPECT_TRUE(world.driver().closeHandle(handle, error));
    EXPECT_TRUE(world.violations().empty());
    EXPECT_FALSE(world.hangGuardTripped());
}

TEST_F(EndpointTransfer, AbortThatNeverCompletesIsNotWaitedForEndlessly)
{
    world.driverFaults.abortPipeHangs = true;
    const std::uint64_t start = world.nowMs();
    EXPECT_FALSE(writeWith(FaultAction::HangUntilAbort, 0, 100));
    EXPECT_LT(world.nowMs() - start, 100 + 50 + 6 * port::ABORT_WAIT_LIMIT_MS + 100);
    EXPECT_EQ(countCode(IOCTL_ABORT_PIPE), 3u); // two while waiting, one to reap
    EXPECT_EQ(world.driver().abandonedRequestCount(), 4u);
    EXPECT_TRUE(world.violations().empty());
    EXPECT_FALSE(world.hangGuardTripped());
}

TEST_F(EndpointTransfer, FinishOnAPendingRequestAbortsAndReapsBeforeFreeing)
{
    attach(Identity::BootLoader);
    world.addFault(FaultRule::on(Identity::BootLoader, 0xA0, FaultAction::HangUntilAbort));
    ep = control();
    std::uint32_t error = 0;
    auto op = world.driver().newAsyncOp(error);
    std::uint8_t data[4] = {};
    std::uint32_t length = sizeof data;
    auto context = ep->BeginTransfer(data, length, *op);
    ASSERT_TRUE(context);
    EXPECT_EQ(ep->LastError, port::err::IO_PENDING);
    // As after a failed wait: the request is still in flight.
    EXPECT_FALSE(ep->FinishTransfer(data, length, *op, std::move(context), nullptr));
    EXPECT_EQ(countCode(IOCTL_ABORT_PIPE), 1u);
    EXPECT_EQ(world.driver().pendingRequestCount(), 0u);
    op.reset();
    EXPECT_TRUE(world.violations().empty());
}

TEST_F(EndpointTransfer, BeginErrorFailsWithoutWaiting)
{
    const std::uint64_t start = world.nowMs();
    EXPECT_FALSE(writeWith(FaultAction::BeginError, port::err::ACCESS_DENIED));
    EXPECT_EQ(ep->LastError, port::err::ACCESS_DENIED);
    EXPECT_LT(world.nowMs() - start, 10u);
    // A request that never started is neither aborted nor handed over.
    EXPECT_EQ(countCode(IOCTL_ABORT_PIPE), 0u);
    EXPECT_EQ(world.driver().abandonedRequestCount(), 0u);
    EXPECT_TRUE(world.violations().empty());
}

TEST_F(EndpointTransfer, RequestCompletedAtOnceNeedsNoWait)
{
    EXPECT_TRUE(writeWith(FaultAction::CompleteAtOnce));
    EXPECT_EQ(ep->LastError, 0u);
    EXPECT_EQ(ep->bytesTransferred, 4u);
}

TEST_F(EndpointTransfer, NoEventMeansNoRequest)
{
    attach(Identity::BootLoader);
    world.driverFaults.asyncOpError = port::err::NOT_ENOUGH_MEMORY;
    ep = control();
    std::uint8_t data[4] = {};
    std::uint32_t length = sizeof data;
    EXPECT_FALSE(ep->Transfer(data, length));
    EXPECT_EQ(ep->LastError, port::err::NOT_ENOUGH_MEMORY);
    EXPECT_EQ(countCode(IOCTL_CONTROL_TRANSFER), 0u);
}

TEST_F(EndpointTransfer, InvalidHandleOrOversizeControlMakesNoContext)
{
    attach(Identity::BootLoader);
    UsbControlEndPoint closed(&world.driver(), port::INVALID_HANDLE, nullptr);
    std::uint8_t data[4] = {};
    std::uint32_t length = sizeof data;
    EXPECT_FALSE(closed.Transfer(data, length));

    ep = control();
    std::uint32_t error = 0;
    auto op = world.driver().newAsyncOp(error);
    std::vector<std::uint8_t> big(70000);
    EXPECT_FALSE(ep->BeginTransfer(big.data(), static_cast<std::uint32_t>(big.size()), *op));
    EXPECT_TRUE(world.driver().ioctlLog().empty());
}

TEST_F(EndpointTransfer, DeviceGoingAwayFailsTheRequestInFlight)
{
    EXPECT_FALSE(writeWith(FaultAction::Vanish));
    EXPECT_EQ(ep->LastError, port::err::DEVICE_NOT_CONNECTED);
    std::uint8_t data[4] = {};
    std::uint32_t length = sizeof data;
    EXPECT_FALSE(ep->Transfer(data, length)); // and every one after it
}

TEST_F(EndpointTransfer, IsochronousBufferedBlockHoldsThePacketTableBeforeTheData)
{
    attach(Identity::Programmer);
    const std::uint8_t d[7] = {7, 5, 0x81, 1, 0x00, 0x02, 1}; // 512 bytes
    UsbIsocEndPoint ep(&world.driver(), handle, d);
    ep.transferMode = TRANSFER_BUFFERED;
    EXPECT_EQ(ep.packetCount(1000), 2u);
    std::vector<std::uint8_t> data(1000);
    std::uint8_t table[16];
    std::uint32_t length = 1000;
    ep.Transfer(data.data(), length, table);
    const auto& r = world.driver().ioctlLog().back();
    EXPECT_EQ(r.code, IOCTL_BUFFERED_TRANSFER);
    EXPECT_EQ(r.inLength, 38u + 16u + 1000u);
    EXPECT_EQ(r.head[13], 0x81);
    EXPECT_EQ(le32(r.head, 22), 38u);
    EXPECT_EQ(le32(r.head, 26), 16u);
    EXPECT_EQ(le32(r.head, 30), 54u);
    EXPECT_EQ(le32(r.head, 34), 1000u);
    EXPECT_TRUE(world.violations().empty());

    const std::uint8_t zeroSize[7] = {7, 5, 0x81, 1, 0, 0, 1};
    UsbIsocEndPoint none(&world.driver(), handle, zeroSize);
    std::uint32_t error = 0;
    auto op = world.driver().newAsyncOp(error);
    EXPECT_FALSE(none.BeginTransfer(data.data(), 1000, *op));
}

TEST_F(EndpointTransfer, BulkTransfersGoDirectOrBufferedByMode)
{
    attach(Identity::Programmer); // its bulk endpoints echo what they were sent
    const std::uint8_t outDesc[7] = {7, 5, 0x01, 2, 0x00, 0x02, 0};
    const std::uint8_t inDesc[7] = {7, 5, 0x81, 2, 0x00, 0x02, 0};
    UsbBulkEndPoint out(&world.driver(), handle, outDesc);
    UsbBulkEndPoint in(&world.driver(), handle, inDesc);
    for (std::uint32_t mode : {TRANSFER_DIRECT, TRANSFER_BUFFERED}) {
        out.transferMode = in.transferMode = mode;
        std::vector<std::uint8_t> sent(300);
        for (std::size_t i = 0; i < sent.size(); ++i)
            sent[i] = static_cast<std::uint8_t>(i * 3 + mode);
        std::uint32_t length = 300;
        ASSERT_TRUE(out.Transfer(sent.data(), length));
        std::vector<std::uint8_t> received(512, 0);
        length = 512;
        ASSERT_TRUE(in.Transfer(received.data(), length));
        EXPECT_EQ(length, 300u);
        EXPECT_TRUE(std::equal(sent.begin(), sent.end(), received.begin()));
        EXPECT_EQ(world.driver().ioctlLog().back().code,
                  mode == TRANSFER_DIRECT ? IOCTL_DIRECT_TRANSFER : IOCTL_BUFFERED_TRANSFER);
    }
    EXPECT_TRUE(world.violations().empty());
}

} // namespace
} // namespace fxburn
