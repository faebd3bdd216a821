// libFuzzer target: the recorded-stream reader must report any file it is
// given, never crash or read out of bounds.

#include "Tavik/Tavik.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Tavik::CameraSystem system;
    static const std::string path = "/tmp/tavik-fuzz-" + std::to_string(::getpid()) + ".tvks";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return 0;
    }
    Tavik::FrameStreamReader reader(path, system);
    reader.getStreamParamf("depthScalingFactor");
    // At most one note a set, and one for a set the file ends in.
    if (reader.damageNotes().size() > static_cast<size_t>(reader.size()) + 1)
        __builtin_trap();
    // Every set in turn, on past those that fail.
    for (int k = 0; k < reader.size(); ++k) {
        if (reader.currentPosition() != k)
            __builtin_trap();
        if (!reader.readNext())
            continue;
        const auto frames = reader.frames();
        if (!frames[0] || frames[0]->payloadBytes() > size)
            __builtin_trap(); // every frame comes out of the file's own bytes
    }
    if (reader.readNext())
        __builtin_trap(); // nothing past the end
    // Seeks driven by the input: before, inside and past the end.
    for (size_t i = 0; i < size && i < 8; ++i) {
        reader.seekTo(static_cast<int>(static_cast<int8_t>(data[i])));
        reader.readNext();
        if (reader.currentPosition() > reader.size() || reader.currentPosition() < 0)
            __builtin_trap();
    }
    return 0;
}
