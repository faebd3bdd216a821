// The descriptor tree built from raw configuration and BOS descriptors,
// well-formed and malformed: every walk ends and stays within its bytes.

#include "fxburn/UsbDescriptors.h"
#include "fxburn/port/sim/Descriptors.h"

#include <gtest/gtest.h>

#include <memory>

namespace fxburn {
namespace {

using port::sim::BosBuilder;
using port::sim::Bytes;
using port::sim::ConfigBuilder;

std::unique_ptr<UsbConfiguration> parse(const Bytes& d, DescriptorVariant v = DescriptorVariant::SuperSpeed)
{
    return std::make_unique<UsbConfiguration>(nullptr, port::INVALID_HANDLE, d.data(), d.size(), v);
}

std::unique_ptr<BosCapabilitySet> parseBos(const Bytes& d)
{
    return std::make_unique<BosCapabilitySet>(nullptr, port::INVALID_HANDLE, d.data(), d.size());
}

TEST(UsbConfiguration, CopiesTheHeaderAndBuildsInterfacesWithTheirEndpoints)
{
    const Bytes d = ConfigBuilder(3, 0xC0, 25)
                        .interface(0, 0, 2)
                        .endpoint(0x81, 2, 512)
                        .raw({5, 0x24, 1, 2, 3}) // class-specific
                        .endpoint(0x02, 2, 512)
                        .raw({4, 0x21, 9, 9}) // after the last endpoint
                        .build();
    const auto config = parse(d, DescriptorVariant::Usb2);
    EXPECT_EQ(config->wTotalLength, d.size());
    EXPECT_EQ(config->bNumInterfaces, 1);
    EXPECT_EQ(config->bConfigurationValue, 3);
    EXPECT_EQ(config->bmAttributes, 0xC0);
    EXPECT_EQ(config->MaxPower, 25);
    ASSERT_EQ(config->interfaceCount, 1);
    const UsbInterface* iface = config->getInterface(0);
    EXPECT_EQ(iface->bNumEndpoints, 2);
    EXPECT_EQ(iface->totalLength, 9 + 7 + 5 + 7);
    ASSERT_NE(iface->getEndpoint(1), nullptr);
    ASSERT_NE(iface->getEndpoint(2), nullptr);
    EXPECT_EQ(iface->getEndpoint(1)->address, 0x81);
    EXPECT_EQ(iface->getEndpoint(2)->address, 0x02);
    EXPECT_NE(dynamic_cast<UsbBulkEndPoint*>(iface->getEndpoint(1)), nullptr);
    EXPECT_EQ(iface->getEndpoint(3), nullptr);
    EXPECT_EQ(iface->getEndpoint(0), nullptr);
    EXPECT_EQ(config->getInterface(1), nullptr);
}

TEST(UsbConfiguration, EndpointClassFollowsTheTransferType)
{
    const Bytes d = ConfigBuilder()
                        .interface(0, 0, 4)
                        .endpoint(0x00, 0, 64)
                        .endpoint(0x83, 0x05, 1024, 1) // isochronous, asynchronous
                        .endpoint(0x04, 2, 512)
                        .endpoint(0x85, 3, 16, 4)
                        .build();
    const auto config = parse(d, DescriptorVariant::Usb2);
    const UsbInterface* iface = config->getInterface(0);
    EXPECT_NE(dynamic_cast<UsbControlEndPoint*>(iface->getEndpoint(1)), nullptr);
    EXPECT_NE(dynamic_cast<UsbIsocEndPoint*>(iface->getEndpoint(2)), nullptr);
    EXPECT_NE(dynamic_cast<UsbBulkEndPoint*>(iface->getEndpoint(3)), nullptr);
    EXPECT_NE(dynamic_cast<UsbInterruptEndPoint*>(iface->getEndpoint(4)), nullptr);
}

TEST(UsbConfiguration, OnlyTheSuperSpeedVariantReadsCompanions)
{
    const Bytes d = ConfigBuilder()
                        .interface(0, 0, 2)
                        .endpoint(0x81, 2, 1024)
                        .companion(3)
                        .endpoint(0x00, 0, 512)
                        .companion(7)
                        .build();
    const auto ss = parse(d, DescriptorVariant::SuperSpeed);
    const UsbInterface* ssIface = ss->getInterface(0);
    EXPECT_EQ(ssIface->getEndpoint(1)->maxPacketSize, 4096u);
    EXPECT_EQ(ssIface->getEndpoint(2)->maxPacketSize, 512u); // a control endpoint takes none
    EXPECT_EQ(ssIface->totalLength, 9 + 7 + 6 + 7 + 6);

    const auto usb2 = parse(d, DescriptorVariant::Usb2);
    const UsbInterface* iface = usb2->getInterface(0);
    EXPECT_EQ(iface->getEndpoint(1)->maxPacketSize, 1024u);
    EXPECT_EQ(iface->getEndpoint(2)->maxPacketSize, 512u);
}

TEST(UsbConfiguration, AlternateSettingsAreObjectsOfTheirOwnCountedPerInterfaceNumber)
{
    const Bytes d =
        ConfigBuilder().interface(0, 0, 0).interface(0, 1, 1).endpoint(0x81, 1, 512, 1).interface(1, 0, 0).build();
    const auto config = parse(d);
    ASSERT_EQ(config->interfaceCount, 3);
    EXPECT_EQ(config->bNumInterfaces, 2);
    EXPECT_EQ(config->getInterface(0)->altSettingCount, 2);
    EXPECT_EQ(config->getInterface(1)->altSettingCount, 2);
    EXPECT_EQ(config->getInterface(1)->bAlternateSetting, 1);
    EXPECT_EQ(config->getInterface(2)->altSettingCount, 1);
}

TEST(UsbConfiguration, TwelfthForeignDescriptorLeavesTheSlotEmpty)
{
    ConfigBuilder b;
    b.interface(0, 0, 2);
    for (int i = 0; i < 12; ++i)
        b.raw({3, 0x24, static_cast<std::uint8_t>(i)});
    b.endpoint(0x81, 2, 512);
    const auto config = parse(b.build());
    const UsbInterface* iface = config->getInterface(0);
    EXPECT_EQ(iface->getEndpoint(1), nullptr);
    ASSERT_NE(iface->getEndpoint(2), nullptr);
    EXPECT_EQ(iface->getEndpoint(2)->address, 0x81);
}

TEST(UsbConfiguration, NoMoreThanThirtyOneEndpointSlots)
{
    ConfigBuilder b;
    b.interface(0, 0, 40);
    for (int i = 0; i < 40; ++i)
        b.endpoint(static_cast<std::uint8_t>(0x80 | (i % 15 + 1)), 2, 512);
    b.interface(1, 0, 0);
    const auto config = parse(b.build());
    const UsbInterface* iface = config->getInterface(0);
    for (int slot = 1; slot <= 31; ++slot)
        EXPECT_NE(iface->getEndpoint(slot), nullptr) << slot;
    EXPECT_EQ(iface->getEndpoint(32), nullptr);
    EXPECT_EQ(iface->getEndpoint(-1), nullptr);
    // The nine surplus endpoint descriptors are passed over, the next interface is found.
    EXPECT_EQ(config->interfaceCount, 2);
}

TEST(UsbConfiguration, ZeroOrOneByteLengthEndsTheWalk)
{
    for (std::uint8_t bad : {std::uint8_t{0}, std::uint8_t{1}}) {
        Bytes d = ConfigBuilder().interface(0, 0, 0).raw({bad, 0x24, 0, 0}).interface(1, 0, 0).build();
        const auto config = parse(d);
        EXPECT_EQ(config->interfaceCount, 1) << int{bad};

        Bytes inside = ConfigBuilder().interface(0, 0, 2).raw({bad, 5}).endpoint(0x81, 2, 64).build();
        const auto c2 = parse(inside);
        ASSERT_EQ(c2->interfaceCount, 1);
        EXPECT_EQ(c2->getInterface(0)->getEndpoint(1), nullptr);
    }
}

TEST(UsbConfiguration, DescriptorsShorterThanTheirFixedPartAreNotBuilt)
{
    // An interface of 8 bytes ends the configuration walk.
    const Bytes shortInterface = ConfigBuilder().raw({8, 4, 0, 0, 0, 0, 0, 0}).interface(1, 0, 0).build();
    EXPECT_EQ(parse(shortInterface)->interfaceCount, 0);
    // An endpoint of 6 bytes ends the interface walk.
    const Bytes shortEndpoint =
        ConfigBuilder().interface(0, 0, 2).raw({6, 5, 0x81, 2, 0, 2}).endpoint(0x02, 2, 512).build();
    EXPECT_EQ(parse(shortEndpoint)->getInterface(0)->getEndpoint(1), nullptr);
    // A companion of 5 bytes is not read as one.
    const Bytes shortCompanion =
        ConfigBuilder().interface(0, 0, 1).endpoint(0x81, 2, 1024).raw({5, 0x30, 3, 0, 0}).build();
    EXPECT_EQ(parse(shortCompanion)->getInterface(0)->getEndpoint(1)->maxPacketSize, 1024u);
}

TEST(UsbConfiguration, WalkStaysWithinTotalLengthAndTheCopy)
{
    Bytes d = ConfigBuilder().interface(0, 0, 2).endpoint(0x81, 2, 512).endpoint(0x02, 2, 512).build();
    // wTotalLength cuts the second endpoint: it is not built.
    Bytes cut = d;
    cut[2] = static_cast<std::uint8_t>(d.size() - 3);
    const auto c1 = parse(cut);
    EXPECT_NE(c1->getInterface(0)->getEndpoint(1), nullptr);
    EXPECT_EQ(c1->getInterface(0)->getEndpoint(2), nullptr);
    // wTotalLength past the copy: the copy bounds the walk.
    Bytes claimed = d;
    claimed[2] = 0xFF;
    claimed[3] = 0x0F;
    Bytes shortCopy(claimed.begin(), claimed.end() - 3);
    const auto c2 = std::make_unique<UsbConfiguration>(nullptr, port::INVALID_HANDLE, shortCopy.data(),
                                                       shortCopy.size(), DescriptorVariant::Usb2);
    EXPECT_EQ(c2->getInterface(0)->getEndpoint(2), nullptr);
    // A copy shorter than the header builds nothing.
    EXPECT_EQ(parse(Bytes{9, 2, 9, 0})->interfaceCount, 0);
    // A header claiming fewer than nine bytes builds nothing either.
    Bytes shortHeader = d;
    shortHeader[0] = 4;
    EXPECT_EQ(parse(shortHeader)->interfaceCount, 0);
}

TEST(UsbConfiguration, AtMost255InterfaceObjects)
{
    ConfigBuilder b;
    for (int i = 0; i < 300; ++i)
        b.interface(static_cast<std::uint8_t>(i), 0, 0);
    const auto config = parse(b.build());
    EXPECT_EQ(config->interfaceCount, 255);
    EXPECT_NE(config->getInterface(254), nullptr);
    EXPECT_EQ(config->getInterface(255), nullptr);
}

TEST(UsbConfiguration, FreeingLeavesTheDevicesControlEndpointAlone)
{
    const Bytes d = ConfigBuilder().interface(0, 0, 1).endpoint(0x81, 2, 512).build();
    UsbControlEndPoint control(nullptr, port::INVALID_HANDLE, nullptr);
    {
        auto config = parse(d);
        config->getInterface(0)->setControlEndpoint(&control);
        EXPECT_EQ(config->getInterface(0)->getEndpoint(0), &control);
    }
    control.TimeoutMs = 5; // still alive and ours
    EXPECT_EQ(control.TimeoutMs, 5u);
}

TEST(BosCapabilitySet, BuildsTheKnownCapabilitiesAndPassesOverOthers)
{
    const Bytes d = BosBuilder()
                        .platform()
                        .superSpeed(0x0E, 1, 10, 0x07FF)
                        .usb20Extension(0x1E)
                        .containerId({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16})
                        .build();
    const auto bos = parseBos(d);
    EXPECT_EQ(bos->bNumDeviceCaps, 4);
    EXPECT_EQ(bos->wTotalLength, d.size());
    ASSERT_TRUE(bos->superSpeed);
    EXPECT_EQ(bos->superSpeed->wSpeedsSupported, 0x0E);
    EXPECT_EQ(bos->superSpeed->bU1DevExitLat, 10);
    EXPECT_EQ(bos->superSpeed->wU2DevExitLat, 0x07FF);
    ASSERT_TRUE(bos->usb20Extension);
    EXPECT_EQ(bos->usb20Extension->bmAttributes, 0x1Eu);
    ASSERT_TRUE(bos->containerId);
    EXPECT_EQ(bos->containerId->ContainerID[0], 1);
    EXPECT_EQ(bos->containerId->ContainerID[15], 16);
}

TEST(BosCapabilitySet, LaterCapabilityOfTheSameTypeReplacesTheEarlier)
{
    const auto bos = parseBos(BosBuilder().usb20Extension(1).usb20Extension(2).build());
    ASSERT_TRUE(bos->usb20Extension);
    EXPECT_EQ(bos->usb20Extension->bmAttributes, 2u);
}

TEST(BosCapabilitySet, MalformedCapabilitiesGiveNoRecords)
{
    // Too short for their records.
    const auto shortCaps =
        parseBos(BosBuilder().raw({6, 0x10, 2, 0, 0, 0}).raw({9, 0x10, 3, 0, 0, 0, 0, 0, 0}).build());
    EXPECT_FALSE(shortCaps->usb20Extension);
    EXPECT_FALSE(shortCaps->superSpeed);
    // A length below 3 ends the walk before the next capability.
    const auto stop = parseBos(BosBuilder().raw({2, 0x10}).usb20Extension(1).build());
    EXPECT_FALSE(stop->usb20Extension);
    const auto zero = parseBos(BosBuilder().raw({0, 0x10, 2}).usb20Extension(1).build());
    EXPECT_FALSE(zero->usb20Extension);
    // A capability cut off by wTotalLength is not read.
    Bytes cut = BosBuilder().superSpeed().build();
    cut[2] = static_cast<std::uint8_t>(cut.size() - 1);
    EXPECT_FALSE(parseBos(cut)->superSpeed);
    // No capabilities counted, a total below the header, or a copy below the header.
    Bytes none = BosBuilder().superSpeed().build();
    none[4] = 0;
    EXPECT_FALSE(parseBos(none)->superSpeed);
    Bytes small = BosBuilder().superSpeed().build();
    small[2] = 4;
    small[3] = 0;
    EXPECT_FALSE(parseBos(small)->superSpeed);
    EXPECT_EQ(parseBos(Bytes{5, 0x0F})->bNumDeviceCaps, 0);
    // More capabilities counted than present: the walk ends at the copy.
    Bytes more = BosBuilder().usb20Extension(1).build();
    more[4] = 9;
    EXPECT_TRUE(parseBos(more)->usb20Extension);
}

} // namespace
} // namespace fxburn
