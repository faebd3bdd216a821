#pragma once
// Endpoint objects: each turns a transfer into one overlapped device-control
// request on the driver handle (a 38-byte request header, optionally followed
// by a packet table and the data), waits with a time-out, aborts the pipe when
// the time-out passes and reaps the result.

#include "fxburn/port/DriverPort.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace fxburn {

// The block header passed with every transfer code: 38 bytes, little-endian,
// no padding. Written and read byte by byte so the layout is the same on
// every ABI.
struct ControlRequestHeader {
    static constexpr std::uint32_t SIZE = 38;

    std::uint8_t bmRequestType = 0;
    std::uint8_t bRequest = 0;
    std::uint16_t wValue = 0;
    std::uint16_t wIndex = 0;
    std::uint16_t wLength = 0;
    std::uint32_t timeoutSeconds = 0;
    std::uint8_t reserved = 0;
    std::uint8_t endpointAddress = 0;
    std::uint32_t statusB = 0; // bytes 14-17, written back by the driver
    std::uint32_t statusA = 0; // bytes 18-21, written back by the driver
    std::uint32_t packetTableOffset = 0;
    std::uint32_t packetTableLength = 0;
    std::uint32_t dataOffset = 0;
    std::uint32_t dataLength = 0;

    void encode(std::uint8_t* block) const;
    static ControlRequestHeader decode(const std::uint8_t* block);
    static std::uint8_t requestType(std::uint32_t direction, std::uint32_t type, std::uint32_t target);
    // Whole seconds, at least 1 for any time-out below a second; 0 stays 0.
    static std::uint32_t timeoutField(std::uint32_t timeoutMs);
};

inline constexpr std::uint32_t ISO_PACKET_ENTRY_SIZE = 8;

enum TransferMode : std::uint32_t { TRANSFER_BUFFERED = 0, TRANSFER_DIRECT = 1 };

// Fields of the next control request.
namespace request {
inline constexpr std::uint32_t TARGET_DEVICE = 0;
inline constexpr std::uint32_t TARGET_INTERFACE = 1;
inline constexpr std::uint32_t TARGET_ENDPOINT = 2;
inline constexpr std::uint32_t TARGET_OTHER = 3;
inline constexpr std::uint32_t TYPE_STANDARD = 0;
inline constexpr std::uint32_t TYPE_CLASS = 1;
inline constexpr std::uint32_t TYPE_VENDOR = 2;
inline constexpr std::uint32_t DIR_TO_DEVICE = 0;
inline constexpr std::uint32_t DIR_FROM_DEVICE = 1;
} // namespace request

// The block (or header) a begin operation allocates; it lives until
// FinishTransfer has reaped the request.
struct TransferContext {
    std::vector<std::uint8_t> block;
    // What the begin call returned: 0 (done at once), IO_PENDING, or an error
    // for a request that never started.
    std::uint32_t beginCode = 0;
    ControlRequestHeader header() const { return ControlRequestHeader::decode(block.data()); }
};
using TransferContextPtr = std::unique_ptr<TransferContext>;

class UsbEndPoint {
public:
    // `descriptor` is a 7-byte endpoint descriptor, `companion` a 6-byte
    // SuperSpeed endpoint companion; either may be null.
    UsbEndPoint(port::DriverPort* driver, port::Handle handle, const std::uint8_t* descriptor,
                const std::uint8_t* companion = nullptr);
    virtual ~UsbEndPoint() = default;
    UsbEndPoint(const UsbEndPoint&) = delete;
    UsbEndPoint& operator=(const UsbEndPoint&) = delete;

    virtual TransferContextPtr BeginDirectTransfer(std::uint8_t* buffer, std::uint32_t length, port::AsyncOp& op);
    virtual TransferContextPtr BeginBufferedTransfer(std::uint8_t* buffer, std::uint32_t length, port::AsyncOp& op);
    virtual TransferContextPtr BeginTransfer(std::uint8_t* buffer, std::uint32_t length, port::AsyncOp& op) = 0;
    virtual bool FinishTransfer(std::uint8_t* buffer, std::uint32_t& length, port::AsyncOp& op,
                                TransferContextPtr context, std::uint8_t* packetTable);

    bool WaitForTransfer(port::AsyncOp& op);
    bool AbortPipe();
    // The synchronous transfer: `length` becomes the count transferred.
    bool Transfer(std::uint8_t* buffer, std::uint32_t& length, std::uint8_t* packetTable = nullptr);

    bool isIsochronous() const { return (attributes & 3u) == 1u; }
    bool isBulk() const { return (attributes & 3u) == 2u; }
    bool isInterrupt() const { return (attributes & 3u) == 3u; }

    port::DriverPort* driver = nullptr;
    port::Handle handle = port::INVALID_HANDLE;
    std::uint8_t descriptorLength = 0;
    std::uint8_t descriptorType = 0;
    std::uint8_t address = 0;
    std::uint8_t attributes = 0;
    // Bytes per service interval; wider than the descriptor field, so large
    // burst and multiplier products do not wrap.
    std::uint32_t maxPacketSize = 0;
    std::uint16_t packetsPerFrame = 0;
    std::uint8_t interval = 0;
    std::uint8_t companionLength = 0;
    std::uint8_t companionType = 0;
    std::uint8_t maxBurst = 0;
    std::uint8_t companionAttributes = 0;
    std::uint16_t bytesPerInterval = 0;
    std::uint32_t TimeoutMs = 10000;
    std::uint32_t statusA = 0;
    std::uint32_t statusB = 0;
    std::uint32_t bytesTransferred = 0;
    std::uint32_t LastError = 0;
    bool isIn = false;
    std::uint32_t transferMode = TRANSFER_DIRECT;

protected:
    // Issues the request and keeps the header's status words and the begin code.
    TransferContextPtr issue(std::uint32_t code, TransferContextPtr context, std::uint32_t inLength, void* out,
                             std::uint32_t outLength, port::AsyncOp& op);
    // The block of a buffered transfer, or the header of a direct one, with
    // room for a packet table of `packets` entries.
    TransferContextPtr beginBuffered(std::uint8_t* buffer, std::uint32_t length, std::uint32_t packets,
                                     port::AsyncOp& op);
    TransferContextPtr beginDirect(std::uint8_t* buffer, std::uint32_t length, std::uint32_t packets,
                                   port::AsyncOp& op);
    TransferContextPtr beginByMode(std::uint8_t* buffer, std::uint32_t length, port::AsyncOp& op);
};

class UsbControlEndPoint : public UsbEndPoint {
public:
    UsbControlEndPoint(port::DriverPort* driver, port::Handle handle, const std::uint8_t* descriptor);
    TransferContextPtr BeginTransfer(std::uint8_t* buffer, std::uint32_t length, port::AsyncOp& op) override;

    std::uint32_t target = request::TARGET_DEVICE;
    std::uint32_t requestType = request::TYPE_VENDOR;
    std::uint32_t direction = request::DIR_TO_DEVICE;
    std::uint8_t requestCode = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
};

class UsbIsocEndPoint : public UsbEndPoint {
public:
    using UsbEndPoint::UsbEndPoint;
    TransferContextPtr BeginDirectTransfer(std::uint8_t* buffer, std::uint32_t length, port::AsyncOp& op) override;
    TransferContextPtr BeginBufferedTransfer(std::uint8_t* buffer, std::uint32_t length, port::AsyncOp& op) override;
    TransferContextPtr BeginTransfer(std::uint8_t* buffer, std::uint32_t length, port::AsyncOp& op) override;
    // Packets a transfer of `length` bytes needs; 0 when none fits.
    std::uint32_t packetCount(std::uint32_t length) const;
};

class UsbBulkEndPoint : public UsbEndPoint {
public:
    using UsbEndPoint::UsbEndPoint;
    TransferContextPtr BeginTransfer(std::uint8_t* buffer, std::uint32_t length, port::AsyncOp& op) override;
};

class UsbInterruptEndPoint : public UsbEndPoint {
public:
    using UsbEndPoint::UsbEndPoint;
    TransferContextPtr BeginTransfer(std::uint8_t* buffer, std::uint32_t length, port::AsyncOp& op) override;
};

// Little-endian field access shared by the USB code.
inline std::uint16_t readLe16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t readLe32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
        | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void writeLe16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void writeLe32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace fxburn
