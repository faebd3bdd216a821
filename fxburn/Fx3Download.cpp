// Vendor requests to the FX3 boot loader and the flash programmer, and the
// downloads of an image into RAM, SPI flash and I2C EEPROM.

#include "fxburn/Fx3Device.h"

#include <algorithm>
#include <cstring>

namespace fxburn {

namespace {

constexpr std::uint16_t lowWord(std::uint32_t v)
{
    return static_cast<std::uint16_t>(v);
}
constexpr std::uint16_t highWord(std::uint32_t v)
{
    return static_cast<std::uint16_t>(v >> 16);
}

} // namespace

bool Fx3Device::VendorRequest(std::uint8_t* buffer, std::uint8_t requestCode, std::uint32_t value, std::int32_t length,
                              bool deviceToHost)
{
    UsbControlEndPoint* ep = ControlEndpoint.get();
    if (!ep)
        return false;
    ep->target = request::TARGET_DEVICE;
    ep->requestType = request::TYPE_VENDOR;
    ep->requestCode = requestCode;
    ep->direction = deviceToHost ? request::DIR_FROM_DEVICE : request::DIR_TO_DEVICE;
    ep->value = lowWord(value);
    ep->index = highWord(value);

    if (length == 0) {
        std::uint32_t none = 0;
        return ep->Transfer(nullptr, none);
    }
    if (length < 0)
        return false;

    std::int32_t position = 0;
    for (std::int32_t remaining = length; remaining > 0;) {
        const std::uint32_t chunk = static_cast<std::uint32_t>(std::min(remaining, VENDOR_REQUEST_CHUNK));
        std::vector<std::uint8_t> temporary(chunk, 0);
        if (!deviceToHost)
            std::memcpy(temporary.data(), buffer + position, chunk);
        std::uint32_t moved = chunk;
        if (!ep->Transfer(temporary.data(), moved))
            return false;
        // A short count would leave a gap (or resend to the same address).
        if (moved != chunk)
            return false;
        if (deviceToHost)
            std::memcpy(buffer + position, temporary.data(), chunk);
        position += static_cast<std::int32_t>(chunk);
        remaining -= static_cast<std::int32_t>(chunk);
    }
    return true;
}

bool Fx3Device::VendorWrite(std::uint32_t value, std::int32_t length, std::uint8_t* buffer, std::uint8_t requestCode)
{
    if (length < 0 || length > 0xFFFF)
        return false;
    return VendorRequest(buffer, requestCode, value, length, false);
}

bool Fx3Device::VendorRead(std::uint32_t value, std::int32_t length, std::uint8_t* buffer, std::uint8_t requestCode)
{
    if (length < 0 || length > 0xFFFF)
        return false;
    return VendorRequest(buffer, requestCode, value, length, true);
}

bool Fx3Device::IsBootLoaderRunning()
{
    // Only the boot loader's identity counts: a camera that answered the
    // probe must not receive a RAM download.
    if (ProductId != PID_BOOT_LOADER)
        return false;
    std::uint8_t probe = 0;
    return VendorRequest(&probe, VR_RAM_ACCESS, 0, 1, true);
}

int Fx3Device::EraseSpiSector(std::uint16_t sector, std::uint8_t requestCode)
{
    std::uint8_t status = 1;
    const std::uint32_t sectorValue = std::uint32_t{sector} << 16;
    if (!VendorRequest(nullptr, requestCode, sectorValue | 1u, 0, false))
        return 1;
    port::Clock& clock = *platform.clock;
    const std::uint64_t deadline = clock.nowMs() + SECTOR_ERASE_LIMIT_MS;
    for (;;) {
        if (!VendorRequest(&status, requestCode, sectorValue, 1, true))
            return 1;
        if (status == 0)
            return 0;
        if (clock.nowMs() >= deadline)
            return 1;
        clock.sleepMs(POLL_INTERVAL_MS);
    }
}

bool Fx3Device::WriteSpiPage(std::uint8_t* data, std::int32_t length, std::uint32_t byteOffset,
                             std::uint8_t requestCode)
{
    const std::uint32_t page = byteOffset / SPI_PAGE_SIZE;
    if (page > 0xFFFF)
        return false;
    return VendorRequest(data, requestCode, page << 16, length, false);
}

DownloadResult Fx3Device::DownloadToSpiFlash(const std::uint8_t* image, std::size_t length, std::uint8_t requestCode)
{
    const std::uint64_t writeLength = (std::uint64_t{length} + SPI_PAGE_SIZE - 1) / SPI_PAGE_SIZE * SPI_PAGE_SIZE;
    // Past 16 MiB the page numbers would wrap onto the start of the flash.
    if (writeLength > SPI_MAX_IMAGE_SIZE)
        return INCORRECT_IMAGE_LENGTH;
    const std::uint64_t sectors = (std::uint64_t{length} + SPI_SECTOR_SIZE - 1) / SPI_SECTOR_SIZE;
    for (std::uint64_t sector = 0; sector < sectors; ++sector)
        if (EraseSpiSector(static_cast<std::uint16_t>(sector), requestCode) != 0)
            return SPI_FLASH_ERASE_FAILED;

    std::vector<std::uint8_t> buffer(MAX_WRITE_CHUNK);
    for (std::uint64_t offset = 0; offset < writeLength; offset += MAX_WRITE_CHUNK) {
        const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(MAX_WRITE_CHUNK, writeLength - offset));
        // The filler past the image end is the erased value.
        std::fill(buffer.begin(), buffer.end(), std::uint8_t{0xFF});
        if (offset < length) {
            const std::size_t inImage = std::min<std::size_t>(n, length - offset);
            std::memcpy(buffer.data(), image + offset, inImage);
        }
        if (!WriteSpiPage(buffer.data(), static_cast<std::int32_t>(n), static_cast<std::uint32_t>(offset),
                          VR_SPI_PAGE_WRITE))
            return FAILED;
    }
    return SUCCESS;
}

DownloadResult Fx3Device::DownloadToRam(const std::uint8_t* image, std::size_t length, std::uint8_t requestCode)
{
    BootImage parsed;
    const DownloadResult checked = parseBootImage(image, length, parsed);
    if (checked != SUCCESS)
        return checked;

    std::vector<std::uint8_t> writeBuffer(MAX_WRITE_CHUNK);
    std::vector<std::uint8_t> readBuffer(MAX_WRITE_CHUNK);
    for (const BootChunk& chunk : parsed.chunks) {
        std::memcpy(writeBuffer.data(), image + chunk.offset, chunk.length);
        const auto n = static_cast<std::int32_t>(chunk.length);
        bool written = false;
        for (int attempt = 0; attempt < 3 && !written; ++attempt) {
            if (!VendorWrite(chunk.address, n, writeBuffer.data(), requestCode))
                continue;
            std::fill_n(readBuffer.begin(), chunk.length, std::uint8_t{0});
            if (!VendorRead(chunk.address, n, readBuffer.data(), requestCode))
                continue;
            written = std::equal(writeBuffer.begin(), writeBuffer.begin() + n, readBuffer.begin());
        }
        if (!written)
            return FAILED;
    }
    // A zero-length write at the entry address starts the program; the boot
    // loader may be gone before the status stage, so its outcome is not examined.
    VendorWrite(parsed.entry, 0, nullptr, requestCode);
    return SUCCESS;
}

DownloadResult Fx3Device::DownloadToI2cEeprom(const std::uint8_t* image, std::size_t length, std::uint8_t requestCode)
{
    if (length < 3)
        return I2C_EEPROM_UNKNOWN_SIZE;
    const int sizeCode = (image[2] >> 1) & 7;
    if (sizeCode < 2)
        return I2C_EEPROM_UNKNOWN_SIZE;
    static constexpr std::uint32_t DEVICE_SIZES[8] = {0, 0, 4096, 8192, 16384, 32768, 65536, 65536};
    const std::uint32_t deviceSize = DEVICE_SIZES[sizeCode];
    const bool mode128k = sizeCode == 7;

    UsbControlEndPoint* ep = ControlEndpoint.get();
    if (!ep)
        return FAILED;
    const std::uint32_t packet = ep->maxPacketSize;
    if (packet == 0)
        return FAILED;
    ep->target = request::TARGET_DEVICE;
    ep->requestType = request::TYPE_VENDOR;
    ep->requestCode = requestCode;
    ep->direction = request::DIR_TO_DEVICE;
    ep->value = 0;
    ep->index = 0;

    std::vector<std::uint8_t> block(MAX_WRITE_CHUNK);
    std::uint64_t written = 0;
    const std::size_t wholeBlocks = length / MAX_WRITE_CHUNK;
    for (std::size_t i = 0; i < wholeBlocks; ++i) {
        std::memcpy(block.data(), image + i * MAX_WRITE_CHUNK, MAX_WRITE_CHUNK);
        std::uint32_t moved = MAX_WRITE_CHUNK;
        if (!ep->Transfer(block.data(), moved))
            return FAILED;
        ep->index = static_cast<std::uint16_t>(ep->index + moved);
        written += MAX_WRITE_CHUNK;
        if (written % deviceSize != 0)
            continue;
        if (mode128k) {
            if (written < 131072)
                ep->value = 4;
            else
                ep->value = ep->value == 4 ? 1 : 5;
        } else {
            ep->value = static_cast<std::uint16_t>(ep->value + 1 == 8 ? 0 : ep->value + 1);
        }
        ep->index = 0;
    }

    const std::size_t rest = length - wholeBlocks * MAX_WRITE_CHUNK;
    if (rest > 0) {
        const std::uint32_t padded = static_cast<std::uint32_t>((rest + packet - 1) / packet * packet);
        std::vector<std::uint8_t> tail(padded, 0);
        std::memcpy(tail.data(), image + wholeBlocks * MAX_WRITE_CHUNK, rest);
        std::uint32_t moved = padded;
        if (!ep->Transfer(tail.data(), moved))
            return FAILED;
        ep->requestCode = VR_I2C_EEPROM_READ;
        ep->direction = request::DIR_FROM_DEVICE;
        moved = padded;
        if (!ep->Transfer(tail.data(), moved))
            return FAILED;
    }
    return SUCCESS;
}

DownloadResult Fx3Device::DownloadFw(const std::string& fileName, int target)
{
    std::vector<std::uint8_t> image;
    const DownloadResult read = readImageFile(fileName, image, MAX_IMAGE_FILE_SIZE);
    if (read != SUCCESS)
        return read;
    switch (target) {
    case TARGET_RAM: return DownloadToRam(image.data(), image.size(), VR_RAM_ACCESS);
    case TARGET_I2C_EEPROM: return DownloadToI2cEeprom(image.data(), image.size(), VR_I2C_EEPROM_WRITE);
    case TARGET_SPI_FLASH: return DownloadToSpiFlash(image.data(), image.size(), VR_SPI_SECTOR_ERASE);
    default: return INVALID_MEDIA_TYPE;
    }
}

} // namespace fxburn
