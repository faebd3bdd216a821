#include "fxburn/port/NoDevicePort.h"

#include <chrono>
#include <thread>

namespace fxburn::port {

DevSet NoDevicePort::getClassDevs(const Guid&)
{
    return 1;
}

bool NoDevicePort::enumInterface(DevSet, const Guid&, std::uint32_t, std::uint32_t& error)
{
    error = err::NO_MORE_ITEMS;
    return false;
}

bool NoDevicePort::interfacePath(DevSet, const Guid&, std::uint32_t, std::string&, std::uint32_t& error)
{
    error = err::NO_MORE_ITEMS;
    return false;
}

void NoDevicePort::destroyDevs(DevSet)
{
}

Handle NoDevicePort::openPath(const std::string&, std::uint32_t& error)
{
    error = err::FILE_NOT_FOUND;
    return INVALID_HANDLE;
}

bool NoDevicePort::closeHandle(Handle, std::uint32_t& error)
{
    error = err::INVALID_HANDLE;
    return false;
}

bool NoDevicePort::ioctl(Handle, std::uint32_t, const void*, std::uint32_t, void*, std::uint32_t,
                         std::uint32_t& returned, std::uint32_t& error)
{
    returned = 0;
    error = err::INVALID_HANDLE;
    return false;
}

std::unique_ptr<AsyncOp> NoDevicePort::newAsyncOp(std::uint32_t&)
{
    return std::make_unique<AsyncOp>();
}

std::uint32_t NoDevicePort::ioctlBegin(Handle, std::uint32_t, const void*, std::uint32_t, void*, std::uint32_t,
                                       AsyncOp&)
{
    return err::INVALID_HANDLE;
}

WaitResult NoDevicePort::wait(AsyncOp&, std::uint32_t)
{
    return WaitResult::Failed;
}

void NoDevicePort::cancel(Handle, AsyncOp&)
{
}

bool NoDevicePort::overlappedResult(Handle, AsyncOp&, std::uint32_t& bytes, std::uint32_t& error)
{
    bytes = 0;
    error = err::INVALID_HANDLE;
    return false;
}

// No request ever starts here.
void NoDevicePort::abandon(std::unique_ptr<AsyncOp>)
{
}

bool NoDevicePort::registerInterfaceNotification(WindowId, const Guid&, NotifyId& id, std::uint32_t& error)
{
    id = 0;
    error = err::NOT_SUPPORTED;
    return false;
}

bool NoDevicePort::registerHandleNotification(WindowId, Handle, NotifyId& id, std::uint32_t& error)
{
    id = 0;
    error = err::NOT_SUPPORTED;
    return false;
}

bool NoDevicePort::unregisterNotification(NotifyId, std::uint32_t&)
{
    return true;
}

std::uint64_t SteadyClock::nowMs()
{
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SteadyClock::sleepMs(std::uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace fxburn::port
