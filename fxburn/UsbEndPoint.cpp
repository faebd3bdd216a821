#include "fxburn/UsbEndPoint.h"

#include "fxburn/UsbDriver.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace fxburn {

void ControlRequestHeader::encode(std::uint8_t* b) const
{
    b[0] = bmRequestType;
    b[1] = bRequest;
    writeLe16(b + 2, wValue);
    writeLe16(b + 4, wIndex);
    writeLe16(b + 6, wLength);
    writeLe32(b + 8, timeoutSeconds);
    b[12] = reserved;
    b[13] = endpointAddress;
    writeLe32(b + 14, statusB);
    writeLe32(b + 18, statusA);
    writeLe32(b + 22, packetTableOffset);
    writeLe32(b + 26, packetTableLength);
    writeLe32(b + 30, dataOffset);
    writeLe32(b + 34, dataLength);
}

ControlRequestHeader ControlRequestHeader::decode(const std::uint8_t* b)
{
    ControlRequestHeader h;
    h.bmRequestType = b[0];
    h.bRequest = b[1];
    h.wValue = readLe16(b + 2);
    h.wIndex = readLe16(b + 4);
    h.wLength = readLe16(b + 6);
    h.timeoutSeconds = readLe32(b + 8);
    h.reserved = b[12];
    h.endpointAddress = b[13];
    h.statusB = readLe32(b + 14);
    h.statusA = readLe32(b + 18);
    h.packetTableOffset = readLe32(b + 22);
    h.packetTableLength = readLe32(b + 26);
    h.dataOffset = readLe32(b + 30);
    h.dataLength = readLe32(b + 34);
    return h;
}

std::uint8_t ControlRequestHeader::requestType(std::uint32_t direction, std::uint32_t type, std::uint32_t target)
{
    return static_cast<std::uint8_t>((direction << 7) | ((type & 3u) << 5) | (target & 0x1Fu));
}

std::uint32_t ControlRequestHeader::timeoutField(std::uint32_t timeoutMs)
{
    if (timeoutMs > 0 && timeoutMs < 1000)
        return 1;
    return timeoutMs / 1000;
}

UsbEndPoint::UsbEndPoint(port::DriverPort* driverPort, port::Handle driverHandle, const std::uint8_t* descriptor,
                         const std::uint8_t* companion)
    : driver(driverPort)
    , handle(driverHandle)
{
    if (descriptor) {
        descriptorLength = descriptor[0];
        descriptorType = descriptor[1];
        address = descriptor[2];
        attributes = descriptor[3];
        const std::uint16_t wMaxPacketSize = readLe16(descriptor + 4);
        interval = descriptor[6];
        const std::uint32_t multiplier = ((wMaxPacketSize >> 11) & 3u) + 1u;
        packetsPerFrame = static_cast<std::uint16_t>(multiplier);
        maxPacketSize = (wMaxPacketSize & 0x7FFu) * multiplier;
        isIn = (address & 0x80u) != 0;
    }
    TimeoutMs = 10000;
    transferMode = TRANSFER_DIRECT;
    if (companion) {
        companionLength = companion[0];
        companionType = companion[1];
        maxBurst = companion[2];
        companionAttributes = companion[3];
        bytesPerInterval = readLe16(companion + 4);
        maxPacketSize *= static_cast<std::uint32_t>(maxBurst) + 1u;
        if (isIsochronous())
            maxPacketSize *= (companionAttributes & 3u) + 1u;
    }
}

TransferContextPtr UsbEndPoint::issue(std::uint32_t code, TransferContextPtr context, std::uint32_t inLength, void* out,
                                      std::uint32_t outLength, port::AsyncOp& op)
{
    LastError = driver->ioctlBegin(handle, code, context->block.data(), inLength, out, outLength, op);
    context->beginCode = LastError;
    const ControlRequestHeader h = context->header();
    statusA = h.statusA;
    statusB = h.statusB;
    return context;
}

namespace {

bool blockFits(std::uint64_t size)
{
    return size <= std::numeric_limits<std::uint32_t>::max();
}

TransferContextPtr newBlock(std::uint32_t size, const ControlRequestHeader& header)
{
    auto context = std::make_unique<TransferContext>();
    context->block.assign(size, 0);
    header.encode(context->block.data());
    return context;
}

} // namespace

TransferContextPtr UsbEndPoint::beginBuffered(std::uint8_t* buffer, std::uint32_t length, std::uint32_t packets,
                                              port::AsyncOp& op)
{
    if (!driver || handle == port::INVALID_HANDLE)
        return nullptr;
    const std::uint64_t table = std::uint64_t{packets} * ISO_PACKET_ENTRY_SIZE;
    const std::uint64_t size = ControlRequestHeader::SIZE + table + length;
    if (!blockFits(size))
        return nullptr;
    ControlRequestHeader h;
    h.endpointAddress = address;
    h.packetTableOffset = packets ? ControlRequestHeader::SIZE : 0;
    h.packetTableLength = static_cast<std::uint32_t>(table);
    h.dataOffset = static_cast<std::uint32_t>(ControlRequestHeader::SIZE + table);
    h.dataLength = length;
    auto context = newBlock(static_cast<std::uint32_t>(size), h);
    if (buffer && length > 0)
        std::memcpy(context->block.data() + h.dataOffset, buffer, length);
    void* block = context->block.data();
    return issue(IOCTL_BUFFERED_TRANSFER, std::move(context), static_cast<std::uint32_t>(size), block,
                 static_cast<std::uint32_t>(size), op);
}

TransferContextPtr UsbEndPoint::beginDirect(std::uint8_t* buffer, std::uint32_t length, std::uint32_t packets,
                                            port::AsyncOp& op)
{
    if (!driver || handle == port::INVALID_HANDLE)
        return nullptr;
    const std::uint64_t table = std::uint64_t{packets} * ISO_PACKET_ENTRY_SIZE;
    const std::uint64_t size = ControlRequestHeader::SIZE + table;
    if (!blockFits(size))
        return nullptr;
    ControlRequestHeader h;
    h.endpointAddress = address;
    h.packetTableOffset = packets ? ControlRequestHeader::SIZE : 0;
    h.packetTableLength = static_cast<std::uint32_t>(table);
    auto context = newBlock(static_cast<std::uint32_t>(size), h);
    return issue(IOCTL_DIRECT_TRANSFER, std::move(context), static_cast<std::uint32_t>(size), buffer, length, op);
}

TransferContextPtr UsbEndPoint::BeginBufferedTransfer(std::uint8_t* buffer, std::uint32_t length, port::AsyncOp& op)
{
    return beginBuffered(buffer, length, 0, op);
}

TransferContextPtr UsbEndPoint::BeginDirectTransfer(std::uint8_t* buffer, std::uint32_t length, port::AsyncOp& op)
{
    return beginDirect(buffer, length, 0, op);
}

TransferContextPtr UsbEndPoint::beginByMode(std::uint8_t* buffer, std::uint32_t length, port::AsyncOp& op)
{
    if (!driver || handle == port::INVALID_HANDLE)
        return nullptr;
    if (transferMode == TRANSFER_DIRECT)
        return BeginDirectTransfer(buffer, length, op);
    return BeginBufferedTransfer(buffer, length, op);
}

bool UsbEndPoint::FinishTransfer(std::uint8_t* buffer, std::uint32_t& length, port::AsyncOp& op,
                                 TransferContextPtr context, std::uint8_t* packetTable)
{
    const std::uint32_t begun = context->beginCode;
    if (begun != port::err::SUCCESS && begun != port::err::IO_PENDING) {
        // Refused at once: nothing is in flight and no result will come.
        LastError = begun;
        length = 0;
        bytesTransferred = 0;
        return false;
    }
    std::uint32_t returned = 0;
    std::uint32_t error = 0;
    bool ok = driver->overlappedResult(handle, op, returned, error);
    if (!ok && error == port::err::IO_INCOMPLETE) {
        // Still in flight: the driver owns the block until it completes.
        AbortPipe();
        driver->wait(op, port::ABORT_WAIT_LIMIT_MS);
        ok = driver->overlappedResult(handle, op, returned, error);
        if (!ok && error == port::err::IO_INCOMPLETE) {
            // The block stays with the op, which goes to the driver port.
            op.heldBlock = std::make_unique<std::vector<std::uint8_t>>(std::move(context->block));
            LastError = error;
            length = 0;
            bytesTransferred = 0;
            return false;
        }
    }
    if (!ok)
        LastError = error;

    const ControlRequestHeader h = context->header();
    const std::uint32_t requested = length;
    bool countOk = true;
    std::uint32_t got = 0;
    if (returned > 0) {
        if (returned < h.dataOffset)
            countOk = false;
        else
            got = std::min(returned - h.dataOffset, requested);
    }
    length = got;
    bytesTransferred = got;
    statusA = h.statusA;
    statusB = h.statusB;

    if (isIn && transferMode == TRANSFER_BUFFERED && got > 0 && buffer)
        std::memcpy(buffer, context->block.data() + h.dataOffset, got);
    if (packetTable && got > 0 && h.packetTableLength > 0
        && std::uint64_t{h.packetTableOffset} + h.packetTableLength <= context->block.size()) {
        std::memset(packetTable, 0, h.packetTableLength);
        std::memcpy(packetTable, context->block.data() + h.packetTableOffset, h.packetTableLength);
    }
    return ok && countOk && statusA == 0 && statusB == 0;
}

bool UsbEndPoint::WaitForTransfer(port::AsyncOp& op)
{
    if (LastError == port::err::SUCCESS)
        return true;
    if (LastError != port::err::IO_PENDING)
        return false;
    port::WaitResult w = driver->wait(op, TimeoutMs);
    if (w == port::WaitResult::Signalled)
        return true;
    if (w != port::WaitResult::TimedOut)
        return false;
    AbortPipe();
    w = driver->wait(op, 50);
    if (w == port::WaitResult::Signalled)
        return true;
    AbortPipe();
    return driver->wait(op, port::ABORT_WAIT_LIMIT_MS) == port::WaitResult::Signalled;
}

bool UsbEndPoint::AbortPipe()
{
    if (!driver || handle == port::INVALID_HANDLE)
        return true;
    std::uint32_t error = 0;
    auto op = driver->newAsyncOp(error);
    if (!op)
        return true;
    std::uint8_t endpointAddress = address;
    const std::uint32_t code = driver->ioctlBegin(handle, IOCTL_ABORT_PIPE, &endpointAddress, 1, nullptr, 0, *op);
    if (code == port::err::IO_PENDING && driver->wait(*op, port::ABORT_WAIT_LIMIT_MS) != port::WaitResult::Signalled) {
        std::uint32_t bytes = 0;
        std::uint32_t error = 0;
        if (!driver->overlappedResult(handle, *op, bytes, error) && error == port::err::IO_INCOMPLETE)
            driver->abandon(std::move(op));
    }
    return true;
}

bool UsbEndPoint::Transfer(std::uint8_t* buffer, std::uint32_t& length, std::uint8_t* packetTable)
{
    if (!driver)
        return false;
    std::uint32_t error = 0;
    auto op = driver->newAsyncOp(error);
    if (!op) {
        LastError = error;
        return false;
    }
    TransferContextPtr context = BeginTransfer(buffer, length, *op);
    if (!context)
        return false;
    const bool waited = WaitForTransfer(*op);
    const bool finished = FinishTransfer(buffer, length, *op, std::move(context), packetTable);
    if (op->heldBlock)
        driver->abandon(std::move(op));
    return waited && finished;
}

UsbControlEndPoint::UsbControlEndPoint(port::DriverPort* driverPort, port::Handle driverHandle,
                                       const std::uint8_t* descriptor)
    : UsbEndPoint(driverPort, driverHandle, descriptor)
{
    target = request::TARGET_DEVICE;
    requestType = request::TYPE_VENDOR;
    direction = request::DIR_TO_DEVICE;
    requestCode = 0;
    value = 0;
    index = 0;
    transferMode = TRANSFER_BUFFERED;
}

TransferContextPtr UsbControlEndPoint::BeginTransfer(std::uint8_t* buffer, std::uint32_t length, port::AsyncOp& op)
{
    if (!driver || handle == port::INVALID_HANDLE)
        return nullptr;
    if (length > 0xFFFFu) // wLength is 16 bits
        return nullptr;
    ControlRequestHeader h;
    h.bmRequestType = ControlRequestHeader::requestType(direction, requestType, target);
    isIn = direction == request::DIR_FROM_DEVICE;
    h.bRequest = requestCode;
    h.wValue = value;
    h.wIndex = index;
    h.wLength = static_cast<std::uint16_t>(length);
    h.timeoutSeconds = ControlRequestHeader::timeoutField(TimeoutMs);
    h.endpointAddress = 0;
    h.dataOffset = ControlRequestHeader::SIZE;
    h.dataLength = length;
    const std::uint32_t size = ControlRequestHeader::SIZE + length;
    auto context = newBlock(size, h);
    if (buffer && length > 0)
        std::memcpy(context->block.data() + ControlRequestHeader::SIZE, buffer, length);
    void* block = context->block.data();
    return issue(IOCTL_CONTROL_TRANSFER, std::move(context), size, block, size, op);
}

std::uint32_t UsbIsocEndPoint::packetCount(std::uint32_t length) const
{
    if (maxPacketSize == 0)
        return 0;
    return static_cast<std::uint32_t>((std::uint64_t{length} + maxPacketSize - 1) / maxPacketSize);
}

TransferContextPtr UsbIsocEndPoint::BeginBufferedTransfer(std::uint8_t* buffer, std::uint32_t length, port::AsyncOp& op)
{
    const std::uint32_t packets = packetCount(length);
    if (packets == 0)
        return nullptr;
    return beginBuffered(buffer, length, packets, op);
}

TransferContextPtr UsbIsocEndPoint::BeginDirectTransfer(std::uint8_t* buffer, std::uint32_t length, port::AsyncOp& op)
{
    const std::uint32_t packets = packetCount(length);
    if (packets == 0)
        return nullptr;
    return beginDirect(buffer, length, packets, op);
}

TransferContextPtr UsbIsocEndPoint::BeginTransfer(std::uint8_t* buffer, std::uint32_t length, port::AsyncOp& op)
{
    return beginByMode(buffer, length, op);
}

TransferContextPtr UsbBulkEndPoint::BeginTransfer(std::uint8_t* buffer, std::uint32_t length, port::AsyncOp& op)
{
    return beginByMode(buffer, length, op);
}

TransferContextPtr UsbInterruptEndPoint::BeginTransfer(std::uint8_t* buffer, std::uint32_t length, port::AsyncOp& op)
{
    return beginByMode(buffer, length, op);
}

} // namespace fxburn
