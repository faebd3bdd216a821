#pragma once
// The firmware updater's program flow: finds which identity of the camera is
// attached (camera, FX3 boot loader, flash programmer), walks it through the
// others and writes the firmware image into the SPI flash, printing each stage.

#include "fxburn/Fx3Device.h"
#include "fxburn/port/DriverPort.h"

#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <string>

namespace fxburn {

enum class DeviceKind : int {
    DEVICE_NONE = 0,
    TOF_CAMERA_DEVICE = 1,
    BOOT_LOADER_DEVICE = 2,
    BOOT_PROGRAMMER_DEVICE = 3,
    DEVICE_CREATE_FAILED = 4,
};

inline constexpr std::uint8_t VR_CAMERA_COMMAND = 0x42;
inline constexpr std::uint16_t CAMERA_CMD_VALUE = 0x0057;
inline constexpr std::uint16_t CAMERA_CMD_ERASE_DATA = 3;
inline constexpr std::uint16_t CAMERA_CMD_ENTER_BOOT_LOADER = 5;
inline constexpr std::uint8_t BOOT_LOADER_REQUEST_CODE[2] = {0x6B, 0xD2};

inline constexpr const char* DEFAULT_IMAGE_NAME = "Myrlen.img";
inline constexpr const char* PROGRAMMER_IMAGE_NAME = "CyBootProgrammer.img";

// Waits for the next identity: probes every 100 ms for up to 60 s; the flash
// programmer is looked for every 2 s for up to 60 s.
inline constexpr std::uint32_t REENUMERATION_LIMIT_MS = 60000;
inline constexpr std::uint32_t PROGRAMMER_WAIT_MS = 2000;

// "-i" or "--image" followed by a name; the last one wins.
std::string parseImageName(int argc, const char* const argv[]);

class FirmwareUpdate {
public:
    // `device` may be null: no device object could be made.
    FirmwareUpdate(Fx3Device* device, port::Clock& clock, std::ostream& out, std::ostream& err);

    DeviceKind DetectDevice();
    bool LoadProgrammerAndFlash(const std::string& imageName);
    bool FlashImageToSpi(const std::string& imageName);
    bool updateCamera(const std::string& imageName);

private:
    // The file checks made before anything changes the device; a failed one
    // is reported as its download would be.
    bool programmerImageUsable();
    // Null when it cannot be opened; a refusal's reason goes to `err`.
    std::FILE* openImage(const std::string& imageName);
    bool firmwareImageUsable(const std::string& imageName);
    // Print a download's result line, and its failure line when it failed.
    bool reportDownload(DownloadResult result, const char* resultTarget, const char* failureTarget);
    bool ramResult(DownloadResult result);
    bool spiResult(DownloadResult result);
    bool waitForBootLoader();

    Fx3Device* device_;
    port::Clock& clock_;
    std::ostream& out_;
    std::ostream& err_;
};

// The program: returns 0 when the firmware was written, 1 otherwise.
int runFxburn(int argc, const char* const argv[], port::Platform platform, std::ostream& out, std::ostream& err,
              std::istream& in);

} // namespace fxburn
