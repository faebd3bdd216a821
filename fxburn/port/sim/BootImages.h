#pragma once
// FX3 boot images for the simulated devices, the tests and the demo: the
// stand-in flash programmer (its program carries a marker the simulated boot
// loader recognises when it jumps) and camera firmware (a marker with the
// camera's product id and bcdDevice, which a replugged board boots from).

#include "fxburn/port/sim/Descriptors.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace fxburn::port::sim {

struct BootRecord {
    std::uint32_t address = 0;
    Bytes data; // a whole number of 32-bit words
};

inline constexpr char PROGRAMMER_MARKER[8] = {'F', 'X', '3', 'P', 'R', 'O', 'G', '!'};
inline constexpr char CAMERA_MARKER[8] = {'K', 'V', 'C', 'A', 'M', 'F', 'W', '1'};
inline constexpr std::uint32_t PROGRAMMER_ENTRY = 0x40000000;

std::uint32_t bootChecksum(const std::vector<BootRecord>& records);
Bytes buildBootImage(const std::vector<BootRecord>& records, std::uint32_t entry, std::uint32_t checksumDelta = 0);

// Three records (one of 600 words); the entry record starts with the marker.
std::vector<BootRecord> programmerRecords();
Bytes makeProgrammerImage();

// A boot image of exactly `fileSize` bytes (at least 48) carrying the marker.
Bytes makeCameraFirmware(std::size_t fileSize, std::uint16_t productId, std::uint16_t bcdDevice);

struct FirmwareIdentity {
    std::uint16_t productId = 0;
    std::uint16_t bcdDevice = 0;
};
// What a board booting from these bytes finds: camera firmware, or nothing.
std::optional<FirmwareIdentity> findCameraFirmware(const Bytes& bytes);

} // namespace fxburn::port::sim
