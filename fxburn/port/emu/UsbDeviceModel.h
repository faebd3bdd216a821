#pragma once
// What the emulated driver talks down to: a bus of attached device instances,
// each a USB device model that answers control requests, data transfers and
// the driver's information requests, on a clock the bus owns.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fxburn::port::emu {

struct SetupPacket {
    std::uint8_t bmRequestType = 0;
    std::uint8_t bRequest = 0;
    std::uint16_t wValue = 0;
    std::uint16_t wIndex = 0;
    std::uint16_t wLength = 0;
    bool isIn() const { return (bmRequestType & 0x80u) != 0; }
};

enum class UsbStatus { Ok, Stall, Timeout, Cancelled, DeviceGone };

// How a request ends, as the device (or a fault) decides it.
struct Reply {
    enum class Hang {
        None, // answers after `latencyMs`
        Silent, // never answers: the header time-out ends it, else an abort
        UntilAbort, // held until the pipe is aborted, whatever the header says
        Forever, // not even an abort completes it
    };

    UsbStatus status = UsbStatus::Ok;
    std::uint32_t actual = 0; // data bytes moved
    std::uint32_t latencyMs = 0;
    Hang hang = Hang::None;
    std::uint32_t abortLatencyMs = 0; // an abort completes it after this long
    std::uint32_t beginError = 0; // the begin call fails at once with this
    bool completeAtOnce = false; // the begin call completes it
    std::optional<std::uint32_t> returnedOverride; // count the driver reports instead

    static Reply ok(std::uint32_t actual)
    {
        Reply r;
        r.actual = actual;
        return r;
    }
    static Reply stall()
    {
        Reply r;
        r.status = UsbStatus::Stall;
        return r;
    }
};

class UsbDeviceModel {
public:
    virtual ~UsbDeviceModel() = default;
    // `data` holds wLength bytes: the host's data (out) or room for the answer (in).
    virtual Reply control(const SetupPacket& setup, std::uint8_t* data, std::uint32_t headerTimeoutSeconds) = 0;
    virtual Reply dataTransfer(std::uint8_t endpoint, std::uint8_t* data, std::uint32_t length)
    {
        (void)endpoint, (void)data, (void)length;
        return Reply::stall();
    }
    // The driver's own information codes (address, speed, names, versions, ...).
    virtual bool query(std::uint32_t code, std::uint8_t* buffer, std::uint32_t length) = 0;
    // The request has completed (its status stage is over).
    virtual void controlDone(const SetupPacket& setup, UsbStatus status) { (void)setup, (void)status; }
};

class Bus {
public:
    virtual ~Bus() = default;
    virtual std::vector<std::uint64_t> presentDevices() = 0; // instance ids, enumeration order
    virtual UsbDeviceModel* findDevice(std::uint64_t instance) = 0;
    virtual std::uint64_t now() = 0;
    virtual void advanceTo(std::uint64_t ms) = 0;
    virtual void driverCall() = 0; // every driver call
    virtual void deadlock(const std::string& what) = 0; // a wait that cannot end
    virtual void violation(const std::string& what) = 0; // misuse of the driver

    // Driver-level faults; none by default.
    virtual std::uint32_t enumError(std::uint32_t member)
    {
        (void)member;
        return 0;
    }
    virtual std::uint32_t openError() { return 0; }
    virtual std::uint32_t closeError(std::uint64_t instance)
    {
        (void)instance;
        return 0;
    }
    virtual std::uint32_t unregisterError() { return 0; }
    virtual bool infoFails(std::uint32_t code)
    {
        (void)code;
        return false;
    }
    virtual std::uint32_t asyncOpError() { return 0; }
    virtual bool abortPipeHangs() { return false; } // an abort request that never completes
};

} // namespace fxburn::port::emu
