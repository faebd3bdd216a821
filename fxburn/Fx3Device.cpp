#include "fxburn/Fx3Device.h"

#include <algorithm>
#include <cstring>
#include <iostream>

namespace fxburn {

Fx3Device::Fx3Device(port::Platform p, port::WindowId window, port::Guid interfaceClass, bool open)
    : platform(p)
    , notificationWindow(window)
    , interfaceClassGuid(interfaceClass)
{
    if (window)
        RegisterInterfaceNotification(window);
    if (open)
        Open(0);
}

Fx3Device::~Fx3Device()
{
    try {
        Close();
    } catch (const char* text) {
        report(text);
    } catch (...) {
        report("Failed to close handle to driver.");
    }
    if (interfaceNotification) {
        std::uint32_t error = 0;
        bool released = false;
        try {
            released = platform.driver->unregisterNotification(interfaceNotification, error);
        } catch (...) {
        }
        if (!released) {
            LastError = error;
            report("Failed to close the device notification handle.");
        }
        interfaceNotification = 0;
    }
}

void Fx3Device::report(const char* text) const
{
    std::ostream& out = errorStream ? *errorStream : std::cerr;
    out << "Error : " << text << "\n";
}

std::string Fx3Device::narrow(const std::array<char16_t, STRING_FIELD_CHARS>& text)
{
    std::string result;
    for (char16_t c : text) {
        if (c == 0)
            break;
        result += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return result;
}

std::uint8_t Fx3Device::CountDevices()
{
    DeviceCount = 0;
    port::DriverPort* driver = platform.driver;
    const port::DevSet set = driver->getClassDevs(interfaceClassGuid);
    if (!set)
        return 0;
    unsigned count = 0;
    // Enumeration errors other than the end skip an index; a bounded walk
    // cannot spin on a set that never reports its end.
    for (std::uint32_t member = 0; member < 256; ++member) {
        std::uint32_t error = 0;
        if (driver->enumInterface(set, interfaceClassGuid, member, error))
            ++count;
        else if (error == port::err::NO_MORE_ITEMS)
            break;
    }
    driver->destroyDevs(set);
    DeviceCount = static_cast<std::uint8_t>(std::min(count, 255u));
    return DeviceCount;
}

bool Fx3Device::OpenHandle(std::uint8_t index)
{
    auto fail = [this] {
        DriverHandle = port::INVALID_HANDLE;
        DeviceIndex = 0;
        return false;
    };
    const std::uint8_t count = CountDevices();
    if (count == 0 || index > count - 1)
        return fail();
    port::DriverPort* driver = platform.driver;
    const port::DevSet set = driver->getClassDevs(interfaceClassGuid);
    if (!set)
        return fail();
    std::uint32_t error = 0;
    std::string path;
    if (!driver->enumInterface(set, interfaceClassGuid, index, error)
        || !driver->interfacePath(set, interfaceClassGuid, index, path, error)) {
        LastError = error;
        driver->destroyDevs(set);
        return fail();
    }
    devicePath = path;
    const port::Handle handle = driver->openPath(path, error);
    driver->destroyDevs(set);
    if (handle == port::INVALID_HANDLE) {
        LastError = error;
        return fail();
    }
    DriverHandle = handle;
    return true;
}

// A descriptor read the device leaves unanswered ends by the driver's time-out
// before the port gives it up.
static_assert(DESCRIPTOR_TIMEOUT_S * 1000 < port::SYNC_REQUEST_LIMIT_MS);

bool Fx3Device::IoControl(std::uint32_t code, std::uint8_t* buffer, std::uint32_t size)
{
    if (DriverHandle == port::INVALID_HANDLE)
        return false;
    std::uint32_t returned = 0;
    std::uint32_t error = 0;
    const bool ok = platform.driver->ioctl(DriverHandle, code, buffer, size, buffer, size, returned, error);
    bytesReturned = returned;
    if (!ok) {
        LastError = error;
        return false;
    }
    return returned == size;
}

bool Fx3Device::readDescriptor(std::uint16_t wValue, std::uint16_t wIndex, std::uint16_t length,
                               std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> block(ControlRequestHeader::SIZE + length, 0);
    ControlRequestHeader h;
    h.bmRequestType = 0x80; // device-to-host, standard, device
    h.bRequest = 6; // GET_DESCRIPTOR
    h.wValue = wValue;
    h.wIndex = wIndex;
    h.wLength = length;
    h.timeoutSeconds = DESCRIPTOR_TIMEOUT_S;
    h.dataOffset = ControlRequestHeader::SIZE;
    h.dataLength = length;
    h.encode(block.data());
    const bool ok = IoControl(IOCTL_CONTROL_TRANSFER, block.data(), static_cast<std::uint32_t>(block.size()));
    const ControlRequestHeader back = ControlRequestHeader::decode(block.data());
    statusA = back.statusA;
    statusB = back.statusB;
    data.clear();
    if (ok)
        data.assign(block.begin() + ControlRequestHeader::SIZE, block.end());
    return ok;
}

bool Fx3Device::readTwoStep(std::uint16_t wValue, std::uint16_t wIndex, std::uint16_t headLength, bool lengthIsTotal,
                            std::vector<std::uint8_t>& data)
{
    if (!readDescriptor(wValue, wIndex, headLength, data))
        return false;
    const std::uint16_t whole = lengthIsTotal ? readLe16(data.data() + 2) : data[0];
    // Shorter than its fixed part: nothing is kept.
    if (whole < headLength) {
        data.clear();
        return false;
    }
    return readDescriptor(wValue, wIndex, whole, data);
}

void Fx3Device::forgetTypedEndpoints()
{
    isocInEndpoint = isocOutEndpoint = nullptr;
    bulkInEndpoint = bulkOutEndpoint = nullptr;
    interruptInEndpoint = interruptOutEndpoint = nullptr;
}

void Fx3Device::clearIdentity()
{
    BcdUsb = 0;
    VendorId = 0;
    ProductId = 0;
    deviceClass = 0;
    deviceSubClass = 0;
    deviceProtocol = 0;
    bcdDevice = 0;
    configCount = 0;
    Ep0MaxPacketSize = 0;
}

bool Fx3Device::ReadDeviceDescriptor()
{
    deviceDescriptor.fill(0);
    std::vector<std::uint8_t> data;
    if (!readDescriptor(0x0100, 0, DEVICE_DESC_SIZE, data)) {
        clearIdentity();
        return false;
    }
    std::copy(data.begin(), data.end(), deviceDescriptor.begin());
    const std::uint8_t* d = deviceDescriptor.data();
    BcdUsb = readLe16(d + 2);
    deviceClass = d[4];
    deviceSubClass = d[5];
    deviceProtocol = d[6];
    VendorId = readLe16(d + 8);
    ProductId = readLe16(d + 10);
    bcdDevice = readLe16(d + 12);
    configCount = d[17];
    if (BcdUsb < 0x0300)
        Ep0MaxPacketSize = d[7];
    else
        Ep0MaxPacketSize = d[7] <= 15 ? (1u << d[7]) : 0; // an exponent past 15 is unknown
    return true;
}

bool Fx3Device::ReadLanguageIds()
{
    languageId = 0;
    std::vector<std::uint8_t> data;
    if (!readTwoStep(0x0300, 0, 2, false, data))
        return false;
    const std::size_t count = (data.size() - 2) / 2;
    for (std::size_t i = 0; i < count; ++i)
        if (readLe16(data.data() + 2 + 2 * i) == 0x0409)
            languageId = 0x0409;
    if (languageId == 0 && count > 0)
        languageId = readLe16(data.data() + 2);
    return true;
}

bool Fx3Device::ReadStringDescriptor(std::array<char16_t, STRING_FIELD_CHARS>& destination, std::uint8_t stringIndex)
{
    std::vector<std::uint8_t> data;
    if (!readTwoStep(static_cast<std::uint16_t>(0x0300 + stringIndex), languageId, 2, false, data))
        return false;
    if (data.size() <= 2 || data[1] != DESC_STRING)
        return false;
    destination.fill(0);
    // At most 126 characters: the last one stays the terminator.
    const std::size_t chars = std::min((data.size() - 2) / 2, destination.size() - 1);
    for (std::size_t i = 0; i < chars; ++i)
        destination[i] = static_cast<char16_t>(readLe16(data.data() + 2 + 2 * i));
    return true;
}

bool Fx3Device::ReadConfigDescriptor(std::uint8_t index)
{
    if (index >= MAX_CONFIGURATIONS)
        return false;
    configDescriptors[index].clear();
    std::vector<std::uint8_t> data;
    if (!readTwoStep(static_cast<std::uint16_t>(0x0200 + index), 0, CONFIG_DESC_SIZE, true, data))
        return false;
    configDescriptors[index] = std::move(data);
    return true;
}

bool Fx3Device::ReadBosDescriptor()
{
    bosDescriptor.clear();
    std::vector<std::uint8_t> data;
    if (!readTwoStep(0x0F00, 0, BOS_DESC_SIZE, true, data))
        return false;
    bosDescriptor = std::move(data);
    return true;
}

std::uint32_t Fx3Device::queryValue(std::uint32_t code, std::uint32_t size)
{
    if (!isOpen())
        return 0;
    std::uint8_t buffer[4] = {};
    if (!IoControl(code, buffer, size))
        return 0;
    return readLe32(buffer);
}

void Fx3Device::queryName(std::uint32_t code, std::array<char, NAME_FIELD_SIZE + 1>& field)
{
    field.fill(0);
    if (!isOpen())
        return;
    if (!IoControl(code, reinterpret_cast<std::uint8_t*>(field.data()), NAME_FIELD_SIZE))
        field.fill(0);
    field[NAME_FIELD_SIZE] = 0;
}

void Fx3Device::QueryAddress()
{
    usbAddress = static_cast<std::uint8_t>(queryValue(IOCTL_GET_ADDRESS, 1));
}
void Fx3Device::QueryDeviceName()
{
    queryName(IOCTL_GET_DEVICE_NAME, deviceName);
}
void Fx3Device::QueryFriendlyName()
{
    queryName(IOCTL_GET_FRIENDLY_NAME, friendlyName);
}
void Fx3Device::QueryDriverVersion()
{
    driverVersion = queryValue(IOCTL_GET_DRIVER_VERSION, 4);
}
void Fx3Device::QueryUsbdiVersion()
{
    usbdiVersion = queryValue(IOCTL_GET_USBDI_VERSION, 4);
}

void Fx3Device::QuerySpeed()
{
    highSpeed = false;
    superSpeed = false;
    const std::uint32_t speed = queryValue(IOCTL_GET_SPEED, 4);
    highSpeed = speed == DRIVER_SPEED_HIGH;
    superSpeed = speed == DRIVER_SPEED_SUPER;
}

std::uint8_t Fx3Device::QueryAltSetting()
{
    std::uint8_t alternateSetting = 0;
    if (!IoControl(IOCTL_GET_ALT_SETTING, &alternateSetting, 1))
        return 255;
    return alternateSetting;
}

int Fx3Device::usableConfigurations() const
{
    return std::min<int>(configCount, MAX_CONFIGURATIONS);
}

UsbConfiguration* Fx3Device::getConfiguration(int index) const
{
    if (index < 0 || index >= MAX_CONFIGURATIONS)
        return nullptr;
    return configurations[static_cast<std::size_t>(index)].get();
}

bool Fx3Device::Open(std::uint8_t index)
{
    if (DriverHandle != port::INVALID_HANDLE)
        Close();
    if (!OpenHandle(index)) {
        DriverHandle = port::INVALID_HANDLE;
        DeviceIndex = 0;
        return false;
    }
    DeviceIndex = index;
    ReadDeviceDescriptor();
    ReadLanguageIds();
    ReadStringDescriptor(manufacturer, deviceDescriptor[14]);
    ReadStringDescriptor(product, deviceDescriptor[15]);
    ReadStringDescriptor(serialNumber, deviceDescriptor[16]);

    if ((BcdUsb >> 8) == 0x03 && ReadBosDescriptor())
        bos = std::make_unique<BosCapabilitySet>(platform.driver, DriverHandle, bosDescriptor.data(),
                                                 bosDescriptor.size());

    QueryAddress();
    QueryDeviceName();
    QueryFriendlyName();
    QueryDriverVersion();
    QueryUsbdiVersion();
    QuerySpeed();

    const DescriptorVariant variant = (BcdUsb >> 8) == 0x02 ? DescriptorVariant::Usb2 : DescriptorVariant::SuperSpeed;
    for (int i = 0; i < usableConfigurations(); ++i) {
        ReadConfigDescriptor(static_cast<std::uint8_t>(i));
        const auto& copy = configDescriptors[static_cast<std::size_t>(i)];
        if (!copy.empty())
            configurations[static_cast<std::size_t>(i)] =
                std::make_unique<UsbConfiguration>(platform.driver, DriverHandle, copy.data(), copy.size(), variant);
    }

    ControlEndpoint = std::make_unique<UsbControlEndPoint>(platform.driver, DriverHandle, nullptr);
    ControlEndpoint->descriptorLength = 7;
    ControlEndpoint->descriptorType = DESC_ENDPOINT;
    ControlEndpoint->address = 0;
    ControlEndpoint->attributes = 0;
    ControlEndpoint->maxPacketSize = Ep0MaxPacketSize;
    ControlEndpoint->interval = 0;

    if (!configurations[0] || configurations[0]->interfaceCount == 0)
        return false;
    SelectConfiguration(0);

    if (interfaceNotification) {
        port::NotifyId id = 0;
        std::uint32_t error = 0;
        if (platform.driver->registerHandleNotification(notificationWindow, DriverHandle, id, error))
            handleNotification = id;
        else
            LastError = error;
    }
    return true;
}

void Fx3Device::Close()
{
    CloseHandles();
    deviceDescriptor.fill(0);
    clearIdentity();
    bosDescriptor.clear();
    bos.reset();
    currentInterface = nullptr;
    for (int i = 0; i < MAX_CONFIGURATIONS; ++i) {
        configDescriptors[static_cast<std::size_t>(i)].clear();
        configurations[static_cast<std::size_t>(i)].reset();
    }
    ControlEndpoint.reset();
    forgetTypedEndpoints();
    DeviceCount = 0;
    configCount = 0;
    interfaceCount = 0;
    altInterfaceCount = 0;
    currentConfigIndex = 0;
    currentInterfaceIndex = 0;
}

void Fx3Device::CloseHandles()
{
    if (DriverHandle == port::INVALID_HANDLE)
        return;
    std::uint32_t error = 0;
    if (handleNotification) {
        if (!platform.driver->unregisterNotification(handleNotification, error)) {
            LastError = error;
            throw "Failed to close the handle notification handle.";
        }
        handleNotification = 0;
    }
    if (!platform.driver->closeHandle(DriverHandle, error)) {
        LastError = error;
        throw "Failed to close handle to driver.";
    }
    DriverHandle = port::INVALID_HANDLE;
}

void Fx3Device::SelectConfiguration(std::uint8_t index)
{
    UsbConfiguration* config = getConfiguration(index);
    if (!config)
        return;
    currentConfigIndex = index;
    configValue = config->bConfigurationValue;
    configAttributes = config->bmAttributes;
    maxPower = config->MaxPower;
    interfaceCount = config->bNumInterfaces;
    altInterfaceCount = config->interfaceCount;
    if (UsbInterface* first = config->getInterface(0))
        firstInterfaceNumber = first->bInterfaceNumber;
    SelectAltSetting(QueryAltSetting());
    if (UsbInterface* iface = config->getInterface(currentInterfaceIndex)) {
        interfaceClass = iface->bInterfaceClass;
        interfaceSubClass = iface->bInterfaceSubClass;
        interfaceProtocol = iface->bInterfaceProtocol;
    }
}

void Fx3Device::SelectAltSetting(std::uint8_t alternateSetting)
{
    UsbConfiguration* config = getConfiguration(currentConfigIndex);
    if (!config)
        return;
    for (int i = 0; i < config->interfaceCount; ++i) {
        UsbInterface* iface = config->getInterface(i);
        if (iface->bAlternateSetting != alternateSetting)
            continue;
        currentInterfaceIndex = static_cast<std::uint8_t>(i);
        interfaceClass = iface->bInterfaceClass;
        interfaceSubClass = iface->bInterfaceSubClass;
        interfaceProtocol = iface->bInterfaceProtocol;
        AssignEndpoints();
        return;
    }
}

void Fx3Device::AssignEndpoints()
{
    if (configCount == 0 || interfaceCount == 0)
        return;
    UsbConfiguration* config = getConfiguration(currentConfigIndex);
    UsbInterface* iface = config ? config->getInterface(currentInterfaceIndex) : nullptr;
    if (!iface)
        return;
    currentInterface = iface;
    iface->setControlEndpoint(ControlEndpoint.get());
    forgetTypedEndpoints();
    const int lastSlot = std::min<int>(iface->bNumEndpoints, MAX_ENDPOINT_SLOTS - 1);
    for (int slot = 1; slot <= lastSlot; ++slot) {
        UsbEndPoint* endpoint = iface->getEndpoint(slot);
        if (!endpoint)
            continue;
        endpoint->transferMode = TRANSFER_DIRECT;
        const bool in = (endpoint->address & 0x80u) != 0;
        UsbEndPoint** reference = nullptr;
        if (endpoint->isIsochronous())
            reference = in ? &isocInEndpoint : &isocOutEndpoint;
        else if (endpoint->isBulk())
            reference = in ? &bulkInEndpoint : &bulkOutEndpoint;
        else if (endpoint->isInterrupt())
            reference = in ? &interruptInEndpoint : &interruptOutEndpoint;
        if (reference && !*reference)
            *reference = endpoint;
    }
}

std::uint8_t Fx3Device::CountEndpoints() const
{
    if (!isOpen() || !currentInterface)
        return 0;
    return static_cast<std::uint8_t>(std::min<int>(currentInterface->bNumEndpoints, MAX_ENDPOINT_SLOTS - 1) + 1);
}

bool Fx3Device::RegisterInterfaceNotification(port::WindowId window)
{
    port::NotifyId id = 0;
    std::uint32_t error = 0;
    if (!platform.driver->registerInterfaceNotification(window, interfaceClassGuid, id, error)) {
        LastError = error;
        return false;
    }
    interfaceNotification = id;
    return true;
}

} // namespace fxburn
