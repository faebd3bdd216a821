#include "fxburn/BootImage.h"

#include "fxburn/UsbEndPoint.h"

#include <algorithm>
#include <cstdio>

#include <sys/stat.h>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fxburn {

namespace {

struct MemoryRegion {
    std::uint32_t base;
    std::uint32_t size;
};
constexpr MemoryRegion FX3_MEMORY[] = {{0x00000000, 0x4000}, {0x10000000, 0x2000}, {0x40000000, 0x80000}};

bool inFx3Memory(std::uint32_t address, std::uint64_t length)
{
    for (const MemoryRegion& region : FX3_MEMORY)
        if (address >= region.base && address + length <= std::uint64_t{region.base} + region.size)
            return true;
    return false;
}

#ifdef _WIN32
using FileStatus = struct _stat64;
int statFile(const char* name, FileStatus& status)
{
    return _stat64(name, &status);
}
int statFile(std::FILE* file, FileStatus& status)
{
    return _fstat64(_fileno(file), &status);
}
bool isRegular(const FileStatus& status)
{
    return (status.st_mode & _S_IFMT) == _S_IFREG;
}
std::FILE* openForReading(const char* name)
{
    return std::fopen(name, "rb");
}
#else
using FileStatus = struct stat;
int statFile(const char* name, FileStatus& status)
{
    return ::stat(name, &status);
}
int statFile(std::FILE* file, FileStatus& status)
{
    return ::fstat(::fileno(file), &status);
}
bool isRegular(const FileStatus& status)
{
    return S_ISREG(status.st_mode);
}
// O_NONBLOCK: a FIFO opens at once (and is refused after) rather than
// waiting for a writer; a regular file is then read as usual.
std::FILE* openForReading(const char* name)
{
    const int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat status { };
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file)
        ::close(fd);
    return file;
}
#endif

// `overlong` is the code of a chunk longer than the whole image.
DownloadResult parse(const std::uint8_t* image, std::size_t length, BootImage& parsed, DownloadResult overlong)
{
    parsed = BootImage{};
    if (length < 2 || image[0] != 'C' || image[1] != 'Y')
        return INVALID_FWSIGNATURE;

    std::uint32_t sum = 0;
    std::size_t position = 4;
    for (;;) {
        if (position + 4 > length)
            return INCORRECT_IMAGE_LENGTH;
        const std::uint64_t recordBytes = std::uint64_t{readLe32(image + position)} * 4u;
        position += 4;
        if (recordBytes == 0)
            break;
        if (position + 4 > length)
            return INCORRECT_IMAGE_LENGTH;
        std::uint32_t address = readLe32(image + position);
        position += 4;
        for (std::uint64_t remaining = recordBytes; remaining > 0;) {
            const auto chunk = static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining, MAX_WRITE_CHUNK));
            if (chunk > length)
                return overlong;
            if (position + chunk > length)
                return INCORRECT_IMAGE_LENGTH;
            for (std::uint32_t i = 0; i + 4 <= chunk; i += 4)
                sum += readLe32(image + position + i);
            parsed.chunks.push_back({address, position, chunk});
            address += chunk;
            position += chunk;
            remaining -= chunk;
        }
    }
    if (position + 8 > length)
        return INCORRECT_IMAGE_LENGTH;
    parsed.entry = readLe32(image + position);
    parsed.checksum = readLe32(image + position + 4);
    if (parsed.checksum != sum)
        return CORRUPT_FIRMWARE_IMAGE_FILE;
    return SUCCESS;
}

} // namespace

DownloadResult parseBootImage(const std::uint8_t* image, std::size_t length, BootImage& parsed)
{
    return parse(image, length, parsed, CORRUPT_FIRMWARE_IMAGE_FILE);
}

DownloadResult checkProgrammerImage(const std::uint8_t* image, std::size_t length)
{
    BootImage parsed;
    const DownloadResult result = parseBootImage(image, length, parsed);
    if (result != SUCCESS)
        return result;
    // Such an image passes the boot loader's read-back and then never starts.
    if (parsed.chunks.empty() || !inFx3Memory(parsed.entry, 1))
        return CORRUPT_FIRMWARE_IMAGE_FILE;
    for (const BootChunk& chunk : parsed.chunks)
        if (chunk.address % 4 != 0 || !inFx3Memory(chunk.address, chunk.length))
            return CORRUPT_FIRMWARE_IMAGE_FILE;
    return SUCCESS;
}

DownloadResult checkFlashImage(const std::uint8_t* image, std::size_t length)
{
    if (length > SPI_MAX_IMAGE_SIZE)
        return INCORRECT_IMAGE_LENGTH;
    BootImage parsed;
    return parse(image, length, parsed, INCORRECT_IMAGE_LENGTH);
}

std::FILE* openImageFile(const std::string& fileName, std::string* why)
{
    // Looked at before the open, which could wait, and after it, in case the
    // name changed hands in between.
    FileStatus status;
    bool refused = statFile(fileName.c_str(), status) == 0 && !isRegular(status);
    std::FILE* file = refused ? nullptr : openForReading(fileName.c_str());
    if (file && (statFile(file, status) != 0 || !isRegular(status))) {
        std::fclose(file);
        file = nullptr;
        refused = true;
    }
    if (refused && why)
        *why = "not a regular file";
    return file;
}

DownloadResult readImageFile(const std::string& fileName, std::vector<std::uint8_t>& bytes, std::size_t maxSize)
{
    bytes.clear();
    std::FILE* file = openImageFile(fileName);
    if (!file)
        return INVALID_FILE;
    DownloadResult result = INVALID_FILE;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        if (size > 0 && static_cast<unsigned long>(size) <= maxSize && std::fseek(file, 0, SEEK_SET) == 0) {
            bytes.resize(static_cast<std::size_t>(size));
            if (std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size())
                result = SUCCESS;
            else
                bytes.clear();
        }
    }
    std::fclose(file);
    return result;
}

} // namespace fxburn
