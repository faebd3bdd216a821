#include "fxburn/port/win/WinDriverPort.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first: the others build on its types.
#include <dbt.h>
#include <setupapi.h>

#include <vector>

namespace fxburn::port::win {

namespace {

GUID toWin(const Guid& g)
{
    GUID w;
    w.Data1 = g.data1;
    w.Data2 = g.data2;
    w.Data3 = g.data3;
    for (int i = 0; i < 8; ++i)
        w.Data4[i] = g.data4[i];
    return w;
}

HANDLE toHandle(Handle h)
{
    return reinterpret_cast<HANDLE>(h);
}

bool registerFilter(WindowId window, void* filter, NotifyId& id, std::uint32_t& error)
{
    HDEVNOTIFY n = RegisterDeviceNotificationA(reinterpret_cast<HWND>(window), filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (!n) {
        error = GetLastError();
        id = 0;
        return false;
    }
    id = reinterpret_cast<NotifyId>(n);
    return true;
}

// An overlapped structure with its auto-reset event. A request still in
// flight when it is freed is cancelled and waited for a while; should it
// still not complete, what the kernel may write into is never freed.
class WinAsyncOp : public AsyncOp {
public:
    WinAsyncOp()
        : overlapped(std::make_unique<OVERLAPPED>())
    {
        ZeroMemory(overlapped.get(), sizeof(OVERLAPPED));
        overlapped->hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
    ~WinAsyncOp() override
    {
        if (inFlight()) {
            CancelIoEx(device, overlapped.get());
            WaitForSingleObject(overlapped->hEvent, ABORT_WAIT_LIMIT_MS);
            if (inFlight()) {
                (void)overlapped.release();
                (void)heldBlock.release();
                return;
            }
        }
        if (overlapped->hEvent)
            CloseHandle(overlapped->hEvent);
    }
    WinAsyncOp(const WinAsyncOp&) = delete;
    WinAsyncOp& operator=(const WinAsyncOp&) = delete;

    // Started and not yet completed. A request whose begin call failed never
    // started, although its overlapped structure reads as pending for ever.
    bool inFlight() const
    {
        return pending && device != INVALID_HANDLE_VALUE && !HasOverlappedIoCompleted(overlapped.get());
    }

    std::unique_ptr<OVERLAPPED> overlapped;
    HANDLE device = INVALID_HANDLE_VALUE;
    bool pending = false;
};

} // namespace

DevSet WinDriverPort::getClassDevs(const Guid& interfaceClass)
{
    const GUID g = toWin(interfaceClass);
    HDEVINFO set = SetupDiGetClassDevsA(&g, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return 0;
    return reinterpret_cast<DevSet>(set);
}

bool WinDriverPort::enumInterface(DevSet set, const Guid& interfaceClass, std::uint32_t member, std::uint32_t& error)
{
    const GUID g = toWin(interfaceClass);
    SP_DEVICE_INTERFACE_DATA data;
    ZeroMemory(&data, sizeof data);
    data.cbSize = sizeof data;
    if (SetupDiEnumDeviceInterfaces(reinterpret_cast<HDEVINFO>(set), nullptr, &g, member, &data))
        return true;
    error = GetLastError();
    return false;
}

bool WinDriverPort::interfacePath(DevSet set, const Guid& interfaceClass, std::uint32_t member, std::string& path,
                                  std::uint32_t& error)
{
    const GUID g = toWin(interfaceClass);
    HDEVINFO info = reinterpret_cast<HDEVINFO>(set);
    SP_DEVICE_INTERFACE_DATA data;
    ZeroMemory(&data, sizeof data);
    data.cbSize = sizeof data;
    if (!SetupDiEnumDeviceInterfaces(info, nullptr, &g, member, &data)) {
        error = GetLastError();
        return false;
    }
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(info, &data, nullptr, 0, &required, nullptr);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        error = GetLastError();
        return false;
    }
    std::vector<std::uint8_t> storage(required);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
    // The size of the fixed part, not of the allocation.
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    SP_DEVINFO_DATA device;
    ZeroMemory(&device, sizeof device);
    device.cbSize = sizeof device;
    if (!SetupDiGetDeviceInterfaceDetailA(info, &data, detail, required, nullptr, &device)) {
        error = GetLastError();
        return false;
    }
    path = detail->DevicePath;
    return true;
}

void WinDriverPort::destroyDevs(DevSet set)
{
    if (set)
        SetupDiDestroyDeviceInfoList(reinterpret_cast<HDEVINFO>(set));
}

Handle WinDriverPort::openPath(const std::string& path, std::uint32_t& error)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return INVALID_HANDLE;
    }
    return reinterpret_cast<Handle>(h);
}

bool WinDriverPort::closeHandle(Handle handle, std::uint32_t& error)
{
    if (CloseHandle(toHandle(handle)))
        return true;
    error = GetLastError();
    return false;
}

bool WinDriverPort::ioctl(Handle handle, std::uint32_t code, const void* in, std::uint32_t inLength, void* out,
                          std::uint32_t outLength, std::uint32_t& returned, std::uint32_t& error)
{
    // The handle is opened for overlapped I/O, and a driver may leave a
    // request pending for ever (a device pulled mid-request): the wait is
    // bounded, the request cancelled and, should it still not end, given up.
    return boundedIoctl(*this, handle, code, in, inLength, out, outLength, returned, error);
}

std::unique_ptr<AsyncOp> WinDriverPort::newAsyncOp(std::uint32_t& error)
{
    auto op = std::make_unique<WinAsyncOp>();
    if (!op->overlapped->hEvent) {
        error = GetLastError();
        return nullptr;
    }
    return op;
}

std::uint32_t WinDriverPort::ioctlBegin(Handle handle, std::uint32_t code, const void* in, std::uint32_t inLength,
                                        void* out, std::uint32_t outLength, AsyncOp& op)
{
    auto& w = static_cast<WinAsyncOp&>(op);
    w.device = toHandle(handle);
    w.pending = true;
    if (DeviceIoControl(toHandle(handle), code, const_cast<void*>(in), inLength, out, outLength, nullptr,
                        w.overlapped.get()))
        return 0; // completed at once; the last error would be stale
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING)
        w.pending = false;
    return error;
}

WaitResult WinDriverPort::wait(AsyncOp& op, std::uint32_t timeoutMs)
{
    auto& w = static_cast<WinAsyncOp&>(op);
    switch (WaitForSingleObject(w.overlapped->hEvent, timeoutMs)) {
    case WAIT_OBJECT_0: return WaitResult::Signalled;
    case WAIT_TIMEOUT: return WaitResult::TimedOut;
    default: return WaitResult::Failed;
    }
}

void WinDriverPort::cancel(Handle handle, AsyncOp& op)
{
    auto& w = static_cast<WinAsyncOp&>(op);
    if (w.inFlight())
        CancelIoEx(toHandle(handle), w.overlapped.get());
}

bool WinDriverPort::overlappedResult(Handle handle, AsyncOp& op, std::uint32_t& bytes, std::uint32_t& error)
{
    auto& w = static_cast<WinAsyncOp&>(op);
    DWORD n = 0;
    const BOOL ok = GetOverlappedResult(toHandle(handle), w.overlapped.get(), &n, FALSE);
    bytes = n;
    if (ok) {
        w.pending = false;
        return true;
    }
    error = GetLastError();
    if (error != ERROR_IO_INCOMPLETE)
        w.pending = false;
    return false;
}

void WinDriverPort::abandon(std::unique_ptr<AsyncOp> op)
{
    auto& w = static_cast<WinAsyncOp&>(*op);
    if (w.inFlight())
        CancelIoEx(w.device, w.overlapped.get());
    abandoned_.push_back(std::move(op));
}

WinDriverPort::~WinDriverPort()
{
    // Those still in flight stay allocated until the process ends.
    for (auto& op : abandoned_)
        if (static_cast<WinAsyncOp&>(*op).inFlight())
            (void)op.release();
}

bool WinDriverPort::registerInterfaceNotification(WindowId window, const Guid& interfaceClass, NotifyId& id,
                                                  std::uint32_t& error)
{
    DEV_BROADCAST_DEVICEINTERFACE_A filter;
    ZeroMemory(&filter, sizeof filter);
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = toWin(interfaceClass);
    return registerFilter(window, &filter, id, error);
}

bool WinDriverPort::registerHandleNotification(WindowId window, Handle handle, NotifyId& id, std::uint32_t& error)
{
    DEV_BROADCAST_HANDLE filter;
    ZeroMemory(&filter, sizeof filter);
    filter.dbch_size = sizeof filter; // 56 on 64-bit Windows
    filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    filter.dbch_handle = toHandle(handle);
    return registerFilter(window, &filter, id, error);
}

bool WinDriverPort::unregisterNotification(NotifyId id, std::uint32_t& error)
{
    if (UnregisterDeviceNotification(reinterpret_cast<HDEVNOTIFY>(id)))
        return true;
    error = GetLastError();
    return false;
}

std::uint64_t WinClock::nowMs()
{
    return GetTickCount64();
}

void WinClock::sleepMs(std::uint32_t ms)
{
    Sleep(ms);
}

} // namespace fxburn::port::win
