#include "fxburn/port/sim/Descriptors.h"

#include <algorithm>

namespace fxburn::port::sim {

namespace {

void put16(Bytes& b, std::uint16_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

} // namespace

Bytes deviceDescriptor(const DeviceFields& f)
{
    Bytes d{18, 1};
    put16(d, f.bcdUsb);
    d.push_back(f.deviceClass);
    d.push_back(f.deviceSubClass);
    d.push_back(f.deviceProtocol);
    d.push_back(f.maxPacketSize0);
    put16(d, f.vendorId);
    put16(d, f.productId);
    put16(d, f.bcdDevice);
    d.push_back(f.iManufacturer);
    d.push_back(f.iProduct);
    d.push_back(f.iSerialNumber);
    d.push_back(f.numConfigurations);
    return d;
}

ConfigBuilder::ConfigBuilder(std::uint8_t configurationValue, std::uint8_t attributes, std::uint8_t maxPower)
    : bytes_{9, 2, 0, 0, 0, configurationValue, 0, attributes, maxPower}
{
}

ConfigBuilder& ConfigBuilder::interface(std::uint8_t number, std::uint8_t alternateSetting, std::uint8_t numEndpoints,
                                        std::uint8_t interfaceClass)
{
    bytes_.insert(bytes_.end(), {9, 4, number, alternateSetting, numEndpoints, interfaceClass, 0, 0, 0});
    if (std::find(numbers_.begin(), numbers_.end(), number) == numbers_.end())
        numbers_.push_back(number);
    return *this;
}

ConfigBuilder& ConfigBuilder::endpoint(std::uint8_t address, std::uint8_t attributes, std::uint16_t maxPacketSize,
                                       std::uint8_t interval)
{
    bytes_.insert(bytes_.end(), {7, 5, address, attributes});
    put16(bytes_, maxPacketSize);
    bytes_.push_back(interval);
    return *this;
}

ConfigBuilder& ConfigBuilder::companion(std::uint8_t maxBurst, std::uint8_t attributes, std::uint16_t bytesPerInterval)
{
    bytes_.insert(bytes_.end(), {6, 0x30, maxBurst, attributes});
    put16(bytes_, bytesPerInterval);
    return *this;
}

ConfigBuilder& ConfigBuilder::raw(const Bytes& descriptor)
{
    bytes_.insert(bytes_.end(), descriptor.begin(), descriptor.end());
    return *this;
}

Bytes ConfigBuilder::build() const
{
    Bytes b = bytes_;
    b[2] = static_cast<std::uint8_t>(b.size());
    b[3] = static_cast<std::uint8_t>(b.size() >> 8);
    b[4] = static_cast<std::uint8_t>(numbers_.size());
    return b;
}

BosBuilder& BosBuilder::usb20Extension(std::uint32_t attributes)
{
    caps_.insert(caps_.end(), {7, 0x10, 2});
    for (int i = 0; i < 4; ++i)
        caps_.push_back(static_cast<std::uint8_t>(attributes >> (8 * i)));
    ++count_;
    return *this;
}

BosBuilder& BosBuilder::superSpeed(std::uint16_t speedsSupported, std::uint8_t functionality,
                                   std::uint8_t u1ExitLatency, std::uint16_t u2ExitLatency)
{
    caps_.insert(caps_.end(), {10, 0x10, 3, 0});
    put16(caps_, speedsSupported);
    caps_.push_back(functionality);
    caps_.push_back(u1ExitLatency);
    put16(caps_, u2ExitLatency);
    ++count_;
    return *this;
}

BosBuilder& BosBuilder::containerId(const std::array<std::uint8_t, 16>& id)
{
    caps_.insert(caps_.end(), {20, 0x10, 4, 0});
    caps_.insert(caps_.end(), id.begin(), id.end());
    ++count_;
    return *this;
}

BosBuilder& BosBuilder::platform()
{
    caps_.insert(caps_.end(), {20, 0x10, 5, 0});
    caps_.insert(caps_.end(), 16, 0x5A);
    ++count_;
    return *this;
}

BosBuilder& BosBuilder::raw(const Bytes& descriptor, bool countsAsCapability)
{
    caps_.insert(caps_.end(), descriptor.begin(), descriptor.end());
    if (countsAsCapability)
        ++count_;
    return *this;
}

Bytes BosBuilder::build() const
{
    Bytes b(5 + caps_.size());
    b[0] = 5;
    b[1] = 0x0F;
    b[4] = count_;
    std::copy(caps_.begin(), caps_.end(), b.begin() + 5);
    b[2] = static_cast<std::uint8_t>(b.size());
    b[3] = static_cast<std::uint8_t>(b.size() >> 8);
    return b;
}

Bytes stringDescriptor(const std::string& ascii)
{
    const std::size_t chars = std::min<std::size_t>(ascii.size(), 126);
    Bytes d{static_cast<std::uint8_t>(2 + 2 * chars), 3};
    for (std::size_t i = 0; i < chars; ++i)
        put16(d, static_cast<std::uint8_t>(ascii[i]));
    return d;
}

Bytes languageList(const std::vector<std::uint16_t>& ids)
{
    Bytes d{static_cast<std::uint8_t>(2 + 2 * ids.size()), 3};
    for (std::uint16_t id : ids)
        put16(d, id);
    return d;
}

} // namespace fxburn::port::sim
