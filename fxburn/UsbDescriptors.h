#pragma once
// The descriptor tree: configurations holding their interfaces (alternate
// settings included), interfaces holding the endpoint objects built from their
// endpoint descriptors, and the three BOS device capabilities the tool knows.
// Every walk stays within the bytes it is given; malformed descriptors yield
// fewer objects, empty slots or missing records.

#include "fxburn/UsbEndPoint.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace fxburn {

enum class DescriptorVariant { Usb2, SuperSpeed };

inline constexpr std::uint8_t DESC_DEVICE = 1;
inline constexpr std::uint8_t DESC_CONFIGURATION = 2;
inline constexpr std::uint8_t DESC_STRING = 3;
inline constexpr std::uint8_t DESC_INTERFACE = 4;
inline constexpr std::uint8_t DESC_ENDPOINT = 5;
inline constexpr std::uint8_t DESC_BOS = 0x0F;
inline constexpr std::uint8_t DESC_DEVICE_CAPABILITY = 0x10;
inline constexpr std::uint8_t DESC_SS_ENDPOINT_COMPANION = 0x30;

inline constexpr std::size_t CONFIG_DESC_SIZE = 9;
inline constexpr std::size_t INTERFACE_DESC_SIZE = 9;
inline constexpr std::size_t ENDPOINT_DESC_SIZE = 7;
inline constexpr std::size_t COMPANION_DESC_SIZE = 6;
inline constexpr std::size_t BOS_DESC_SIZE = 5;

inline constexpr int MAX_ENDPOINT_SLOTS = 32; // slot 0 is the control endpoint
inline constexpr int MAX_INTERFACES = 255;

class UsbInterface {
public:
    // `descriptor` points at an interface descriptor; `available` bytes of the
    // configuration copy follow from there (the walk never reads past them).
    UsbInterface(port::DriverPort* driver, port::Handle handle, const std::uint8_t* descriptor, std::size_t available,
                 DescriptorVariant variant);

    UsbEndPoint* getEndpoint(int slot) const;
    // Slot 0 while this interface is the device's current one; not owned.
    void setControlEndpoint(UsbEndPoint* endpoint) { controlEndpoint_ = endpoint; }

    std::uint8_t bLength = 0;
    std::uint8_t bDescriptorType = 0;
    std::uint8_t bInterfaceNumber = 0;
    std::uint8_t bAlternateSetting = 0;
    std::uint8_t bNumEndpoints = 0;
    std::uint8_t bInterfaceClass = 0;
    std::uint8_t bInterfaceSubClass = 0;
    std::uint8_t bInterfaceProtocol = 0;
    std::uint8_t iInterface = 0;
    std::uint8_t altSettingCount = 0;
    std::uint16_t totalLength = 0;

private:
    UsbEndPoint* controlEndpoint_ = nullptr;
    std::array<std::unique_ptr<UsbEndPoint>, MAX_ENDPOINT_SLOTS> endpoints_;
};

class UsbConfiguration {
public:
    // `descriptor` is the configuration descriptor copy of `size` bytes.
    UsbConfiguration(port::DriverPort* driver, port::Handle handle, const std::uint8_t* descriptor, std::size_t size,
                     DescriptorVariant variant);

    UsbInterface* getInterface(int index) const;
    // The interface slot 0 references go first; the device frees its control endpoint itself.
    ~UsbConfiguration();

    std::uint8_t bLength = 0;
    std::uint8_t bDescriptorType = 0;
    std::uint16_t wTotalLength = 0;
    std::uint8_t bNumInterfaces = 0;
    std::uint8_t bConfigurationValue = 0;
    std::uint8_t iConfiguration = 0;
    std::uint8_t bmAttributes = 0;
    std::uint8_t MaxPower = 0;
    std::uint8_t interfaceCount = 0; // interface objects, alternate settings counted separately

private:
    std::array<std::unique_ptr<UsbInterface>, MAX_INTERFACES> interfaces_;
};

struct Usb20ExtensionCapability {
    static constexpr std::size_t SIZE = 7;
    explicit Usb20ExtensionCapability(const std::uint8_t* d);
    std::uint8_t bLength, bDescriptorType, bDevCapabilityType;
    std::uint32_t bmAttributes;
};

struct SuperSpeedDeviceCapability {
    static constexpr std::size_t SIZE = 10;
    explicit SuperSpeedDeviceCapability(const std::uint8_t* d);
    std::uint8_t bLength, bDescriptorType, bDevCapabilityType, bmAttributes;
    std::uint16_t wSpeedsSupported;
    std::uint8_t bFunctionalitySupport, bU1DevExitLat;
    std::uint16_t wU2DevExitLat;
};

struct ContainerIdCapability {
    static constexpr std::size_t SIZE = 20;
    explicit ContainerIdCapability(const std::uint8_t* d);
    std::uint8_t bLength, bDescriptorType, bDevCapabilityType;
    std::array<std::uint8_t, 16> ContainerID;
};

inline constexpr std::uint8_t CAP_USB20_EXTENSION = 2;
inline constexpr std::uint8_t CAP_SUPERSPEED = 3;
inline constexpr std::uint8_t CAP_CONTAINER_ID = 4;

class BosCapabilitySet {
public:
    // `descriptor` is the BOS descriptor copy of `size` bytes.
    BosCapabilitySet(port::DriverPort* driver, port::Handle handle, const std::uint8_t* descriptor, std::size_t size);

    std::unique_ptr<ContainerIdCapability> containerId;
    std::unique_ptr<Usb20ExtensionCapability> usb20Extension;
    std::unique_ptr<SuperSpeedDeviceCapability> superSpeed;
    std::uint8_t bLength = 0;
    std::uint8_t bDescriptorType = 0;
    std::uint16_t wTotalLength = 0;
    std::uint8_t bNumDeviceCaps = 0;
};

} // namespace fxburn
