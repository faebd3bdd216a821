#pragma once
// An emulation of the chip maker's kernel driver behind the driver port. It
// decodes the control codes and the 38-byte request header the way the driver
// does, checks their layout strictly, hands control requests and data
// transfers to the device models of a bus, and completes overlapped requests
// on the bus's clock: with a reply, a header time-out, an abort or cancel, or the
// device going away. As on Windows, a request whose begin call fails at once never
// completes: its result stays incomplete and its event is never signalled.
// Misuse (a freed request still pending, a given-up request completing after
// its block was freed, a malformed header) is reported to the bus as a
// violation.

#include "fxburn/port/DriverPort.h"
#include "fxburn/port/emu/UsbDeviceModel.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fxburn::port::emu {

class EmuOp;

// Status words the emulated driver writes back (bytes 18-21, then 14-17).
struct StatusWords {
    std::uint32_t a = 0;
    std::uint32_t b = 0;
};
StatusWords statusWordsFor(UsbStatus status);

class EmulatedDriver : public DriverPort {
public:
    explicit EmulatedDriver(Bus& bus);
    ~EmulatedDriver() override;

    DevSet getClassDevs(const Guid& interfaceClass) override;
    bool enumInterface(DevSet set, const Guid& interfaceClass, std::uint32_t member, std::uint32_t& error) override;
    bool interfacePath(DevSet set, const Guid& interfaceClass, std::uint32_t member, std::string& path,
                       std::uint32_t& error) override;
    void destroyDevs(DevSet set) override;
    Handle openPath(const std::string& path, std::uint32_t& error) override;
    bool closeHandle(Handle handle, std::uint32_t& error) override;
    bool ioctl(Handle handle, std::uint32_t code, const void* in, std::uint32_t inLength, void* out,
               std::uint32_t outLength, std::uint32_t& returned, std::uint32_t& error) override;
    std::unique_ptr<AsyncOp> newAsyncOp(std::uint32_t& error) override;
    std::uint32_t ioctlBegin(Handle handle, std::uint32_t code, const void* in, std::uint32_t inLength, void* out,
                             std::uint32_t outLength, AsyncOp& op) override;
    WaitResult wait(AsyncOp& op, std::uint32_t timeoutMs) override;
    void cancel(Handle handle, AsyncOp& op) override;
    bool overlappedResult(Handle handle, AsyncOp& op, std::uint32_t& bytes, std::uint32_t& error) override;
    void abandon(std::unique_ptr<AsyncOp> op) override;
    bool registerInterfaceNotification(WindowId window, const Guid& interfaceClass, NotifyId& id,
                                       std::uint32_t& error) override;
    bool registerHandleNotification(WindowId window, Handle handle, NotifyId& id, std::uint32_t& error) override;
    bool unregisterNotification(NotifyId id, std::uint32_t& error) override;

    // What the tool handed to the driver, for tests.
    struct IoctlRecord {
        std::uint64_t timeMs = 0;
        std::uint32_t code = 0;
        bool overlapped = false;
        std::uint32_t inLength = 0;
        std::uint32_t outLength = 0;
        std::vector<std::uint8_t> head; // the first bytes of the input
    };
    const std::vector<IoctlRecord>& ioctlLog() const { return log_; }
    void clearLog() { log_.clear(); }
    std::uint32_t openPathCalls() const { return openCalls_; }
    std::uint32_t closeHandleCalls() const { return closeCalls_; }
    std::uint32_t cancelCalls() const { return cancelCalls_; }
    std::size_t openHandleCount() const { return handles_.size(); }
    std::size_t pendingRequestCount() const { return pending_.size(); }
    std::size_t abandonedRequestCount() const { return abandoned_.size(); }
    std::size_t notificationCount() const { return notifications_.size(); }
    // Completes every request whose time has come, those given up included:
    // the driver writes a request's results whenever it ends.
    void completeDue();

private:
    friend class EmuOp;
    struct Request; // a decoded request and its outcome

    bool decode(std::uint32_t code, const std::uint8_t* in, std::uint32_t inLength, void* out, std::uint32_t outLength,
                Request& request);
    void run(Request& request, UsbDeviceModel& device);
    void complete(EmuOp& op, UsbStatus status);
    void refresh(EmuOp& op);
    void startCancel(EmuOp& op);
    void abortPipe(Handle handle, std::uint8_t endpoint);
    bool information(std::uint64_t instance, std::uint32_t code, const void* in, std::uint32_t inLength, void* out,
                     std::uint32_t outLength, std::uint32_t& returned, std::uint32_t& error);
    std::optional<std::uint64_t> instanceOf(Handle handle) const;
    void record(std::uint32_t code, bool overlapped, const void* in, std::uint32_t inLength, std::uint32_t outLength);

    Bus& bus_;
    std::map<DevSet, std::vector<std::uint64_t>> sets_;
    DevSet nextSet_ = 1;
    std::map<Handle, std::uint64_t> handles_; // handle -> device instance
    Handle nextHandle_ = 0x100;
    std::set<NotifyId> notifications_;
    NotifyId nextNotification_ = 1;
    std::set<EmuOp*> pending_;
    std::vector<std::unique_ptr<AsyncOp>> abandoned_; // after pending_: freed before it
    std::vector<IoctlRecord> log_;
    std::uint32_t openCalls_ = 0;
    std::uint32_t closeCalls_ = 0;
    std::uint32_t cancelCalls_ = 0;
};

} // namespace fxburn::port::emu
