#pragma once
// A simulated USB world for tests and the demo: boards that attach under their
// identities and re-enumerate, a virtual clock with an event queue (nobody
// really sleeps), fault rules applied to control requests, driver-level
// faults, a log of every control request, and a hang guard that turns an
// endless loop or an endless wait into an exception the test sees.

#include "fxburn/port/DriverPort.h"
#include "fxburn/port/emu/EmulatedDriver.h"
#include "fxburn/port/sim/SimDevices.h"

#include <cstdint>
#include <functional>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace fxburn::port::sim {

// Thrown once by the hang guard; the world stays usable afterwards.
class SimHang : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class FaultAction {
    Stall, // the request stalls, the device does nothing
    Silent, // the device never answers (the header time-out ends it)
    HangUntilAbort, // the driver holds the request until the pipe is aborted
    HangForever, // not even an abort completes it
    AbortLatency, // held until aborted, then takes `arg` ms to complete
    Delay, // the answer comes `arg` ms later
    ShortReply, // at most `arg` data bytes move
    ZeroReply, // no data bytes move
    CorruptXor, // the data returned is XORed with `arg`
    ReturnedCount, // the driver reports `arg` bytes returned
    BeginError, // the begin call fails at once with error `arg`
    CompleteAtOnce, // the begin call completes the request
    Vanish, // the device goes away while this request is in flight
    VanishAfter, // the device answers this request, then goes away
};

struct FaultRule {
    // What it matches; empty or negative: anything.
    std::optional<Identity> identity;
    int request = -1;
    int deviceToHost = -1;
    int value = -1;
    int index = -1;
    std::uint32_t skip = 0; // matches let through first
    int times = 1; // then acts on this many (-1: every one)
    FaultAction action = FaultAction::Stall;
    std::uint32_t arg = 0;

    std::uint32_t seen = 0;
    std::uint32_t fired = 0;

    static FaultRule on(Identity identity, int request, FaultAction action, std::uint32_t arg = 0);
};

struct DriverFaults {
    std::optional<std::uint32_t> enumErrorMember;
    std::uint32_t enumErrorCode = err::GEN_FAILURE;
    std::uint32_t openError = 0;
    int closeFailures = 0; // closeHandle fails this many times (-1: always)
    std::optional<Identity> closeFailsFor; // ... but only on handles of this identity
    int unregisterFailures = 0; // unregisterNotification likewise
    std::set<std::uint32_t> failingInfoCodes;
    std::uint32_t asyncOpError = 0;
    bool abortPipeHangs = false;
};

struct ControlRecord {
    std::uint64_t timeMs = 0;
    std::uint64_t instance = 0;
    Identity identity = Identity::Other;
    std::uint16_t productId = 0;
    emu::SetupPacket setup;
    std::uint32_t headerTimeoutSeconds = 0;
    Bytes data; // sent (host to device) or returned (device to host)
    emu::UsbStatus status = emu::UsbStatus::Ok;
    bool faulted = false;
};

class SimWorld : public emu::Bus, public Clock {
public:
    SimWorld();
    ~SimWorld() override;
    SimWorld(const SimWorld&) = delete;
    SimWorld& operator=(const SimWorld&) = delete;

    // A new board, attached at once as `identity` (`productId` for Other).
    std::size_t addDevice(Identity identity, std::uint16_t productId = 0);
    SimBoard& board(std::size_t slot = 0);
    SimDevice* device(std::size_t slot = 0); // attached now, or null
    void attach(std::size_t slot, Identity identity);
    void detach(std::size_t slot);
    // Unplug and plug in again: RAM is lost and the board boots from flash.
    void replug(std::size_t slot = 0);
    // Leave now (after `lagMs`) and, when it comes back, attach as `next` after `delayMs`.
    void reenumerate(std::size_t slot, Identity next, std::uint32_t lagMs, std::uint32_t delayMs, bool comesBack);
    void schedule(std::uint64_t atMs, std::function<void()> event);

    FaultRule& addFault(const FaultRule& rule);
    DriverFaults driverFaults;
    // Applied to every identity that attaches (descriptors made malformed on purpose).
    std::function<void(SimDevice&)> customizeDevice;

    Platform platform() { return Platform{&driver_, this}; }
    emu::EmulatedDriver& driver() { return driver_; }
    const emu::EmulatedDriver& driver() const { return driver_; }

    const std::vector<ControlRecord>& controlLog() const { return log_; }
    std::vector<ControlRecord> requestsTo(Identity identity) const;
    const std::vector<std::string>& violations() const { return violations_; }
    bool hangGuardTripped() const { return tripped_; }
    const std::string& hangReason() const { return hangReason_; }
    std::uint64_t driverCalls() const { return calls_; }

    std::uint64_t maxDriverCalls = 1000000;
    std::uint64_t maxVirtualMs = 3600000;
    std::uint32_t driverCallCostMs = 1;

    // emu::Bus
    std::vector<std::uint64_t> presentDevices() override;
    emu::UsbDeviceModel* findDevice(std::uint64_t instance) override;
    std::uint64_t now() override { return now_; }
    void advanceTo(std::uint64_t ms) override;
    void driverCall() override;
    void deadlock(const std::string& what) override;
    void violation(const std::string& what) override { violations_.push_back(what); }
    std::uint32_t enumError(std::uint32_t member) override;
    std::uint32_t openError() override { return driverFaults.openError; }
    std::uint32_t closeError(std::uint64_t instance) override;
    std::uint32_t unregisterError() override;
    bool infoFails(std::uint32_t code) override;
    std::uint32_t asyncOpError() override { return driverFaults.asyncOpError; }
    bool abortPipeHangs() override { return driverFaults.abortPipeHangs; }

    // Clock
    std::uint64_t nowMs() override { return now_; }
    void sleepMs(std::uint32_t ms) override;

    // For the device models.
    FaultRule* matchFault(const SimDevice& device, const emu::SetupPacket& setup);
    void logControl(const SimDevice& device, const emu::SetupPacket& setup, const std::uint8_t* data,
                    const emu::Reply& reply, std::uint32_t headerTimeoutSeconds, bool faulted);

private:
    struct Slot {
        std::unique_ptr<SimBoard> board;
        std::unique_ptr<SimDevice> device; // null while detached
    };
    void trip(const std::string& reason);
    const SimDevice* anyDevice(std::uint64_t instance) const; // attached or departed
    static bool consume(int& failures);

    std::vector<Slot> slots_;
    std::vector<std::unique_ptr<SimDevice>> departed_; // kept: events may still name them
    std::multimap<std::uint64_t, std::function<void()>> events_;
    std::deque<FaultRule> faults_; // references stay valid as rules are added
    std::vector<ControlRecord> log_;
    std::vector<std::string> violations_;
    std::uint64_t now_ = 0;
    std::uint64_t calls_ = 0;
    std::uint64_t nextInstance_ = 1;
    bool tripped_ = false;
    std::string hangReason_;
    emu::EmulatedDriver driver_;
};

} // namespace fxburn::port::sim
