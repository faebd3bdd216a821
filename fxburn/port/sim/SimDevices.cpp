#include "fxburn/port/sim/SimDevices.h"

#include "fxburn/UsbDriver.h"
#include "fxburn/port/sim/BootImages.h"
#include "fxburn/port/sim/SimWorld.h"

#include <algorithm>
#include <cstring>

namespace fxburn::port::sim {

using emu::Reply;
using emu::SetupPacket;
using emu::UsbStatus;

namespace {

constexpr std::uint8_t VENDOR_OUT = 0x40;
constexpr std::uint8_t VENDOR_IN = 0xC0;

std::uint32_t address32(const SetupPacket& s)
{
    return (std::uint32_t{s.wIndex} << 16) | s.wValue;
}

void putValue(std::uint8_t* buffer, std::uint32_t length, std::uint32_t value)
{
    for (std::uint32_t i = 0; i < length && i < 4; ++i)
        buffer[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void putText(std::uint8_t* buffer, std::uint32_t length, const std::string& text)
{
    std::memset(buffer, 0, length);
    std::memcpy(buffer, text.data(), std::min<std::size_t>(text.size(), length - 1));
}

} // namespace

const char* identityName(Identity identity)
{
    switch (identity) {
    case Identity::Camera: return "camera";
    case Identity::BootLoader: return "boot loader";
    case Identity::Programmer: return "flash programmer";
    case Identity::Other: return "other device";
    }
    return "?";
}

SimRam::SimRam()
{
    regions_.push_back({0x00000000, Bytes(16 * 1024, 0)});
    regions_.push_back({0x10000000, Bytes(8 * 1024, 0)});
    regions_.push_back({0x40000000, Bytes(512 * 1024, 0)});
}

const SimRam::Region* SimRam::find(std::uint32_t address, std::uint32_t length) const
{
    for (const auto& r : regions_)
        if (address >= r.base && std::uint64_t{address} + length <= r.base + r.bytes.size())
            return &r;
    return nullptr;
}

bool SimRam::write(std::uint32_t address, const std::uint8_t* data, std::uint32_t length)
{
    const Region* r = find(address, length);
    if (!r)
        return false;
    if (length > 0)
        std::memcpy(const_cast<Region*>(r)->bytes.data() + (address - r->base), data, length);
    return true;
}

bool SimRam::read(std::uint32_t address, std::uint8_t* data, std::uint32_t length) const
{
    const Region* r = find(address, length);
    if (!r)
        return false;
    if (length > 0)
        std::memcpy(data, r->bytes.data() + (address - r->base), length);
    return true;
}

void SimRam::clear()
{
    for (auto& r : regions_)
        std::fill(r.bytes.begin(), r.bytes.end(), std::uint8_t{0});
}

SimFlash::SimFlash(std::size_t size)
    : bytes(size)
    , pageWrites(size / PAGE, 0)
    , sectorErases(size / SECTOR, 0)
{
    // A recognisable old content: what is not erased keeps it.
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 7 + (i >> 8)) & 0xFF);
}

bool SimFlash::program(std::uint32_t offset, const std::uint8_t* data, std::uint32_t length, std::string& violation)
{
    if (std::uint64_t{offset} + length > bytes.size())
        return false;
    for (std::uint32_t i = 0; i < length; ++i) {
        std::uint8_t& cell = bytes[offset + i];
        if ((cell & data[i]) != data[i] && violation.empty())
            violation = "flash byte " + std::to_string(offset + i) + " programmed without an erase";
        cell &= data[i];
    }
    for (std::uint32_t page = offset / PAGE; page <= (offset + length - 1) / PAGE; ++page)
        ++pageWrites[page];
    return true;
}

bool SimFlash::erase(std::uint32_t sector)
{
    if (std::uint64_t{sector + 1} * SECTOR > bytes.size())
        return false;
    std::fill_n(bytes.begin() + std::size_t{sector} * SECTOR, SECTOR, std::uint8_t{0xFF});
    std::fill_n(pageWrites.begin() + std::size_t{sector} * (SECTOR / PAGE), SECTOR / PAGE, 0u);
    ++sectorErases[sector];
    return true;
}

SimBoard::SimBoard()
{
    // The camera's current firmware, which a replug of an untouched board boots.
    const Bytes old = makeCameraFirmware(150000, cameraProductId, bcdDevice);
    std::copy(old.begin(), old.end(), flash.bytes.begin());
}

SimDevice::SimDevice(SimWorld& world, std::size_t slotIndex, Identity id, std::uint16_t pid)
    : identity(id)
    , productId(pid)
    , slot(slotIndex)
    , world_(world)
{
    DeviceFields fields;
    fields.vendorId = world.board(slot).vendorId;
    fields.productId = pid;
    deviceDesc = deviceDescriptor(fields);
    configurations.push_back(ConfigBuilder().interface(0, 0, 0).build());
    strings[1] = stringDescriptor("Kelvra");
    strings[2] = stringDescriptor(identityName(id));
    strings[3] = stringDescriptor("SIM0001");
}

SimBoard& SimDevice::board()
{
    return world_.board(slot);
}

Reply SimDevice::control(const SetupPacket& setup, std::uint8_t* data, std::uint32_t timeout)
{
    FaultRule* rule = world_.matchFault(*this, setup);
    Reply reply;
    bool handled = rule != nullptr;
    if (rule) {
        switch (rule->action) {
        case FaultAction::Stall: reply = Reply::stall(); break;
        case FaultAction::Silent: reply.hang = Reply::Hang::Silent; break;
        case FaultAction::HangUntilAbort: reply.hang = Reply::Hang::UntilAbort; break;
        case FaultAction::HangForever: reply.hang = Reply::Hang::Forever; break;
        case FaultAction::AbortLatency:
            reply.hang = Reply::Hang::UntilAbort;
            reply.abortLatencyMs = rule->arg;
            break;
        case FaultAction::BeginError: reply.beginError = rule->arg; break;
        default: handled = false; break;
        }
    }
    if (!handled) {
        const bool isStandard = (setup.bmRequestType & 0x60u) == 0;
        reply = isStandard ? standard(setup, data) : vendor(setup, data);
    }
    if (rule && !handled) {
        switch (rule->action) {
        case FaultAction::Delay: reply.latencyMs = rule->arg; break;
        case FaultAction::ShortReply: reply.actual = std::min(reply.actual, rule->arg); break;
        case FaultAction::ZeroReply: reply.actual = 0; break;
        case FaultAction::CorruptXor:
            for (std::uint32_t i = 0; i < reply.actual; ++i)
                data[i] ^= static_cast<std::uint8_t>(rule->arg);
            break;
        case FaultAction::ReturnedCount: reply.returnedOverride = rule->arg; break;
        case FaultAction::CompleteAtOnce: reply.completeAtOnce = true; break;
        case FaultAction::Vanish: world_.schedule(world_.now(), [w = &world_, s = slot] { w->detach(s); }); break;
        case FaultAction::VanishAfter: leaveWhenDone_ = true; break;
        default: break;
        }
    }
    world_.logControl(*this, setup, data, reply, timeout, rule != nullptr);
    return reply;
}

void SimDevice::controlDone(const SetupPacket& setup, UsbStatus status)
{
    done(setup, status);
    if (leaveWhenDone_) {
        leaveWhenDone_ = false;
        world_.schedule(world_.now(), [w = &world_, s = slot] { w->detach(s); });
    }
}

Reply SimDevice::standard(const SetupPacket& setup, std::uint8_t* data)
{
    if (setup.bmRequestType != 0x80 || setup.bRequest != 6)
        return Reply::stall();
    const std::uint8_t type = static_cast<std::uint8_t>(setup.wValue >> 8);
    const std::uint8_t index = static_cast<std::uint8_t>(setup.wValue);
    const Bytes* descriptor = nullptr;
    if (type == 1)
        descriptor = &deviceDesc;
    else if (type == 2 && index < configurations.size())
        descriptor = &configurations[index];
    else if (type == 3 && index == 0)
        descriptor = &languages;
    else if (type == 3 && strings.count(index))
        descriptor = &strings[index];
    else if (type == 0x0F && !bos.empty())
        descriptor = &bos;
    if (!descriptor)
        return Reply::stall();
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(setup.wLength, descriptor->size()));
    if (n > 0)
        std::memcpy(data, descriptor->data(), n);
    return Reply::ok(n);
}

bool SimDevice::query(std::uint32_t code, std::uint8_t* buffer, std::uint32_t length)
{
    switch (code) {
    case IOCTL_GET_DRIVER_VERSION: putValue(buffer, length, driverVersion); return true;
    case IOCTL_GET_USBDI_VERSION: putValue(buffer, length, usbdiVersion); return true;
    case IOCTL_GET_ALT_SETTING: putValue(buffer, length, alternateSetting); return true;
    case IOCTL_GET_ADDRESS: putValue(buffer, length, address); return true;
    case IOCTL_GET_SPEED: putValue(buffer, length, speed); return true;
    case IOCTL_GET_DEVICE_NAME: putText(buffer, length, deviceName); return true;
    case IOCTL_GET_FRIENDLY_NAME: putText(buffer, length, friendlyName); return true;
    default: return false;
    }
}

Reply SimDevice::vendor(const SetupPacket&, std::uint8_t*)
{
    return Reply::stall();
}

void SimDevice::done(const SetupPacket&, UsbStatus)
{
}

SimCamera::SimCamera(SimWorld& world, std::size_t slotIndex)
    : SimDevice(world, slotIndex, Identity::Camera, world.board(slotIndex).cameraProductId)
{
    DeviceFields fields;
    fields.bcdUsb = 0x0320;
    fields.maxPacketSize0 = 9; // 512 bytes
    fields.vendorId = board().vendorId;
    fields.productId = productId;
    fields.bcdDevice = board().bcdDevice;
    deviceDesc = deviceDescriptor(fields);
    bos = BosBuilder()
              .usb20Extension(0x1E)
              .superSpeed()
              .containerId({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16})
              .build();
    configurations = {ConfigBuilder()
                          .interface(0, 0, 2)
                          .endpoint(0x81, 2, 1024)
                          .companion(3)
                          .endpoint(0x01, 2, 1024)
                          .companion(3)
                          .interface(0, 1, 1)
                          .endpoint(0x83, 1, 1024, 1)
                          .companion(0, 1, 2048)
                          .build()};
    strings[2] = stringDescriptor("Quenta ToF Camera");
    speed = DRIVER_SPEED_SUPER;
}

Reply SimCamera::vendor(const SetupPacket& s, std::uint8_t* data)
{
    if (s.bmRequestType == VENDOR_OUT && s.bRequest == 0x42 && s.wValue == 0x0057) {
        if (s.wIndex == 3 && s.wLength == 4 && !data[0] && !data[1] && !data[2] && !data[3]) {
            ++board().eraseDataCommands;
            return Reply::ok(4);
        }
        if (s.wIndex == 5 && s.wLength == 2 && data[0] == 0x6B && data[1] == 0xD2)
            return Reply::ok(2);
    }
    if (board().cameraAnswersRamProbe && s.bmRequestType == VENDOR_IN && s.bRequest == 0xA0) {
        std::memset(data, 0, s.wLength);
        return Reply::ok(s.wLength);
    }
    return Reply::stall();
}

void SimCamera::done(const SetupPacket& s, UsbStatus status)
{
    if (status != UsbStatus::Ok || s.bRequest != 0x42 || s.wIndex != 5)
        return;
    SimBoard& b = board();
    ++b.enterBootLoaderCommands;
    world_.reenumerate(slot, b.bootLoaderComesBackAs.value_or(Identity::BootLoader), b.detachLagMs, b.bootLoaderDelayMs,
                       b.bootLoaderReturns);
}

SimBootLoader::SimBootLoader(SimWorld& world, std::size_t slotIndex)
    : SimDevice(world, slotIndex, Identity::BootLoader, SIM_PID_BOOT_LOADER)
{
    strings[1] = stringDescriptor("FX3");
    strings[2] = stringDescriptor("FX3 boot loader");
}

Reply SimBootLoader::vendor(const SetupPacket& s, std::uint8_t* data)
{
    if (s.bRequest != 0xA0)
        return Reply::stall();
    if (s.bmRequestType == VENDOR_OUT) {
        if (s.wLength == 0)
            return board().jumpStatusFails ? Reply::stall() : Reply::ok(0);
        return board().ram.write(address32(s), data, s.wLength) ? Reply::ok(s.wLength) : Reply::stall();
    }
    if (s.bmRequestType == VENDOR_IN)
        return board().ram.read(address32(s), data, s.wLength) ? Reply::ok(s.wLength) : Reply::stall();
    return Reply::stall();
}

void SimBootLoader::done(const SetupPacket& s, UsbStatus)
{
    if (s.bmRequestType != VENDOR_OUT || s.bRequest != 0xA0 || s.wLength != 0)
        return;
    SimBoard& b = board();
    const std::uint32_t entry = address32(s);
    b.lastJump = entry;
    std::uint8_t code[sizeof PROGRAMMER_MARKER] = {};
    const bool programmer =
        b.ram.read(entry, code, sizeof code) && std::memcmp(code, PROGRAMMER_MARKER, sizeof code) == 0;
    // Anything else at the entry address hangs the chip: it never comes back.
    world_.reenumerate(slot, Identity::Programmer, b.detachLagMs, b.programmerDelayMs,
                       programmer && b.programmerReturns);
}

SimProgrammer::SimProgrammer(SimWorld& world, std::size_t slotIndex)
    : SimDevice(world, slotIndex, Identity::Programmer, SIM_PID_PROGRAMMER)
{
    DeviceFields fields;
    fields.bcdUsb = 0x0210;
    fields.vendorId = board().vendorId;
    fields.productId = productId;
    deviceDesc = deviceDescriptor(fields);
    configurations = {ConfigBuilder().interface(0, 0, 2).endpoint(0x81, 2, 512).endpoint(0x01, 2, 512).build()};
    strings[1] = stringDescriptor("FX3");
    strings[2] = stringDescriptor("FX3 flash programmer");
}

Reply SimProgrammer::vendor(const SetupPacket& s, std::uint8_t* data)
{
    SimBoard& b = board();
    SimFlash& flash = b.flash;
    if (s.bmRequestType == VENDOR_OUT && s.bRequest == 0xC4 && s.wValue == 1 && s.wLength == 0) {
        if (std::uint64_t{s.wIndex + 1u} * SimFlash::SECTOR > flash.size())
            return Reply::stall();
        erasing_ = s.wIndex;
        busyPolls_ = b.erasePolls;
        return Reply::ok(0);
    }
    if (s.bmRequestType == VENDOR_IN && s.bRequest == 0xC4 && s.wValue == 0 && s.wLength == 1) {
        data[0] = 0;
        if (erasing_ && *erasing_ == s.wIndex) {
            if (busyPolls_ < 0 || busyPolls_-- > 0) {
                data[0] = 1;
            } else {
                flash.erase(*erasing_);
                erasing_.reset();
            }
        }
        return Reply::ok(1);
    }
    if (s.bmRequestType == VENDOR_OUT && s.bRequest == 0xC2 && s.wValue == 0 && s.wLength > 0 && s.wLength <= 2048) {
        if (erasing_)
            world_.violation("page write while a sector erase is under way");
        std::string violation;
        if (!flash.program(std::uint32_t{s.wIndex} * SimFlash::PAGE, data, s.wLength, violation))
            return Reply::stall();
        if (!violation.empty())
            world_.violation(violation);
        return Reply::ok(s.wLength);
    }
    if ((s.bmRequestType == VENDOR_OUT && s.bRequest == 0xBA) || (s.bmRequestType == VENDOR_IN && s.bRequest == 0xBB)) {
        const std::size_t base = (std::size_t{s.wValue} & 7u) * 65536;
        for (std::uint32_t i = 0; i < s.wLength; ++i) {
            std::uint8_t& cell = b.eeprom[base + ((s.wIndex + i) & 0xFFFFu)];
            if (s.bRequest == 0xBA)
                cell = data[i];
            else
                data[i] = cell;
        }
        return Reply::ok(s.wLength);
    }
    return Reply::stall();
}

Reply SimProgrammer::dataTransfer(std::uint8_t endpoint, std::uint8_t* data, std::uint32_t length)
{
    if (endpoint == 0x01) {
        loopback_.assign(data, data + length);
        return Reply::ok(length);
    }
    if (endpoint == 0x81) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(length, loopback_.size()));
        if (n > 0)
            std::memcpy(data, loopback_.data(), n);
        return Reply::ok(n);
    }
    return Reply::stall();
}

SimOtherDevice::SimOtherDevice(SimWorld& world, std::size_t slotIndex, std::uint16_t pid)
    : SimDevice(world, slotIndex, Identity::Other, pid)
{
}

} // namespace fxburn::port::sim
