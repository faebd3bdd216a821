#pragma once
// Writes recorded-stream files for tests and demos: plain ones with chosen
// ids and timestamps, and crafted broken ones (empty, corrupt in the middle,
// id gaps, timestamp 0, missing stream parameter, truncated, without index).

#include "Tavik/FrameStream.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace Tavik::StreamGenerator {

struct Spec {
    int sets = 10;
    int width = 32;
    int height = 24;
    std::vector<int64_t> ids; // per set; missing entries continue by +1 from 1
    std::vector<int64_t> timestamps; // per set, µs; missing entries continue by intervalUs
    int64_t firstTimestamp = 1000000;
    int64_t intervalUs = 33333;
    float unambiguousRange = 3.9972f;
    bool withDepthScalingFactor = true;
    bool withAmplitudeScalingFactor = true;
    bool withIndex = true;
    std::set<int> corruptSets; // sets whose checksum no longer matches
    std::set<int> damagedLengthSets; // sets whose length no longer matches their records, nor their checksum
    bool truncateLastSet = false; // cut the file in the middle of the last set
    uint32_t seed = 1;
};

// A frame set of the simulated scene at that size.
FrameSet makeFrameSet(int width, int height, int64_t id, int64_t timestamp, float unambiguousRange = 3.9972f,
                      uint32_t seed = 1);

// The wall or floor behind pixel (x, y) of makeFrameSet's scene at that size,
// which only the moving sphere ever hides: its distance along the pixel's ray
// in metres, without noise, and the standard deviation of the noise on it.
struct Background {
    float distance;
    float depthNoise;
};
Background backgroundAt(int width, int height, int x, int y, float unambiguousRange = 3.9972f);

bool write(const std::string& path, const Spec& spec, std::string* error = nullptr);

enum class Crafted {
    Empty, // good header, no sets
    CorruptMiddle, // 10 sets, set 5 fails its checksum
    IdGap, // ids 10, 13, 14, 15, 16; 10 -> 13 lie 100 ms apart
    ZeroTimestamp, // 5 sets, the first with timestamp 0
    NoDepthScalingFactor, // 5 sets, header without "depthScalingFactor"
    Truncated, // 6 sets, the last cut in half, no index
    NoIndex, // 5 good sets without the index footer
    DamagedLength, // 20 sets, the length and the checksum of set 1 damaged, the index sound
};
std::vector<Crafted> allCrafted();
Spec craftedSpec(Crafted kind);
std::string craftedFileName(Crafted kind); // e.g. "corrupt-middle.tvks"
bool writeCrafted(const std::string& path, Crafted kind, std::string* error = nullptr);

} // namespace Tavik::StreamGenerator
