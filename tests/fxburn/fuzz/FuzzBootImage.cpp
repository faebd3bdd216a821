// libFuzzer target: arbitrary bytes as an FX3 boot image. The parser and the
// flow's image checks must never read past the image, and an accepted image
// must describe chunks that lie within it.

#include "fxburn/BootImage.h"

#include <cstddef>
#include <cstdint>

using namespace fxburn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    (void)checkFlashImage(data, size);
    (void)checkProgrammerImage(data, size);
    BootImage parsed;
    const DownloadResult result = parseBootImage(data, size, parsed);
    if (result != SUCCESS)
        return 0;
    for (const BootChunk& chunk : parsed.chunks)
        if (chunk.length == 0 || chunk.length > MAX_WRITE_CHUNK || chunk.offset + chunk.length > size)
            __builtin_trap();
    return 0;
}
