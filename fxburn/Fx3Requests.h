#pragma once
// Vendor requests of the FX3 boot loader and the flash programmer, the download
// targets and the download result codes with their texts.

#include <array>
#include <cstdint>

namespace fxburn {

inline constexpr std::int32_t VENDOR_REQUEST_CHUNK = 65535;
inline constexpr std::uint32_t MAX_WRITE_CHUNK = 2048;
inline constexpr std::uint32_t SPI_PAGE_SIZE = 256;
inline constexpr std::uint32_t SPI_SECTOR_SIZE = 65536;
// Page numbers travel in 16-bit wIndex.
inline constexpr std::uint64_t SPI_MAX_IMAGE_SIZE = std::uint64_t{65536} * SPI_PAGE_SIZE;

inline constexpr std::uint8_t VR_RAM_ACCESS = 0xA0;
inline constexpr std::uint8_t VR_SPI_SECTOR_ERASE = 0xC4;
inline constexpr std::uint8_t VR_SPI_PAGE_WRITE = 0xC2;
inline constexpr std::uint8_t VR_I2C_EEPROM_WRITE = 0xBA;
inline constexpr std::uint8_t VR_I2C_EEPROM_READ = 0xBB;

// Polls and probes pause this long between tries, and give up after the bounds.
inline constexpr std::uint32_t POLL_INTERVAL_MS = 100;
inline constexpr std::uint32_t SECTOR_ERASE_LIMIT_MS = 10000;

// USB identities: either vendor id with any of the product ids.
inline constexpr std::uint16_t VID_PRIMARY = 0x04B4;
inline constexpr std::uint16_t VID_SECONDARY = 0x14B4;
inline constexpr std::uint16_t PID_BOOT_LOADER = 0x00F3;
inline constexpr std::uint16_t PID_FLASH_PROGRAMMER = 0x4720;
inline constexpr std::uint16_t PID_CAMERA_A = 0x9108;
inline constexpr std::uint16_t PID_CAMERA_B = 0x9109;

enum DownloadTarget : int { TARGET_RAM = 1, TARGET_I2C_EEPROM = 2, TARGET_SPI_FLASH = 3 };

enum DownloadResult : int {
    SUCCESS = 0,
    FAILED = 1,
    INVALID_MEDIA_TYPE = 2,
    INVALID_FWSIGNATURE = 3,
    DEVICE_CREATE_FAILED = 4,
    INCORRECT_IMAGE_LENGTH = 5,
    INVALID_FILE = 6,
    SPI_FLASH_ERASE_FAILED = 7,
    CORRUPT_FIRMWARE_IMAGE_FILE = 8,
    I2C_EEPROM_UNKNOWN_SIZE = 9,
};

inline constexpr std::array<const char*, 10> DOWNLOAD_RESULT_NAMES = {
    "SUCCESS",
    "FAILED",
    "INVALID_MEDIA_TYPE",
    "INVALID_FWSIGNATURE",
    "DEVICE_CREATE_FAILED",
    "INCORRECT_IMAGE_LENGTH",
    "INVALID_FILE",
    "SPI_FLASH_ERASE_FAILED",
    "CORRUPT_FIRMWARE_IMAGE_FILE",
    "I2C_EEPROM_UNKNOWN_SIZE",
};

// The text of a result code; "UNKNOWN" for a code outside the table.
inline const char* downloadResultName(int result)
{
    if (result < 0 || result >= static_cast<int>(DOWNLOAD_RESULT_NAMES.size()))
        return "UNKNOWN";
    return DOWNLOAD_RESULT_NAMES[static_cast<std::size_t>(result)];
}

} // namespace fxburn
