// libFuzzer target: arbitrary bytes as a configuration descriptor (both
// variants) and as a BOS descriptor. Every walk must end and stay in bounds;
// what it builds must be consistent with the bytes it was given.

#include "fxburn/UsbDescriptors.h"

#include <cstddef>
#include <cstdint>

using namespace fxburn;

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void walk(const std::uint8_t* data, std::size_t size, DescriptorVariant variant)
{
    UsbConfiguration config(nullptr, port::INVALID_HANDLE, data, size, variant);
    check(config.interfaceCount <= MAX_INTERFACES);
    for (int i = 0; i < config.interfaceCount; ++i) {
        const UsbInterface* iface = config.getInterface(i);
        check(iface != nullptr);
        check(iface->totalLength <= size);
        check(iface->altSettingCount >= 1);
        for (int slot = 1; slot < MAX_ENDPOINT_SLOTS; ++slot)
            if (const UsbEndPoint* ep = iface->getEndpoint(slot))
                check(ep->descriptorLength >= ENDPOINT_DESC_SIZE);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    walk(data, size, DescriptorVariant::Usb2);
    walk(data, size, DescriptorVariant::SuperSpeed);
    BosCapabilitySet bos(nullptr, port::INVALID_HANDLE, data, size);
    if (bos.superSpeed)
        check(bos.superSpeed->bLength >= SuperSpeedDeviceCapability::SIZE);
    if (bos.containerId)
        check(bos.containerId->bLength >= ContainerIdCapability::SIZE);
    return 0;
}
