#include "fxburn/UsbDescriptors.h"

#include <algorithm>
#include <cstring>

namespace fxburn {

namespace {

// Length of the descriptor at `offset`, or 0 when it is malformed (bLength
// below 2) or runs past `end`; a walk stops there.
std::size_t descriptorAt(const std::uint8_t* d, std::size_t offset, std::size_t end)
{
    if (offset + 2 > end)
        return 0;
    const std::size_t length = d[offset];
    if (length < 2 || offset + length > end)
        return 0;
    return length;
}

std::unique_ptr<UsbEndPoint> makeEndpoint(port::DriverPort* driver, port::Handle handle, const std::uint8_t* descriptor,
                                          const std::uint8_t* companion)
{
    switch (descriptor[3] & 3u) {
    case 0: return std::make_unique<UsbControlEndPoint>(driver, handle, descriptor);
    case 1: return std::make_unique<UsbIsocEndPoint>(driver, handle, descriptor, companion);
    case 2: return std::make_unique<UsbBulkEndPoint>(driver, handle, descriptor, companion);
    default: return std::make_unique<UsbInterruptEndPoint>(driver, handle, descriptor, companion);
    }
}

} // namespace

UsbInterface::UsbInterface(port::DriverPort* driver, port::Handle handle, const std::uint8_t* d, std::size_t available,
                           DescriptorVariant variant)
{
    if (available < INTERFACE_DESC_SIZE || d[0] < INTERFACE_DESC_SIZE)
        return;
    bLength = d[0];
    bDescriptorType = d[1];
    bInterfaceNumber = d[2];
    bAlternateSetting = d[3];
    bNumEndpoints = d[4];
    bInterfaceClass = d[5];
    bInterfaceSubClass = d[6];
    bInterfaceProtocol = d[7];
    iInterface = d[8];
    totalLength = bLength;

    const std::size_t end = std::min<std::size_t>(available, 0xFFFF);
    std::size_t offset = bLength;
    int skipped = 0;
    const int lastSlot = std::min<int>(bNumEndpoints, MAX_ENDPOINT_SLOTS - 1);
    for (int slot = 1; slot <= lastSlot;) {
        const std::size_t length = descriptorAt(d, offset, end);
        if (length == 0)
            break;
        const std::uint8_t type = d[offset + 1];
        if (type == DESC_ENDPOINT && length < ENDPOINT_DESC_SIZE)
            break;
        const std::uint8_t* descriptor = d + offset;
        totalLength = static_cast<std::uint16_t>(totalLength + length);
        offset += length;
        if (type != DESC_ENDPOINT) {
            if (++skipped >= 12)
                ++slot;
            continue;
        }
        const std::uint8_t* companion = nullptr;
        if (variant == DescriptorVariant::SuperSpeed) {
            const std::size_t next = descriptorAt(d, offset, end);
            if (next >= COMPANION_DESC_SIZE && d[offset + 1] == DESC_SS_ENDPOINT_COMPANION) {
                if ((descriptor[3] & 3u) != 0)
                    companion = d + offset;
                totalLength = static_cast<std::uint16_t>(totalLength + next);
                offset += next;
            }
        }
        endpoints_[slot] = makeEndpoint(driver, handle, descriptor, companion);
        ++slot;
    }
}

UsbEndPoint* UsbInterface::getEndpoint(int slot) const
{
    if (slot == 0)
        return controlEndpoint_;
    if (slot < 0 || slot >= MAX_ENDPOINT_SLOTS)
        return nullptr;
    return endpoints_[slot].get();
}

UsbConfiguration::UsbConfiguration(port::DriverPort* driver, port::Handle handle, const std::uint8_t* d,
                                   std::size_t size, DescriptorVariant variant)
{
    if (size < CONFIG_DESC_SIZE)
        return;
    bLength = d[0];
    bDescriptorType = d[1];
    wTotalLength = readLe16(d + 2);
    bNumInterfaces = d[4];
    bConfigurationValue = d[5];
    iConfiguration = d[6];
    bmAttributes = d[7];
    MaxPower = d[8];
    if (bLength < CONFIG_DESC_SIZE)
        return;

    const std::size_t end = std::min<std::size_t>(wTotalLength, size);
    std::size_t offset = bLength;
    while (offset < end && interfaceCount < MAX_INTERFACES) {
        const std::size_t length = descriptorAt(d, offset, end);
        if (length == 0)
            break;
        if (d[offset + 1] != DESC_INTERFACE) {
            offset += length;
            continue;
        }
        if (length < INTERFACE_DESC_SIZE)
            break;
        auto iface = std::make_unique<UsbInterface>(driver, handle, d + offset, end - offset, variant);
        offset += iface->totalLength;
        interfaces_[interfaceCount++] = std::move(iface);
    }
    for (int i = 0; i < interfaceCount; ++i) {
        int count = 0;
        for (int j = 0; j < interfaceCount; ++j)
            if (interfaces_[j]->bInterfaceNumber == interfaces_[i]->bInterfaceNumber)
                ++count;
        interfaces_[i]->altSettingCount = static_cast<std::uint8_t>(count);
    }
}

UsbConfiguration::~UsbConfiguration()
{
    for (auto& iface : interfaces_)
        if (iface)
            iface->setControlEndpoint(nullptr);
}

UsbInterface* UsbConfiguration::getInterface(int index) const
{
    if (index < 0 || index >= interfaceCount)
        return nullptr;
    return interfaces_[index].get();
}

Usb20ExtensionCapability::Usb20ExtensionCapability(const std::uint8_t* d)
    : bLength(d[0])
    , bDescriptorType(d[1])
    , bDevCapabilityType(d[2])
    , bmAttributes(readLe32(d + 3))
{
}

SuperSpeedDeviceCapability::SuperSpeedDeviceCapability(const std::uint8_t* d)
    : bLength(d[0])
    , bDescriptorType(d[1])
    , bDevCapabilityType(d[2])
    , bmAttributes(d[3])
    , wSpeedsSupported(readLe16(d + 4))
    , bFunctionalitySupport(d[6])
    , bU1DevExitLat(d[7])
    , wU2DevExitLat(readLe16(d + 8))
{
}

ContainerIdCapability::ContainerIdCapability(const std::uint8_t* d)
    : bLength(d[0])
    , bDescriptorType(d[1])
    , bDevCapabilityType(d[2])
    , ContainerID{}
{
    std::memcpy(ContainerID.data(), d + 4, ContainerID.size());
}

BosCapabilitySet::BosCapabilitySet(port::DriverPort*, port::Handle, const std::uint8_t* d, std::size_t size)
{
    if (size < BOS_DESC_SIZE)
        return;
    bLength = d[0];
    bDescriptorType = d[1];
    wTotalLength = readLe16(d + 2);
    bNumDeviceCaps = d[4];
    if (bLength < BOS_DESC_SIZE || wTotalLength < bLength || bNumDeviceCaps == 0)
        return;

    const std::size_t end = std::min<std::size_t>(wTotalLength, size);
    std::size_t offset = bLength;
    for (int i = 0; i < bNumDeviceCaps; ++i) {
        const std::size_t length = descriptorAt(d, offset, end);
        if (length < 3) // the capability type is byte 2
            break;
        const std::uint8_t* cap = d + offset;
        switch (cap[2]) {
        case CAP_USB20_EXTENSION:
            if (length >= Usb20ExtensionCapability::SIZE)
                usb20Extension = std::make_unique<Usb20ExtensionCapability>(cap);
            break;
        case CAP_SUPERSPEED:
            if (length >= SuperSpeedDeviceCapability::SIZE)
                superSpeed = std::make_unique<SuperSpeedDeviceCapability>(cap);
            break;
        case CAP_CONTAINER_ID:
            if (length >= ContainerIdCapability::SIZE)
                containerId = std::make_unique<ContainerIdCapability>(cap);
            break;
        default: break;
        }
        offset += length;
    }
}

} // namespace fxburn
