#include "fxburn/port/sim/BootImages.h"

#include <algorithm>
#include <cstring>

namespace fxburn::port::sim {

namespace {

void put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t get32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

Bytes pattern(std::size_t size, std::uint32_t seed)
{
    Bytes b(size);
    std::uint32_t x = seed;
    for (auto& byte : b) {
        x = x * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(x >> 24);
    }
    return b;
}

} // namespace

std::uint32_t bootChecksum(const std::vector<BootRecord>& records)
{
    std::uint32_t sum = 0;
    for (const auto& r : records)
        for (std::size_t i = 0; i + 4 <= r.data.size(); i += 4)
            sum += get32(r.data.data() + i);
    return sum;
}

Bytes buildBootImage(const std::vector<BootRecord>& records, std::uint32_t entry, std::uint32_t checksumDelta)
{
    Bytes image{'C', 'Y', 0x1C, 0xB0};
    for (const auto& r : records) {
        put32(image, static_cast<std::uint32_t>(r.data.size() / 4));
        put32(image, r.address);
        image.insert(image.end(), r.data.begin(), r.data.end());
    }
    put32(image, 0);
    put32(image, entry);
    put32(image, bootChecksum(records) + checksumDelta);
    return image;
}

std::vector<BootRecord> programmerRecords()
{
    BootRecord code{PROGRAMMER_ENTRY, pattern(64, 1)};
    std::memcpy(code.data.data(), PROGRAMMER_MARKER, sizeof PROGRAMMER_MARKER);
    return {code, {0x40003000, pattern(600 * 4, 2)}, {0x10000000, pattern(20, 3)}};
}

Bytes makeProgrammerImage()
{
    return buildBootImage(programmerRecords(), PROGRAMMER_ENTRY);
}

Bytes makeCameraFirmware(std::size_t fileSize, std::uint16_t productId, std::uint16_t bcdDevice)
{
    // "CY" header, the marker record, one data record, end, entry, checksum.
    constexpr std::size_t FIXED = 4 + (8 + 16) + 8 + 4 + 8;
    BootRecord marker{0x40000000, Bytes(16, 0)};
    std::memcpy(marker.data.data(), CAMERA_MARKER, sizeof CAMERA_MARKER);
    marker.data[8] = static_cast<std::uint8_t>(productId);
    marker.data[9] = static_cast<std::uint8_t>(productId >> 8);
    marker.data[10] = static_cast<std::uint8_t>(bcdDevice);
    marker.data[11] = static_cast<std::uint8_t>(bcdDevice >> 8);
    const std::size_t room = fileSize > FIXED ? (fileSize - FIXED) / 4 * 4 : 0;
    BootRecord body{0x40000100, pattern(room, bcdDevice + 7u)};
    std::vector<BootRecord> records{marker};
    if (!body.data.empty())
        records.push_back(body);
    Bytes image = buildBootImage(records, 0x40000100);
    // Nothing after the checksum word is read: pad to the exact size.
    if (image.size() < fileSize) {
        const Bytes tail = pattern(fileSize - image.size(), 99);
        image.insert(image.end(), tail.begin(), tail.end());
    }
    return image;
}

std::optional<FirmwareIdentity> findCameraFirmware(const Bytes& bytes)
{
    // The boot ROM starts only a whole image: records in bounds, the end
    // record, the entry and a matching checksum.
    if (bytes.size() < 4 || bytes[0] != 'C' || bytes[1] != 'Y')
        return std::nullopt;
    std::optional<FirmwareIdentity> found;
    std::uint32_t sum = 0;
    std::size_t position = 4;
    for (;;) {
        if (position + 4 > bytes.size())
            return std::nullopt;
        const std::uint64_t length = std::uint64_t{get32(bytes.data() + position)} * 4;
        position += 4;
        if (length == 0)
            break;
        if (position + 4 + length > bytes.size())
            return std::nullopt;
        const std::uint8_t* data = bytes.data() + position + 4;
        if (!found && length >= 12 && std::memcmp(data, CAMERA_MARKER, sizeof CAMERA_MARKER) == 0)
            found = FirmwareIdentity{static_cast<std::uint16_t>(data[8] | (data[9] << 8)),
                                     static_cast<std::uint16_t>(data[10] | (data[11] << 8))};
        for (std::size_t i = 0; i < length; i += 4)
            sum += get32(data + i);
        position += 4 + static_cast<std::size_t>(length);
    }
    if (position + 8 > bytes.size() || get32(bytes.data() + position + 4) != sum)
        return std::nullopt;
    return found;
}

} // namespace fxburn::port::sim
