#include "fxburn/port/DriverPort.h"

#include <algorithm>
#include <cstring>

namespace fxburn::port {

bool boundedIoctl(DriverPort& port, Handle handle, std::uint32_t code, const void* in, std::uint32_t inLength,
                  void* out, std::uint32_t outLength, std::uint32_t& returned, std::uint32_t& error,
                  std::uint32_t limitMs)
{
    returned = 0;
    auto op = port.newAsyncOp(error);
    if (!op)
        return false;
    auto block = std::make_unique<std::vector<std::uint8_t>>(std::max(inLength, outLength));
    std::uint8_t* data = block->data();
    if (in && inLength > 0)
        std::memcpy(data, in, inLength);
    const std::uint32_t begun = port.ioctlBegin(handle, code, data, inLength, data, outLength, *op);
    if (begun != err::SUCCESS && begun != err::IO_PENDING) {
        // Refused at once: nothing is in flight and no result will come.
        error = begun;
        return false;
    }
    if (begun == err::IO_PENDING && port.wait(*op, limitMs) != WaitResult::Signalled) {
        port.cancel(handle, *op);
        port.wait(*op, ABORT_WAIT_LIMIT_MS);
    }
    std::uint32_t bytes = 0;
    const bool ok = port.overlappedResult(handle, *op, bytes, error);
    if (!ok && error == err::IO_INCOMPLETE) {
        // The driver may still write into the block: it stays with the op.
        op->heldBlock = std::move(block);
        port.abandon(std::move(op));
        return false;
    }
    const std::uint32_t back = std::min(bytes, outLength);
    if (out && back > 0)
        std::memcpy(out, data, back);
    returned = bytes;
    return ok;
}

} // namespace fxburn::port
