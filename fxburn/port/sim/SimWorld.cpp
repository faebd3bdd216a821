#include "fxburn/port/sim/SimWorld.h"

#include "fxburn/port/sim/BootImages.h"

#include <algorithm>

namespace fxburn::port::sim {

FaultRule FaultRule::on(Identity identity, int request, FaultAction action, std::uint32_t arg)
{
    FaultRule rule;
    rule.identity = identity;
    rule.request = request;
    rule.action = action;
    rule.arg = arg;
    return rule;
}

SimWorld::SimWorld()
    : driver_(*this)
{
}

SimWorld::~SimWorld() = default;

std::size_t SimWorld::addDevice(Identity identity, std::uint16_t productId)
{
    Slot slot;
    slot.board = std::make_unique<SimBoard>();
    slots_.push_back(std::move(slot));
    const std::size_t index = slots_.size() - 1;
    if (identity == Identity::Camera && productId)
        board(index).cameraProductId = productId;
    if (identity == Identity::Other && productId)
        board(index).otherProductId = productId;
    attach(index, identity);
    return index;
}

SimBoard& SimWorld::board(std::size_t slot)
{
    return *slots_.at(slot).board;
}

SimDevice* SimWorld::device(std::size_t slot)
{
    return slots_.at(slot).device.get();
}

void SimWorld::attach(std::size_t slot, Identity identity)
{
    Slot& s = slots_.at(slot);
    if (s.device)
        detach(slot);
    std::unique_ptr<SimDevice> device;
    switch (identity) {
    case Identity::Camera: device = std::make_unique<SimCamera>(*this, slot); break;
    case Identity::BootLoader: device = std::make_unique<SimBootLoader>(*this, slot); break;
    case Identity::Programmer: device = std::make_unique<SimProgrammer>(*this, slot); break;
    case Identity::Other: device = std::make_unique<SimOtherDevice>(*this, slot, board(slot).otherProductId); break;
    }
    device->instance = nextInstance_++;
    if (customizeDevice)
        customizeDevice(*device);
    s.device = std::move(device);
}

void SimWorld::detach(std::size_t slot)
{
    Slot& s = slots_.at(slot);
    if (s.device)
        departed_.push_back(std::move(s.device));
}

void SimWorld::replug(std::size_t slot)
{
    detach(slot);
    events_.clear(); // whatever the board was about to do is lost with the power
    SimBoard& b = board(slot);
    b.ram.clear();
    if (const auto firmware = findCameraFirmware(b.flash.bytes)) {
        b.cameraProductId = firmware->productId;
        b.bcdDevice = firmware->bcdDevice;
        attach(slot, Identity::Camera);
    } else {
        attach(slot, Identity::BootLoader);
    }
}

void SimWorld::reenumerate(std::size_t slot, Identity next, std::uint32_t lagMs, std::uint32_t delayMs, bool comesBack)
{
    schedule(now_ + lagMs, [this, slot] { detach(slot); });
    if (comesBack)
        schedule(now_ + lagMs + delayMs, [this, slot, next] { attach(slot, next); });
}

void SimWorld::schedule(std::uint64_t atMs, std::function<void()> event)
{
    events_.emplace(atMs, std::move(event));
}

FaultRule& SimWorld::addFault(const FaultRule& rule)
{
    faults_.push_back(rule);
    return faults_.back();
}

std::vector<ControlRecord> SimWorld::requestsTo(Identity identity) const
{
    std::vector<ControlRecord> result;
    for (const auto& r : log_)
        if (r.identity == identity)
            result.push_back(r);
    return result;
}

std::vector<std::uint64_t> SimWorld::presentDevices()
{
    std::vector<std::uint64_t> ids;
    for (const auto& s : slots_)
        if (s.device)
            ids.push_back(s.device->instance);
    return ids;
}

emu::UsbDeviceModel* SimWorld::findDevice(std::uint64_t instance)
{
    for (const auto& s : slots_)
        if (s.device && s.device->instance == instance)
            return s.device.get();
    return nullptr;
}

void SimWorld::advanceTo(std::uint64_t ms)
{
    while (!events_.empty() && events_.begin()->first <= ms) {
        auto node = events_.extract(events_.begin());
        now_ = std::max(now_, node.key());
        node.mapped()();
    }
    now_ = std::max(now_, ms);
}

void SimWorld::trip(const std::string& reason)
{
    if (tripped_)
        return;
    tripped_ = true;
    hangReason_ = reason;
    throw SimHang(reason);
}

void SimWorld::driverCall()
{
    ++calls_;
    if (calls_ > maxDriverCalls)
        trip("more than " + std::to_string(maxDriverCalls) + " driver calls");
    if (now_ > maxVirtualMs)
        trip("virtual time passed " + std::to_string(maxVirtualMs) + " ms");
    advanceTo(now_ + driverCallCostMs);
}

void SimWorld::sleepMs(std::uint32_t ms)
{
    if (now_ > maxVirtualMs)
        trip("virtual time passed " + std::to_string(maxVirtualMs) + " ms");
    advanceTo(now_ + ms);
}

void SimWorld::deadlock(const std::string& what)
{
    trip("deadlock: " + what);
}

std::uint32_t SimWorld::enumError(std::uint32_t member)
{
    if (driverFaults.enumErrorMember && *driverFaults.enumErrorMember == member)
        return driverFaults.enumErrorCode;
    return 0;
}

bool SimWorld::consume(int& failures)
{
    if (failures == 0)
        return false;
    if (failures > 0)
        --failures;
    return true;
}

const SimDevice* SimWorld::anyDevice(std::uint64_t instance) const
{
    for (const auto& s : slots_)
        if (s.device && s.device->instance == instance)
            return s.device.get();
    for (const auto& d : departed_)
        if (d->instance == instance)
            return d.get();
    return nullptr;
}

std::uint32_t SimWorld::closeError(std::uint64_t instance)
{
    if (driverFaults.closeFailsFor) {
        const SimDevice* device = anyDevice(instance);
        if (!device || device->identity != *driverFaults.closeFailsFor)
            return 0;
    }
    return consume(driverFaults.closeFailures) ? err::INVALID_HANDLE : 0;
}

std::uint32_t SimWorld::unregisterError()
{
    return consume(driverFaults.unregisterFailures) ? err::INVALID_HANDLE : 0;
}

bool SimWorld::infoFails(std::uint32_t code)
{
    return driverFaults.failingInfoCodes.count(code) > 0;
}

FaultRule* SimWorld::matchFault(const SimDevice& device, const emu::SetupPacket& setup)
{
    for (auto& rule : faults_) {
        if (rule.identity && *rule.identity != device.identity)
            continue;
        if ((rule.request >= 0 && rule.request != setup.bRequest)
            || (rule.deviceToHost >= 0 && rule.deviceToHost != int{setup.isIn()})
            || (rule.value >= 0 && rule.value != setup.wValue) || (rule.index >= 0 && rule.index != setup.wIndex))
            continue;
        if (rule.seen++ < rule.skip)
            continue;
        if (rule.times >= 0 && rule.fired >= static_cast<std::uint32_t>(rule.times))
            continue;
        ++rule.fired;
        return &rule;
    }
    return nullptr;
}

void SimWorld::logControl(const SimDevice& device, const emu::SetupPacket& setup, const std::uint8_t* data,
                          const emu::Reply& reply, std::uint32_t headerTimeoutSeconds, bool faulted)
{
    ControlRecord r;
    r.timeMs = now_;
    r.instance = device.instance;
    r.identity = device.identity;
    r.productId = device.productId;
    r.setup = setup;
    r.headerTimeoutSeconds = headerTimeoutSeconds;
    const std::uint32_t n = setup.isIn() ? std::min<std::uint32_t>(reply.actual, setup.wLength) : setup.wLength;
    if (data && (!setup.isIn() || reply.status == emu::UsbStatus::Ok))
        r.data.assign(data, data + n);
    r.status = reply.status;
    r.faulted = faulted;
    log_.push_back(std::move(r));
}

} // namespace fxburn::port::sim
