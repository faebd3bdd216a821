#pragma once
// Builders for the standard descriptors the simulated devices report. Tests
// also use them (and raw bytes) to make malformed descriptors on purpose.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace fxburn::port::sim {

using Bytes = std::vector<std::uint8_t>;

struct DeviceFields {
    std::uint16_t bcdUsb = 0x0200;
    std::uint8_t deviceClass = 0;
    std::uint8_t deviceSubClass = 0;
    std::uint8_t deviceProtocol = 0;
    std::uint8_t maxPacketSize0 = 64; // an exponent from USB 3 on
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t bcdDevice = 0x0100;
    std::uint8_t iManufacturer = 1;
    std::uint8_t iProduct = 2;
    std::uint8_t iSerialNumber = 3;
    std::uint8_t numConfigurations = 1;
};

Bytes deviceDescriptor(const DeviceFields& fields);

class ConfigBuilder {
public:
    explicit ConfigBuilder(std::uint8_t configurationValue = 1, std::uint8_t attributes = 0x80,
                           std::uint8_t maxPower = 50);
    ConfigBuilder& interface(std::uint8_t number, std::uint8_t alternateSetting, std::uint8_t numEndpoints,
                             std::uint8_t interfaceClass = 0xFF);
    ConfigBuilder& endpoint(std::uint8_t address, std::uint8_t attributes, std::uint16_t maxPacketSize,
                            std::uint8_t interval = 0);
    ConfigBuilder& companion(std::uint8_t maxBurst, std::uint8_t attributes = 0, std::uint16_t bytesPerInterval = 0);
    ConfigBuilder& raw(const Bytes& descriptor);
    // Fills in wTotalLength and bNumInterfaces (distinct interface numbers).
    Bytes build() const;

private:
    Bytes bytes_;
    std::vector<std::uint8_t> numbers_;
};

class BosBuilder {
public:
    BosBuilder& usb20Extension(std::uint32_t attributes);
    BosBuilder& superSpeed(std::uint16_t speedsSupported = 0x0E, std::uint8_t functionality = 1,
                           std::uint8_t u1ExitLatency = 10, std::uint16_t u2ExitLatency = 0x07FF);
    BosBuilder& containerId(const std::array<std::uint8_t, 16>& id);
    BosBuilder& platform(); // a capability the tool does not know
    BosBuilder& raw(const Bytes& descriptor, bool countsAsCapability = true);
    Bytes build() const;

private:
    Bytes caps_;
    std::uint8_t count_ = 0;
};

Bytes stringDescriptor(const std::string& ascii);
Bytes languageList(const std::vector<std::uint16_t>& ids);

} // namespace fxburn::port::sim
