#pragma once
// The tool's handle on one USB device bound to the chip maker's kernel driver:
// enumerates the devices of the driver's interface class, opens one by index,
// reads its descriptors into the descriptor tree, selects a configuration and
// alternate setting and owns the control endpoint through which every vendor
// request passes. One object can walk all devices in turn: Open closes first.
//
// Close and CloseHandles throw plain texts (const char*) when a handle or a
// notification cannot be released; the destructor never throws.

#include "fxburn/BootImage.h"
#include "fxburn/Fx3Requests.h"
#include "fxburn/UsbDescriptors.h"
#include "fxburn/UsbDriver.h"
#include "fxburn/UsbEndPoint.h"
#include "fxburn/port/DriverPort.h"

#include <array>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace fxburn {

inline constexpr int MAX_CONFIGURATIONS = 2;
inline constexpr std::size_t DEVICE_DESC_SIZE = 18;
inline constexpr std::uint32_t DESCRIPTOR_TIMEOUT_S = 5;
inline constexpr std::size_t NAME_FIELD_SIZE = 256;
inline constexpr std::size_t STRING_FIELD_CHARS = 256;

class Fx3Device {
public:
    explicit Fx3Device(port::Platform platform, port::WindowId window = 0,
                       port::Guid interfaceClass = USB_DRIVER_INTERFACE_GUID, bool open = true);
    ~Fx3Device();
    Fx3Device(const Fx3Device&) = delete;
    Fx3Device& operator=(const Fx3Device&) = delete;

    std::uint8_t CountDevices();
    bool OpenHandle(std::uint8_t index);
    bool Open(std::uint8_t index);
    void Close();
    void CloseHandles();
    bool IoControl(std::uint32_t code, std::uint8_t* buffer, std::uint32_t size);

    bool ReadDeviceDescriptor();
    bool ReadLanguageIds();
    bool ReadStringDescriptor(std::array<char16_t, STRING_FIELD_CHARS>& destination, std::uint8_t stringIndex);
    bool ReadConfigDescriptor(std::uint8_t index);
    bool ReadBosDescriptor();

    void QueryAddress();
    void QueryDeviceName();
    void QueryFriendlyName();
    void QueryDriverVersion();
    void QueryUsbdiVersion();
    void QuerySpeed();
    std::uint8_t QueryAltSetting();

    void SelectConfiguration(std::uint8_t index);
    void SelectAltSetting(std::uint8_t alternateSetting);
    void AssignEndpoints();
    std::uint8_t CountEndpoints() const;
    bool RegisterInterfaceNotification(port::WindowId window);

    // Vendor requests and downloads.
    bool VendorRequest(std::uint8_t* buffer, std::uint8_t requestCode, std::uint32_t value, std::int32_t length,
                       bool deviceToHost);
    bool VendorWrite(std::uint32_t value, std::int32_t length, std::uint8_t* buffer, std::uint8_t requestCode);
    bool VendorRead(std::uint32_t value, std::int32_t length, std::uint8_t* buffer, std::uint8_t requestCode);
    bool IsBootLoaderRunning();
    int EraseSpiSector(std::uint16_t sector, std::uint8_t requestCode);
    bool WriteSpiPage(std::uint8_t* data, std::int32_t length, std::uint32_t byteOffset, std::uint8_t requestCode);
    DownloadResult DownloadToSpiFlash(const std::uint8_t* image, std::size_t length, std::uint8_t requestCode);
    DownloadResult DownloadToRam(const std::uint8_t* image, std::size_t length, std::uint8_t requestCode);
    DownloadResult DownloadToI2cEeprom(const std::uint8_t* image, std::size_t length, std::uint8_t requestCode);
    DownloadResult DownloadFw(const std::string& fileName, int target);

    bool isOpen() const { return DriverHandle != port::INVALID_HANDLE; }
    UsbConfiguration* getConfiguration(int index) const;
    std::string getManufacturer() const { return narrow(manufacturer); }
    std::string getProduct() const { return narrow(product); }
    std::string getSerialNumber() const { return narrow(serialNumber); }

    // Where the destructor reports what it could not release.
    std::ostream* errorStream = nullptr;

    port::Platform platform;

    UsbInterface* currentInterface = nullptr;
    std::unique_ptr<BosCapabilitySet> bos;
    UsbEndPoint* isocInEndpoint = nullptr;
    UsbEndPoint* isocOutEndpoint = nullptr;
    UsbEndPoint* bulkInEndpoint = nullptr;
    UsbEndPoint* bulkOutEndpoint = nullptr;
    std::unique_ptr<UsbControlEndPoint> ControlEndpoint;
    UsbEndPoint* interruptInEndpoint = nullptr;
    UsbEndPoint* interruptOutEndpoint = nullptr;
    std::uint16_t languageId = 0;
    std::uint32_t LastError = 0;
    std::uint32_t statusA = 0;
    std::uint32_t statusB = 0;
    std::uint32_t driverVersion = 0;
    std::uint32_t usbdiVersion = 0;
    // One byte more than the driver fills, so the texts are always terminated.
    std::array<char, NAME_FIELD_SIZE + 1> deviceName{};
    std::array<char, NAME_FIELD_SIZE + 1> friendlyName{};
    std::array<char16_t, STRING_FIELD_CHARS> manufacturer{};
    std::array<char16_t, STRING_FIELD_CHARS> product{};
    std::array<char16_t, STRING_FIELD_CHARS> serialNumber{};
    std::string devicePath; // kept whole, never truncated
    std::uint16_t BcdUsb = 0;
    std::uint16_t VendorId = 0;
    std::uint16_t ProductId = 0;
    std::uint8_t usbAddress = 0;
    std::uint8_t deviceClass = 0;
    std::uint8_t deviceSubClass = 0;
    std::uint8_t deviceProtocol = 0;
    std::uint32_t Ep0MaxPacketSize = 0;
    std::uint16_t bcdDevice = 0;
    std::uint8_t configValue = 0;
    std::uint8_t configAttributes = 0;
    std::uint8_t maxPower = 0;
    std::uint8_t interfaceClass = 0;
    std::uint8_t interfaceSubClass = 0;
    std::uint8_t interfaceProtocol = 0;
    bool highSpeed = false;
    bool superSpeed = false;
    std::uint32_t bytesReturned = 0;
    std::array<std::uint8_t, DEVICE_DESC_SIZE> deviceDescriptor{};
    std::array<std::vector<std::uint8_t>, MAX_CONFIGURATIONS> configDescriptors;
    std::vector<std::uint8_t> bosDescriptor;
    std::array<std::unique_ptr<UsbConfiguration>, MAX_CONFIGURATIONS> configurations;
    port::WindowId notificationWindow = 0;
    port::Handle DriverHandle = port::INVALID_HANDLE;
    port::NotifyId interfaceNotification = 0;
    port::NotifyId handleNotification = 0;
    port::Guid interfaceClassGuid;
    std::uint8_t DeviceCount = 0;
    std::uint8_t interfaceCount = 0;
    std::uint8_t altInterfaceCount = 0;
    std::uint8_t configCount = 0;
    std::uint8_t DeviceIndex = 0;
    std::uint8_t currentConfigIndex = 0;
    std::uint8_t firstInterfaceNumber = 0;
    std::uint8_t currentInterfaceIndex = 0;

private:
    // A standard GET_DESCRIPTOR through IoControl; `data` receives `length` bytes.
    bool readDescriptor(std::uint16_t wValue, std::uint16_t wIndex, std::uint16_t length,
                        std::vector<std::uint8_t>& data);
    // Two steps: a short read for the length field, then the whole descriptor.
    bool readTwoStep(std::uint16_t wValue, std::uint16_t wIndex, std::uint16_t headLength, bool lengthIsTotal,
                     std::vector<std::uint8_t>& data);
    std::uint32_t queryValue(std::uint32_t code, std::uint32_t size);
    void queryName(std::uint32_t code, std::array<char, NAME_FIELD_SIZE + 1>& field);
    void clearIdentity();
    void forgetTypedEndpoints();
    int usableConfigurations() const;
    void report(const char* text) const;
    static std::string narrow(const std::array<char16_t, STRING_FIELD_CHARS>& text);
};

} // namespace fxburn
