#include "fxburn/Fxburn.h"

#include "fxburn/BootImage.h"
#include "fxburn/port/NoDevicePort.h"

#include <cstdio>
#include <istream>
#include <memory>
#include <ostream>
#include <vector>

namespace fxburn {

std::string parseImageName(int argc, const char* const argv[])
{
    std::string name = DEFAULT_IMAGE_NAME;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i] ? argv[i] : "";
        if (argument != "-i" && argument != "--image")
            continue;
        if (i + 1 < argc && argv[i + 1]) {
            name = argv[i + 1];
            ++i;
        }
    }
    return name;
}

FirmwareUpdate::FirmwareUpdate(Fx3Device* device, port::Clock& clock, std::ostream& out, std::ostream& err)
    : device_(device)
    , clock_(clock)
    , out_(out)
    , err_(err)
{
}

DeviceKind FirmwareUpdate::DetectDevice()
{
    if (!device_) {
        err_ << "Error :  Failed to create USB Device\n" << std::endl;
        return DeviceKind::DEVICE_NONE;
    }
    for (int index = 0; index < device_->CountDevices(); ++index) {
        if (!device_->Open(static_cast<std::uint8_t>(index)))
            continue;
        const std::uint16_t vendor = device_->VendorId;
        if (vendor != VID_PRIMARY && vendor != VID_SECONDARY)
            continue;
        const std::uint16_t product = device_->ProductId;
        if (product == PID_CAMERA_B || product == PID_CAMERA_A) {
            out_ << "Info : Found TOF Camera \n";
            return DeviceKind::TOF_CAMERA_DEVICE;
        }
        if (product == PID_BOOT_LOADER) {
            out_ << "Info : Found FX3 loader \n";
            return DeviceKind::BOOT_LOADER_DEVICE;
        }
        if (product == PID_FLASH_PROGRAMMER) {
            out_ << "Info : Found FX3 Flash Programmer\n";
            return DeviceKind::BOOT_PROGRAMMER_DEVICE;
        }
    }
    return DeviceKind::DEVICE_CREATE_FAILED;
}

bool FirmwareUpdate::reportDownload(DownloadResult result, const char* resultTarget, const char* failureTarget)
{
    out_ << "Info : DownloadFw to " << resultTarget << " result : " << downloadResultName(result) << " !\n";
    if (result == SUCCESS)
        return true;
    out_ << "Info : Fail to download firmware to " << failureTarget << " !\n";
    return false;
}

bool FirmwareUpdate::ramResult(DownloadResult result)
{
    return reportDownload(result, "FAM", "RAM");
}

bool FirmwareUpdate::spiResult(DownloadResult result)
{
    return reportDownload(result, "SPI FLASH", "SPI FLASH");
}

std::FILE* FirmwareUpdate::openImage(const std::string& imageName)
{
    std::string why;
    std::FILE* file = openImageFile(imageName, &why);
    if (!why.empty())
        err_ << "Error : " << imageName << ": " << why << "\n";
    return file;
}

bool FirmwareUpdate::programmerImageUsable()
{
    std::FILE* file = openImage(PROGRAMMER_IMAGE_NAME);
    if (!file) {
        out_ << "Info : Fail to open CyBootProgrammer.img !\n";
        return false;
    }
    std::fclose(file);
    // The RAM download's own checks, made before anything is sent.
    std::vector<std::uint8_t> bytes;
    DownloadResult result = readImageFile(PROGRAMMER_IMAGE_NAME, bytes, MAX_IMAGE_FILE_SIZE);
    if (result == SUCCESS)
        result = checkProgrammerImage(bytes.data(), bytes.size());
    return result == SUCCESS || ramResult(result);
}

bool FirmwareUpdate::firmwareImageUsable(const std::string& imageName)
{
    std::FILE* file = openImage(imageName);
    if (!file) {
        out_ << "Fail to open " << imageName << "\n";
        return false;
    }
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0)
        size = std::ftell(file);
    std::fclose(file);
    // Written to the flash as it is, and booted from there only when it is a
    // whole boot image.
    DownloadResult result = INCORRECT_IMAGE_LENGTH;
    if (size < 0 || static_cast<unsigned long>(size) <= SPI_MAX_IMAGE_SIZE) {
        std::vector<std::uint8_t> bytes;
        result = readImageFile(imageName, bytes, SPI_MAX_IMAGE_SIZE);
        if (result == SUCCESS)
            result = checkFlashImage(bytes.data(), bytes.size());
    }
    return result == SUCCESS || spiResult(result);
}

bool FirmwareUpdate::waitForBootLoader()
{
    const std::uint64_t start = clock_.nowMs();
    while (!device_->IsBootLoaderRunning()) {
        if (clock_.nowMs() - start >= REENUMERATION_LIMIT_MS)
            return false;
        clock_.sleepMs(POLL_INTERVAL_MS);
        DetectDevice();
    }
    return true;
}

bool FirmwareUpdate::updateCamera(const std::string& imageName)
{
    UsbControlEndPoint* ep = device_->ControlEndpoint.get();
    if (!ep) {
        out_ << "Info : No valid control end point \n ";
        out_ << "Fail to reqest device enter boot loader mode  !\n";
        return false;
    }
    // Nothing is erased and the camera stays in normal operation for an
    // update that could not go through.
    if (!programmerImageUsable() || !firmwareImageUsable(imageName))
        return false;

    ep->target = request::TARGET_DEVICE;
    ep->requestType = request::TYPE_VENDOR;
    ep->direction = request::DIR_TO_DEVICE;
    ep->requestCode = VR_CAMERA_COMMAND;
    ep->value = CAMERA_CMD_VALUE;
    ep->index = CAMERA_CMD_ERASE_DATA;
    ep->TimeoutMs = 1000;
    std::uint8_t eraseData[4] = {0, 0, 0, 0};
    std::uint32_t length = sizeof eraseData;
    if (ep->Transfer(eraseData, length))
        out_ << "Info : Erase data command is transfer ok \n";
    else
        out_ << "Info : control transfer fail \n";

    ep->index = CAMERA_CMD_ENTER_BOOT_LOADER;
    std::uint8_t code[2] = {BOOT_LOADER_REQUEST_CODE[0], BOOT_LOADER_REQUEST_CODE[1]};
    length = sizeof code;
    if (!ep->Transfer(code, length)) {
        out_ << "Info : control transfer fail \n ";
        out_ << "Fail to reqest device enter boot loader mode  !\n";
        return false;
    }
    out_ << "Info : Request of enter bootloader mode had been transferred.\n";
    if (!waitForBootLoader()) {
        out_ << "Fail to reqest device enter boot loader mode  !\n";
        return false;
    }
    return LoadProgrammerAndFlash(imageName);
}

bool FirmwareUpdate::LoadProgrammerAndFlash(const std::string& imageName)
{
    if (!device_->IsBootLoaderRunning()) {
        out_ << "not on boot loader mode !\n";
        return false;
    }
    if (!programmerImageUsable() || !firmwareImageUsable(imageName))
        return false;
    if (!ramResult(device_->DownloadFw(PROGRAMMER_IMAGE_NAME, TARGET_RAM)))
        return false;
    return FlashImageToSpi(imageName);
}

bool FirmwareUpdate::FlashImageToSpi(const std::string& imageName)
{
    if (!firmwareImageUsable(imageName))
        return false;
    out_ << "Info : Open " << imageName << "\n";

    const std::uint64_t start = clock_.nowMs();
    while (DetectDevice() != DeviceKind::BOOT_PROGRAMMER_DEVICE) {
        if (clock_.nowMs() - start >= REENUMERATION_LIMIT_MS) {
            out_ << "Info : Fail to download firmware to SPI FLASH !\n";
            return false;
        }
        out_ << "Info : Wait device to load as Flash Programmer !\n";
        clock_.sleepMs(PROGRAMMER_WAIT_MS);
    }

    out_ << "Info : Begin to download firmware to SPI FLASH!\n";
    if (!spiResult(device_->DownloadFw(imageName, TARGET_SPI_FLASH)))
        return false;
    out_ << "Info : Firmware had been updated. Please unplug the devcie and re-plug it !\n";
    return true;
}

int runFxburn(int argc, const char* const argv[], port::Platform platform, std::ostream& out, std::ostream& err,
              std::istream& in)
{
    const std::string imageName = parseImageName(argc, argv);
    out << "FxDevDeviceSelected! input firmware image name :  " << imageName << "\n";

    port::SteadyClock steadyClock;
    if (!platform.clock)
        platform.clock = &steadyClock;

    std::unique_ptr<Fx3Device> device;
    bool written = false;
    try {
        if (platform.driver) {
            device = std::make_unique<Fx3Device>(platform);
            device->errorStream = &err;
        }
        FirmwareUpdate update(device.get(), *platform.clock, out, err);
        switch (update.DetectDevice()) {
        case DeviceKind::DEVICE_NONE: out << "No valid device!\n"; break;
        case DeviceKind::BOOT_LOADER_DEVICE: written = update.LoadProgrammerAndFlash(imageName); break;
        case DeviceKind::TOF_CAMERA_DEVICE: written = update.updateCamera(imageName); break;
        case DeviceKind::BOOT_PROGRAMMER_DEVICE: written = update.FlashImageToSpi(imageName); break;
        default: out << "No valid device   !\n"; break;
        }
    } catch (const char* text) {
        out << "Error : " << text << "\n";
    }
    try {
        if (device)
            device->Close();
    } catch (const char* text) {
        out << "Error : " << text << "\n";
    }
    device.reset();

    out << "Press enter key to quit!\n";
    out.flush();
    in.get();
    return written ? 0 : 1;
}

} // namespace fxburn
