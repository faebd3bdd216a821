#pragma once
// The FX3 boot image: "CY", a control byte, an image type byte, then records of
// (length in words, load address, data), ended by a zero length word, the
// entry address and a checksum over all record data (little-endian words).

#include "fxburn/Fx3Requests.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace fxburn {

// One RAM write: at most MAX_WRITE_CHUNK bytes of the image at `offset`.
struct BootChunk {
    std::uint32_t address = 0;
    std::size_t offset = 0;
    std::uint32_t length = 0;
};

struct BootImage {
    std::vector<BootChunk> chunks; // in the order they are written
    std::uint32_t entry = 0;
    std::uint32_t checksum = 0;
};

// Checks the whole image before anything is sent. Codes: INVALID_FWSIGNATURE,
// INCORRECT_IMAGE_LENGTH (a field or a chunk runs past the end, or the entry or
// checksum word is missing), CORRUPT_FIRMWARE_IMAGE_FILE (a chunk longer than
// the whole image, or a checksum mismatch), else SUCCESS.
DownloadResult parseBootImage(const std::uint8_t* image, std::size_t length, BootImage& parsed);

// The flash programmer's image, checked before the camera is touched: the
// parse above, then at least one record, every record word-aligned and within
// the FX3's memory (instruction memory 0x00000000-0x00003FFF, data memory
// 0x10000000-0x10001FFF, system memory 0x40000000-0x4007FFFF) and the entry
// address within it too, else CORRUPT_FIRMWARE_IMAGE_FILE.
DownloadResult checkProgrammerImage(const std::uint8_t* image, std::size_t length);

// The firmware image, checked whole before anything is sent: the boot ROM
// reads it from the SPI flash with the same parse. Codes: INCORRECT_IMAGE_LENGTH
// (over SPI_MAX_IMAGE_SIZE, or a record, the terminator, the entry or the
// checksum word past the end), INVALID_FWSIGNATURE, CORRUPT_FIRMWARE_IMAGE_FILE
// (a checksum mismatch), else SUCCESS.
DownloadResult checkFlashImage(const std::uint8_t* image, std::size_t length);

// Opens an image file for reading ("rb") without ever blocking: anything but a
// regular file (a FIFO, a socket, a device, a folder) is refused, and `why`
// then says so. Null when refused or when it cannot be opened.
std::FILE* openImageFile(const std::string& fileName, std::string* why = nullptr);

// Reads a whole file as the downloads do: INVALID_FILE when it cannot be
// opened or read, is not a regular file, is empty or larger than `maxSize`.
DownloadResult readImageFile(const std::string& fileName, std::vector<std::uint8_t>& bytes, std::size_t maxSize);

// Files larger than this are refused before a buffer is allocated.
inline constexpr std::size_t MAX_IMAGE_FILE_SIZE = std::size_t{64} << 20;

} // namespace fxburn
