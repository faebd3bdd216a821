#pragma once
// The port of a system without the driver: the device class has no members, so
// the program reports that no device is attached. The clock is the real one.

#include "fxburn/port/DriverPort.h"

namespace fxburn::port {

class NoDevicePort : public DriverPort {
public:
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
};

class SteadyClock : public Clock {
public:
    std::uint64_t nowMs() override;
    void sleepMs(std::uint32_t ms) override;
};

} // namespace fxburn::port
