#pragma once
// The simulated hardware: a board with RAM, NOR flash and EEPROM that keep
// their contents across the USB identities it takes, and the identities
// themselves (the camera in normal operation, the FX3 boot loader, the flash
// programmer running from RAM, or some other device), each a USB device model
// with its descriptors and vendor requests.

#include "fxburn/port/emu/UsbDeviceModel.h"
#include "fxburn/port/sim/Descriptors.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fxburn::port::sim {

class SimWorld;

enum class Identity { Camera, BootLoader, Programmer, Other };
const char* identityName(Identity identity);

inline constexpr std::uint16_t SIM_VID = 0x04B4;
inline constexpr std::uint16_t SIM_PID_BOOT_LOADER = 0x00F3;
inline constexpr std::uint16_t SIM_PID_PROGRAMMER = 0x4720;
inline constexpr std::uint16_t SIM_PID_CAMERA = 0x9108;

class SimRam {
public:
    struct Region {
        std::uint32_t base;
        Bytes bytes;
    };
    SimRam(); // FX3: 16 KiB I-TCM at 0, 8 KiB D-TCM at 0x10000000, 512 KiB at 0x40000000
    bool write(std::uint32_t address, const std::uint8_t* data, std::uint32_t length);
    bool read(std::uint32_t address, std::uint8_t* data, std::uint32_t length) const;
    void clear();

private:
    const Region* find(std::uint32_t address, std::uint32_t length) const;
    std::vector<Region> regions_;
};

class SimFlash {
public:
    static constexpr std::uint32_t PAGE = 256;
    static constexpr std::uint32_t SECTOR = 65536;
    explicit SimFlash(std::size_t size = std::size_t{2} << 20);
    // NOR programming: bits only go from 1 to 0. A byte that needed a 1 back
    // is reported through `violation`.
    bool program(std::uint32_t offset, const std::uint8_t* data, std::uint32_t length, std::string& violation);
    bool erase(std::uint32_t sector);
    std::size_t size() const { return bytes.size(); }

    Bytes bytes;
    std::vector<std::uint32_t> pageWrites; // since the last erase of its sector
    std::vector<std::uint32_t> sectorErases; // in all
};

struct SimBoard {
    SimBoard();

    std::uint16_t vendorId = SIM_VID;
    std::uint16_t cameraProductId = SIM_PID_CAMERA;
    std::uint16_t bcdDevice = 0x0100;
    std::uint16_t otherProductId = 0x1234;
    SimRam ram;
    SimFlash flash;
    Bytes eeprom = Bytes(8 * 65536, 0xFF);

    // What the board was told, for tests.
    int eraseDataCommands = 0;
    int enterBootLoaderCommands = 0;
    std::optional<std::uint32_t> lastJump;

    // Timing and behaviour.
    std::uint32_t detachLagMs = 0;
    std::uint32_t bootLoaderDelayMs = 1500;
    std::uint32_t programmerDelayMs = 1000;
    int erasePolls = 2; // busy answers before an erase is done; negative: never done
    bool cameraAnswersRamProbe = false;
    bool bootLoaderReturns = true;
    bool programmerReturns = true;
    std::optional<Identity> bootLoaderComesBackAs;
    bool jumpStatusFails = false;
};

class SimDevice : public emu::UsbDeviceModel {
public:
    SimDevice(SimWorld& world, std::size_t slot, Identity identity, std::uint16_t productId);

    emu::Reply control(const emu::SetupPacket& setup, std::uint8_t* data, std::uint32_t headerTimeoutSeconds) final;
    bool query(std::uint32_t code, std::uint8_t* buffer, std::uint32_t length) override;
    void controlDone(const emu::SetupPacket& setup, emu::UsbStatus status) final;

    Identity identity;
    std::uint16_t productId;
    std::size_t slot;
    std::uint64_t instance = 0;

    Bytes deviceDesc;
    std::vector<Bytes> configurations;
    Bytes bos;
    Bytes languages = languageList({0x0409});
    std::map<std::uint8_t, Bytes> strings;
    std::uint32_t speed = 2;
    std::uint8_t address = 5;
    std::uint8_t alternateSetting = 0;
    std::string deviceName = "sim-fx3";
    std::string friendlyName = "Simulated FX3 device";
    std::uint32_t driverVersion = 0x01020304;
    std::uint32_t usbdiVersion = 0x00000600;

protected:
    virtual emu::Reply vendor(const emu::SetupPacket& setup, std::uint8_t* data);
    virtual void done(const emu::SetupPacket& setup, emu::UsbStatus status);
    SimBoard& board();
    SimWorld& world_;

private:
    emu::Reply standard(const emu::SetupPacket& setup, std::uint8_t* data);
    bool leaveWhenDone_ = false; // a VanishAfter fault: detach once this request is over
};

class SimCamera : public SimDevice {
public:
    SimCamera(SimWorld& world, std::size_t slot);

protected:
    emu::Reply vendor(const emu::SetupPacket& setup, std::uint8_t* data) override;
    void done(const emu::SetupPacket& setup, emu::UsbStatus status) override;
};

class SimBootLoader : public SimDevice {
public:
    SimBootLoader(SimWorld& world, std::size_t slot);

protected:
    emu::Reply vendor(const emu::SetupPacket& setup, std::uint8_t* data) override;
    void done(const emu::SetupPacket& setup, emu::UsbStatus status) override;
};

class SimProgrammer : public SimDevice {
public:
    SimProgrammer(SimWorld& world, std::size_t slot);
    emu::Reply dataTransfer(std::uint8_t endpoint, std::uint8_t* data, std::uint32_t length) override;

protected:
    emu::Reply vendor(const emu::SetupPacket& setup, std::uint8_t* data) override;

private:
    std::optional<std::uint16_t> erasing_;
    int busyPolls_ = 0;
    Bytes loopback_; // the bulk endpoints echo what was sent
};

// A device with an accepted vendor id and a product id the tool does not know.
class SimOtherDevice : public SimDevice {
public:
    SimOtherDevice(SimWorld& world, std::size_t slot, std::uint16_t productId);
};

} // namespace fxburn::port::sim
