#pragma once
// The operations the USB code needs from the operating system: device-interface
// enumeration, opening a device path, synchronous and overlapped device-control
// requests, waits, overlapped results and device notifications, plus the clock.
// Shaped after the Windows calls, but with platform-neutral types, so the same
// device and endpoint code runs on the real driver, the emulation and the demo.
// Error numbers are the Windows ones; they are the vocabulary of the driver.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fxburn::port {

using Handle = std::uintptr_t;
inline constexpr Handle INVALID_HANDLE = ~Handle{0};
using WindowId = std::uintptr_t; // 0: none
using NotifyId = std::uintptr_t; // 0: none
using DevSet = std::uintptr_t; // 0: none

struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};
};

inline bool operator==(const Guid& a, const Guid& b)
{
    for (int i = 0; i < 8; ++i)
        if (a.data4[i] != b.data4[i])
            return false;
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3;
}
inline bool operator!=(const Guid& a, const Guid& b)
{
    return !(a == b);
}

namespace err {
inline constexpr std::uint32_t SUCCESS = 0;
inline constexpr std::uint32_t FILE_NOT_FOUND = 2;
inline constexpr std::uint32_t ACCESS_DENIED = 5;
inline constexpr std::uint32_t INVALID_HANDLE = 6;
inline constexpr std::uint32_t NOT_ENOUGH_MEMORY = 8;
inline constexpr std::uint32_t GEN_FAILURE = 31;
inline constexpr std::uint32_t NOT_SUPPORTED = 50;
inline constexpr std::uint32_t INVALID_PARAMETER = 87;
inline constexpr std::uint32_t SEM_TIMEOUT = 121;
inline constexpr std::uint32_t INSUFFICIENT_BUFFER = 122;
inline constexpr std::uint32_t NO_MORE_ITEMS = 259;
inline constexpr std::uint32_t OPERATION_ABORTED = 995;
inline constexpr std::uint32_t IO_INCOMPLETE = 996;
inline constexpr std::uint32_t IO_PENDING = 997;
inline constexpr std::uint32_t DEVICE_NOT_CONNECTED = 1167;
} // namespace err

enum class WaitResult { Signalled, TimedOut, Failed };
inline constexpr std::uint32_t WAIT_INFINITE = 0xFFFFFFFFu;
// How long an aborted or cancelled request is waited for; one still in flight
// after that is left to the driver port (DriverPort::abandon).
inline constexpr std::uint32_t ABORT_WAIT_LIMIT_MS = 2000;
// How long a synchronous request is waited for before it is cancelled: longer
// than any time-out its request header gives the driver, so that the driver's
// own time-out ends it first.
inline constexpr std::uint32_t SYNC_REQUEST_LIMIT_MS = 10000;

// One overlapped request slot: an auto-reset, non-signalled event with its
// overlapped structure. Freeing it closes the event.
class AsyncOp {
public:
    virtual ~AsyncOp() = default;
    // The block of a request given up while still in flight: the driver may
    // still write into it, so it stays with the op.
    std::unique_ptr<std::vector<std::uint8_t>> heldBlock;
};

class DriverPort {
public:
    virtual ~DriverPort() = default;

    // Device-interface enumeration (present devices exposing the class).
    virtual DevSet getClassDevs(const Guid& interfaceClass) = 0;
    virtual bool enumInterface(DevSet set, const Guid& interfaceClass, std::uint32_t member, std::uint32_t& error) = 0;
    virtual bool interfacePath(DevSet set, const Guid& interfaceClass, std::uint32_t member, std::string& path,
                               std::uint32_t& error) = 0;
    virtual void destroyDevs(DevSet set) = 0;

    // Read/write, shared read/write, existing only, overlapped.
    virtual Handle openPath(const std::string& path, std::uint32_t& error) = 0;
    virtual bool closeHandle(Handle handle, std::uint32_t& error) = 0;

    // Synchronous request: completed, or given up in bounded time as by
    // boundedIoctl, before it returns. `in` may equal `out`.
    virtual bool ioctl(Handle handle, std::uint32_t code, const void* in, std::uint32_t inLength, void* out,
                       std::uint32_t outLength, std::uint32_t& returned, std::uint32_t& error) = 0;

    // Overlapped request. Returns 0 when it completed at once, IO_PENDING when
    // it is under way (the event is signalled on completion), else the error.
    virtual std::unique_ptr<AsyncOp> newAsyncOp(std::uint32_t& error) = 0;
    virtual std::uint32_t ioctlBegin(Handle handle, std::uint32_t code, const void* in, std::uint32_t inLength,
                                     void* out, std::uint32_t outLength, AsyncOp& op) = 0;
    virtual WaitResult wait(AsyncOp& op, std::uint32_t timeoutMs) = 0;
    // Asks the driver to end the request in flight on `op` at once; it then
    // completes as cancelled, unless the driver never ends it.
    virtual void cancel(Handle handle, AsyncOp& op) = 0;
    // Without waiting; IO_INCOMPLETE while the request is still pending. A
    // request whose begin call failed at once never completes: its result
    // stays IO_INCOMPLETE and its event is never signalled.
    virtual bool overlappedResult(Handle handle, AsyncOp& op, std::uint32_t& bytes, std::uint32_t& error) = 0;
    // Takes over an op whose request is still in flight after its abort; it
    // is not freed while the driver may still complete it.
    virtual void abandon(std::unique_ptr<AsyncOp> op) = 0;

    // Window-handle device notifications.
    virtual bool registerInterfaceNotification(WindowId window, const Guid& interfaceClass, NotifyId& id,
                                               std::uint32_t& error) = 0;
    virtual bool registerHandleNotification(WindowId window, Handle handle, NotifyId& id, std::uint32_t& error) = 0;
    virtual bool unregisterNotification(NotifyId id, std::uint32_t& error) = 0;
};

// A synchronous request on a handle opened for overlapped I/O, made as an
// overlapped one through `port`: waited for at most `limitMs`, then cancelled
// and waited for at most ABORT_WAIT_LIMIT_MS more. The driver works on a block
// of the request's own, in and out in one as in its buffered requests, whose
// first `returned` bytes are copied to `out` once it completed. A request
// still in flight after that is handed to the port with its block, so nothing
// is written late into the caller's buffer; it fails with IO_INCOMPLETE.
bool boundedIoctl(DriverPort& port, Handle handle, std::uint32_t code, const void* in, std::uint32_t inLength,
                  void* out, std::uint32_t outLength, std::uint32_t& returned, std::uint32_t& error,
                  std::uint32_t limitMs = SYNC_REQUEST_LIMIT_MS);

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::uint64_t nowMs() = 0;
    virtual void sleepMs(std::uint32_t ms) = 0;
};

// What the program runs on. No driver means no device object could be made.
struct Platform {
    DriverPort* driver = nullptr;
    Clock* clock = nullptr;
};

} // namespace fxburn::port
