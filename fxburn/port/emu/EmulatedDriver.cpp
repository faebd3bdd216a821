#include "fxburn/port/emu/EmulatedDriver.h"

#include "fxburn/UsbDriver.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace fxburn::port::emu {

namespace {

constexpr std::uint32_t HEADER_SIZE = 38;

// The driver's own reading of the request header, field by field.
std::uint16_t le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}
void put32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t errorFor(UsbStatus status)
{
    switch (status) {
    case UsbStatus::Ok: return err::SUCCESS;
    case UsbStatus::Stall: return err::GEN_FAILURE;
    case UsbStatus::Timeout: return err::SEM_TIMEOUT;
    case UsbStatus::Cancelled: return err::OPERATION_ABORTED;
    case UsbStatus::DeviceGone: return err::DEVICE_NOT_CONNECTED;
    }
    return err::GEN_FAILURE;
}

std::uint32_t informationSize(std::uint32_t code)
{
    switch (code) {
    case IOCTL_GET_DRIVER_VERSION:
    case IOCTL_GET_USBDI_VERSION:
    case IOCTL_GET_SPEED: return 4;
    case IOCTL_GET_ALT_SETTING:
    case IOCTL_GET_ADDRESS: return 1;
    case IOCTL_GET_DEVICE_NAME:
    case IOCTL_GET_FRIENDLY_NAME: return 256;
    default: return 0;
    }
}

} // namespace

StatusWords statusWordsFor(UsbStatus status)
{
    switch (status) {
    case UsbStatus::Ok: return {0, 0};
    case UsbStatus::Stall: return {0xC0000004u, 0xC0000001u};
    case UsbStatus::Timeout: return {0xC0006000u, 0xC0000102u};
    case UsbStatus::Cancelled: return {0xC0010000u, 0xC0000120u};
    case UsbStatus::DeviceGone: return {0xC0007000u, 0xC000009Du};
    }
    return {0xC0000001u, 0xC0000001u};
}

struct EmulatedDriver::Request {
    enum class Kind { Control, Buffered, Direct, Abort };
    Kind kind = Kind::Control;
    SetupPacket setup;
    std::uint8_t endpoint = 0;
    std::uint32_t headerTimeoutSeconds = 0;
    std::uint32_t dataOffset = 0;
    std::uint32_t dataLength = 0;
    std::uint32_t tableLength = 0;
    bool toHost = false;
    std::vector<std::uint8_t> data;
    std::uint8_t* out = nullptr;
    std::uint32_t outLength = 0;
    Reply reply;

    // Writes what the driver writes back and gives the call's outcome.
    void apply(UsbStatus status, bool& ok, std::uint32_t& error, std::uint32_t& returned) const
    {
        const StatusWords words = statusWordsFor(status);
        if (kind != Kind::Direct && out && outLength >= 22) {
            put32(out + 14, words.b);
            put32(out + 18, words.a);
        }
        if (status != UsbStatus::Ok) {
            ok = false;
            error = errorFor(status);
            returned = kind == Kind::Direct ? 0 : HEADER_SIZE;
            return;
        }
        const std::uint32_t moved = std::min(reply.actual, dataLength);
        if (toHost && moved > 0 && out)
            std::memcpy(out + dataOffset, data.data(), moved);
        if (kind == Kind::Buffered && tableLength > 0 && out) {
            const std::uint32_t packets = tableLength / 8;
            const std::uint32_t per = (dataLength + packets - 1) / packets;
            for (std::uint32_t i = 0; i < packets; ++i) {
                const std::uint32_t start = i * per;
                const std::uint32_t got = start < moved ? std::min(per, moved - start) : 0;
                put32(out + HEADER_SIZE + 8 * i, got);
                put32(out + HEADER_SIZE + 8 * i + 4, 0);
            }
        }
        ok = true;
        error = err::SUCCESS;
        returned = reply.returnedOverride ? *reply.returnedOverride : dataOffset + moved;
    }
};

class EmuOp : public AsyncOp {
public:
    explicit EmuOp(EmulatedDriver& driver)
        : driver_(driver)
    {
    }
    ~EmuOp() override
    {
        if (pending) {
            if (!abandoned)
                driver_.bus_.violation("an overlapped request was freed while still pending");
            driver_.pending_.erase(this);
        }
    }
    EmuOp(const EmuOp&) = delete;
    EmuOp& operator=(const EmuOp&) = delete;

    // Whether the block the driver writes back into (in and out in one, as in
    // control and buffered requests) is still the op's own.
    bool holdsItsBlock() const
    {
        if (request.kind == EmulatedDriver::Request::Kind::Direct || !request.out)
            return true;
        if (!heldBlock)
            return false;
        const auto from = reinterpret_cast<std::uintptr_t>(heldBlock->data());
        const auto out = reinterpret_cast<std::uintptr_t>(request.out);
        return out >= from && out - from + request.outLength <= heldBlock->size();
    }

    bool pending = false;
    bool unstarted = false; // the begin call failed: nothing will ever complete it
    bool abandoned = false; // handed to the driver while still pending
    bool signalled = false;
    bool ok = false;
    std::uint32_t error = 0;
    std::uint32_t returned = 0;
    Handle handle = INVALID_HANDLE;
    std::uint64_t instance = 0;
    EmulatedDriver::Request request;
    std::optional<std::uint64_t> completeAt; // none: until aborted, or never
    UsbStatus finalStatus = UsbStatus::Ok;
    bool abortable = true;
    bool cancelling = false;

private:
    EmulatedDriver& driver_;
};

EmulatedDriver::EmulatedDriver(Bus& bus)
    : bus_(bus)
{
}

EmulatedDriver::~EmulatedDriver()
{
    abandoned_.clear();
}

void EmulatedDriver::record(std::uint32_t code, bool overlapped, const void* in, std::uint32_t inLength,
                            std::uint32_t outLength)
{
    IoctlRecord r;
    r.timeMs = bus_.now();
    r.code = code;
    r.overlapped = overlapped;
    r.inLength = inLength;
    r.outLength = outLength;
    if (in) {
        const auto* bytes = static_cast<const std::uint8_t*>(in);
        r.head.assign(bytes, bytes + std::min<std::uint32_t>(inLength, 64));
    }
    log_.push_back(std::move(r));
}

DevSet EmulatedDriver::getClassDevs(const Guid& interfaceClass)
{
    bus_.driverCall();
    const DevSet id = nextSet_++;
    sets_[id] = interfaceClass == USB_DRIVER_INTERFACE_GUID ? bus_.presentDevices() : std::vector<std::uint64_t>{};
    return id;
}

bool EmulatedDriver::enumInterface(DevSet set, const Guid&, std::uint32_t member, std::uint32_t& error)
{
    bus_.driverCall();
    const auto it = sets_.find(set);
    if (it == sets_.end()) {
        error = err::INVALID_HANDLE;
        return false;
    }
    if (member >= it->second.size()) {
        error = err::NO_MORE_ITEMS;
        return false;
    }
    if (const std::uint32_t fault = bus_.enumError(member)) {
        error = fault;
        return false;
    }
    return true;
}

bool EmulatedDriver::interfacePath(DevSet set, const Guid& interfaceClass, std::uint32_t member, std::string& path,
                                   std::uint32_t& error)
{
    if (!enumInterface(set, interfaceClass, member, error))
        return false;
    path = "sim:" + std::to_string(sets_[set][member]);
    return true;
}

void EmulatedDriver::destroyDevs(DevSet set)
{
    bus_.driverCall();
    if (sets_.erase(set) == 0)
        bus_.violation("destroying a device set that does not exist");
}

Handle EmulatedDriver::openPath(const std::string& path, std::uint32_t& error)
{
    bus_.driverCall();
    ++openCalls_;
    if (const std::uint32_t fault = bus_.openError()) {
        error = fault;
        return INVALID_HANDLE;
    }
    const std::string prefix = "sim:";
    if (path.compare(0, prefix.size(), prefix) != 0) {
        error = err::FILE_NOT_FOUND;
        return INVALID_HANDLE;
    }
    const std::uint64_t instance = std::stoull(path.substr(prefix.size()));
    if (!bus_.findDevice(instance)) {
        error = err::FILE_NOT_FOUND;
        return INVALID_HANDLE;
    }
    const Handle handle = nextHandle_++;
    handles_[handle] = instance;
    return handle;
}

bool EmulatedDriver::closeHandle(Handle handle, std::uint32_t& error)
{
    bus_.driverCall();
    ++closeCalls_;
    const auto it = handles_.find(handle);
    if (it == handles_.end()) {
        error = err::INVALID_HANDLE;
        return false;
    }
    if (const std::uint32_t fault = bus_.closeError(it->second)) {
        error = fault;
        return false;
    }
    for (EmuOp* op : pending_)
        if (op->handle == handle && !op->abandoned)
            bus_.violation("closing a handle with a request still pending");
    handles_.erase(handle);
    return true;
}

std::optional<std::uint64_t> EmulatedDriver::instanceOf(Handle handle) const
{
    const auto it = handles_.find(handle);
    if (it == handles_.end())
        return std::nullopt;
    return it->second;
}

bool EmulatedDriver::decode(std::uint32_t code, const std::uint8_t* in, std::uint32_t inLength, void* out,
                            std::uint32_t outLength, Request& r)
{
    auto malformed = [this](const std::string& what) {
        bus_.violation("malformed request: " + what);
        return false;
    };
    r.out = static_cast<std::uint8_t*>(out);
    r.outLength = outLength;
    if (code == IOCTL_ABORT_PIPE) {
        if (!in || inLength != 1)
            return malformed("abort pipe takes the endpoint address as one byte");
        r.kind = Request::Kind::Abort;
        r.endpoint = in[0];
        return true;
    }
    if (code != IOCTL_CONTROL_TRANSFER && code != IOCTL_BUFFERED_TRANSFER && code != IOCTL_DIRECT_TRANSFER)
        return malformed("unknown control code " + std::to_string(code));
    if (!in || inLength < HEADER_SIZE)
        return malformed("input shorter than the request header");

    r.endpoint = in[13];
    r.tableLength = le32(in + 26);
    const std::uint32_t tableOffset = le32(in + 22);
    r.dataOffset = le32(in + 30);
    r.dataLength = le32(in + 34);
    if (in[12] != 0)
        return malformed("reserved header byte is not 0");

    if (code == IOCTL_CONTROL_TRANSFER) {
        r.kind = Request::Kind::Control;
        r.setup.bmRequestType = in[0];
        r.setup.bRequest = in[1];
        r.setup.wValue = le16(in + 2);
        r.setup.wIndex = le16(in + 4);
        r.setup.wLength = le16(in + 6);
        r.headerTimeoutSeconds = le32(in + 8);
        if (r.endpoint != 0 || r.tableLength != 0)
            return malformed("control request with an endpoint address or packet table");
        if (r.dataOffset != HEADER_SIZE || r.dataLength != r.setup.wLength)
            return malformed("control data offset or length disagrees with wLength");
        if (inLength != HEADER_SIZE + r.dataLength || !out || outLength != inLength)
            return malformed("control block size disagrees with the header");
        r.toHost = r.setup.isIn();
    } else {
        if (r.tableLength % 8 != 0 || (r.tableLength > 0 && tableOffset != HEADER_SIZE))
            return malformed("packet table misplaced");
        r.toHost = (r.endpoint & 0x80u) != 0;
        if (code == IOCTL_BUFFERED_TRANSFER) {
            r.kind = Request::Kind::Buffered;
            if (r.dataOffset != HEADER_SIZE + r.tableLength || inLength != std::uint64_t{r.dataOffset} + r.dataLength
                || !out || outLength != inLength)
                return malformed("buffered block size disagrees with the header");
        } else {
            r.kind = Request::Kind::Direct;
            if (r.dataOffset != 0 || r.dataLength != 0 || inLength != HEADER_SIZE + r.tableLength)
                return malformed("direct header carries data");
            r.dataLength = outLength;
        }
    }
    r.data.assign(r.dataLength, 0);
    if (!r.toHost && r.dataLength > 0) {
        const std::uint8_t* source =
            r.kind == Request::Kind::Direct ? static_cast<const std::uint8_t*>(out) : in + r.dataOffset;
        if (source)
            std::memcpy(r.data.data(), source, r.dataLength);
    }
    return true;
}

void EmulatedDriver::run(Request& r, UsbDeviceModel& device)
{
    if (r.kind == Request::Kind::Control)
        r.reply = device.control(r.setup, r.data.data(), r.headerTimeoutSeconds);
    else
        r.reply = device.dataTransfer(r.endpoint, r.data.data(), r.dataLength);
}

bool EmulatedDriver::information(std::uint64_t instance, std::uint32_t code, const void* in, std::uint32_t inLength,
                                 void* out, std::uint32_t outLength, std::uint32_t& returned, std::uint32_t& error)
{
    const std::uint32_t size = informationSize(code);
    if (!in || !out || inLength != size || outLength != size) {
        bus_.violation("information request with a wrong buffer size");
        error = err::INVALID_PARAMETER;
        return false;
    }
    UsbDeviceModel* device = bus_.findDevice(instance);
    if (bus_.infoFails(code) || !device || !device->query(code, static_cast<std::uint8_t*>(out), size)) {
        error = device ? err::GEN_FAILURE : err::DEVICE_NOT_CONNECTED;
        return false;
    }
    returned = size;
    return true;
}

bool EmulatedDriver::ioctl(Handle handle, std::uint32_t code, const void* in, std::uint32_t inLength, void* out,
                           std::uint32_t outLength, std::uint32_t& returned, std::uint32_t& error)
{
    bus_.driverCall();
    record(code, false, in, inLength, outLength);
    returned = 0;
    const auto instance = instanceOf(handle);
    if (!instance) {
        error = err::INVALID_HANDLE;
        return false;
    }
    UsbDeviceModel* device = bus_.findDevice(*instance);
    if (!device) {
        error = err::DEVICE_NOT_CONNECTED;
        return false;
    }
    if (informationSize(code) > 0)
        return information(*instance, code, in, inLength, out, outLength, returned, error);

    Request r;
    if (!decode(code, static_cast<const std::uint8_t*>(in), inLength, out, outLength, r)) {
        error = err::INVALID_PARAMETER;
        return false;
    }
    if (r.kind == Request::Kind::Abort) {
        abortPipe(handle, r.endpoint);
        return true;
    }
    run(r, *device);
    if (r.reply.beginError) {
        error = r.reply.beginError;
        return false;
    }
    // A synchronous request completes before the call returns, so its waits
    // pass on the clock here; one that could only end by an abort never ends.
    UsbStatus status = r.reply.status;
    std::uint64_t delay = r.reply.latencyMs;
    const std::uint64_t limit = std::uint64_t{r.headerTimeoutSeconds} * 1000;
    switch (r.reply.hang) {
    case Reply::Hang::None:
        if (limit > 0 && delay > limit) {
            delay = limit;
            status = UsbStatus::Timeout;
        }
        break;
    case Reply::Hang::Silent:
        if (limit > 0) {
            delay = limit;
            status = UsbStatus::Timeout;
            break;
        }
        [[fallthrough]];
    default:
        bus_.deadlock("a synchronous request that nothing completes");
        error = err::GEN_FAILURE;
        return false;
    }
    if (delay > 0)
        bus_.advanceTo(bus_.now() + delay);
    device = bus_.findDevice(*instance);
    if (!device)
        status = UsbStatus::DeviceGone;
    bool ok = false;
    r.apply(status, ok, error, returned);
    if (device && r.kind == Request::Kind::Control)
        device->controlDone(r.setup, status);
    return ok;
}

std::unique_ptr<AsyncOp> EmulatedDriver::newAsyncOp(std::uint32_t& error)
{
    bus_.driverCall();
    if (const std::uint32_t fault = bus_.asyncOpError()) {
        error = fault;
        return nullptr;
    }
    return std::make_unique<EmuOp>(*this);
}

std::uint32_t EmulatedDriver::ioctlBegin(Handle handle, std::uint32_t code, const void* in, std::uint32_t inLength,
                                         void* out, std::uint32_t outLength, AsyncOp& asyncOp)
{
    bus_.driverCall();
    record(code, true, in, inLength, outLength);
    auto& op = static_cast<EmuOp&>(asyncOp);
    if (op.pending) {
        bus_.violation("an overlapped structure was reused while its request is pending");
        return err::INVALID_PARAMETER;
    }
    op.signalled = false;
    op.ok = false;
    op.returned = 0;
    op.cancelling = false;
    op.unstarted = false;
    auto failAtOnce = [&op](std::uint32_t error) {
        op.error = error;
        op.unstarted = true;
        return error;
    };
    const auto instance = instanceOf(handle);
    if (!instance)
        return failAtOnce(err::INVALID_HANDLE);
    UsbDeviceModel* device = bus_.findDevice(*instance);
    if (!device)
        return failAtOnce(err::DEVICE_NOT_CONNECTED);
    if (informationSize(code) > 0) {
        std::uint32_t error = 0;
        if (!information(*instance, code, in, inLength, out, outLength, op.returned, error))
            return failAtOnce(error);
        op.ok = true;
        op.signalled = true;
        return err::SUCCESS;
    }
    Request r;
    if (!decode(code, static_cast<const std::uint8_t*>(in), inLength, out, outLength, r))
        return failAtOnce(err::INVALID_PARAMETER);
    if (r.kind == Request::Kind::Abort) {
        if (bus_.abortPipeHangs()) {
            // Neither the abort nor anything on the pipe ever completes.
            op.handle = handle;
            op.instance = *instance;
            op.request = std::move(r);
            op.completeAt.reset();
            op.abortable = false;
            op.pending = true;
            pending_.insert(&op);
            return err::IO_PENDING;
        }
        abortPipe(handle, r.endpoint);
        op.ok = true;
        op.signalled = true;
        return err::SUCCESS;
    }
    run(r, *device);
    if (r.reply.beginError)
        return failAtOnce(r.reply.beginError);

    op.handle = handle;
    op.instance = *instance;
    op.request = std::move(r);
    const Reply& reply = op.request.reply;
    const std::uint64_t now = bus_.now();
    const std::uint64_t limit = std::uint64_t{op.request.headerTimeoutSeconds} * 1000;
    op.finalStatus = reply.status;
    op.abortable = reply.hang != Reply::Hang::Forever;
    op.completeAt.reset();
    switch (reply.hang) {
    case Reply::Hang::None:
        op.completeAt = now + reply.latencyMs;
        if (limit > 0 && reply.latencyMs > limit) {
            op.completeAt = now + limit;
            op.finalStatus = UsbStatus::Timeout;
        }
        break;
    case Reply::Hang::Silent:
        if (limit > 0) {
            op.completeAt = now + limit;
            op.finalStatus = UsbStatus::Timeout;
        }
        break;
    case Reply::Hang::UntilAbort:
    case Reply::Hang::Forever: break;
    }
    op.pending = true;
    pending_.insert(&op);
    if (reply.completeAtOnce && op.completeAt) {
        complete(op, op.finalStatus);
        return err::SUCCESS;
    }
    return err::IO_PENDING;
}

void EmulatedDriver::complete(EmuOp& op, UsbStatus status)
{
    UsbDeviceModel* device = bus_.findDevice(op.instance);
    if (!device && status == UsbStatus::Ok)
        status = UsbStatus::DeviceGone;
    if (op.abandoned && !op.holdsItsBlock()) {
        // The real driver would write into memory that is no longer the request's.
        bus_.violation("a request given up in flight completed after its block was freed");
        op.request.out = nullptr;
    }
    op.request.apply(status, op.ok, op.error, op.returned);
    op.pending = false;
    op.signalled = true;
    pending_.erase(&op);
    if (device && op.request.kind == Request::Kind::Control)
        device->controlDone(op.request.setup, status);
}

void EmulatedDriver::refresh(EmuOp& op)
{
    if (op.pending && op.completeAt && *op.completeAt <= bus_.now())
        complete(op, op.finalStatus);
}

void EmulatedDriver::completeDue()
{
    const std::vector<EmuOp*> ops(pending_.begin(), pending_.end());
    for (EmuOp* op : ops)
        refresh(*op);
}

void EmulatedDriver::startCancel(EmuOp& op)
{
    if (!op.abortable || op.cancelling)
        return;
    op.cancelling = true;
    op.finalStatus = UsbStatus::Cancelled;
    op.completeAt = bus_.now() + op.request.reply.abortLatencyMs;
    refresh(op);
}

void EmulatedDriver::abortPipe(Handle handle, std::uint8_t endpoint)
{
    const std::vector<EmuOp*> ops(pending_.begin(), pending_.end());
    for (EmuOp* op : ops)
        if (op->handle == handle && op->request.endpoint == endpoint)
            startCancel(*op);
}

void EmulatedDriver::cancel(Handle handle, AsyncOp& asyncOp)
{
    bus_.driverCall();
    ++cancelCalls_;
    auto& op = static_cast<EmuOp&>(asyncOp);
    if (op.pending && op.handle == handle)
        startCancel(op);
}

WaitResult EmulatedDriver::wait(AsyncOp& asyncOp, std::uint32_t timeoutMs)
{
    bus_.driverCall();
    auto& op = static_cast<EmuOp&>(asyncOp);
    auto consume = [&op] {
        op.signalled = false;
        return WaitResult::Signalled;
    };
    refresh(op);
    if (op.signalled)
        return consume();
    const bool forever = timeoutMs == WAIT_INFINITE;
    if (!op.pending) {
        if (forever) {
            bus_.deadlock("an endless wait on an event that nothing will signal");
            return WaitResult::Failed;
        }
        bus_.advanceTo(bus_.now() + timeoutMs);
        return WaitResult::TimedOut;
    }
    const std::uint64_t deadline = forever ? std::numeric_limits<std::uint64_t>::max() : bus_.now() + timeoutMs;
    if (op.completeAt && *op.completeAt <= deadline) {
        bus_.advanceTo(std::max(bus_.now(), *op.completeAt));
        refresh(op);
        if (op.pending) // the device went away meanwhile
            complete(op, UsbStatus::DeviceGone);
        return consume();
    }
    if (!forever)
        bus_.advanceTo(deadline);
    if (!bus_.findDevice(op.instance)) {
        complete(op, UsbStatus::DeviceGone);
        return consume();
    }
    if (forever) {
        bus_.deadlock("an endless wait on a request that never completes");
        return WaitResult::Failed;
    }
    return WaitResult::TimedOut;
}

bool EmulatedDriver::overlappedResult(Handle handle, AsyncOp& asyncOp, std::uint32_t& bytes, std::uint32_t& error)
{
    bus_.driverCall();
    auto& op = static_cast<EmuOp&>(asyncOp);
    if (op.pending && op.handle != handle)
        bus_.violation("overlapped result asked on another handle");
    refresh(op);
    if (op.pending || op.unstarted) {
        error = err::IO_INCOMPLETE;
        return false;
    }
    bytes = op.returned;
    if (!op.ok) {
        error = op.error;
        return false;
    }
    return true;
}

void EmulatedDriver::abandon(std::unique_ptr<AsyncOp> asyncOp)
{
    static_cast<EmuOp&>(*asyncOp).abandoned = true;
    abandoned_.push_back(std::move(asyncOp));
}

bool EmulatedDriver::registerInterfaceNotification(WindowId window, const Guid&, NotifyId& id, std::uint32_t& error)
{
    bus_.driverCall();
    if (!window) {
        error = err::INVALID_PARAMETER;
        return false;
    }
    id = nextNotification_++;
    notifications_.insert(id);
    return true;
}

bool EmulatedDriver::registerHandleNotification(WindowId window, Handle handle, NotifyId& id, std::uint32_t& error)
{
    bus_.driverCall();
    if (!window || !instanceOf(handle)) {
        error = err::INVALID_PARAMETER;
        return false;
    }
    id = nextNotification_++;
    notifications_.insert(id);
    return true;
}

bool EmulatedDriver::unregisterNotification(NotifyId id, std::uint32_t& error)
{
    bus_.driverCall();
    if (const std::uint32_t fault = bus_.unregisterError()) {
        error = fault;
        return false;
    }
    if (notifications_.erase(id) == 0) {
        error = err::INVALID_HANDLE;
        return false;
    }
    return true;
}

} // namespace fxburn::port::emu
