#pragma once
// The kernel driver's interface class and control codes (device type 0x22).
// All are buffered requests except the direct transfer, which hands the
// caller's buffer to the driver in place.

#include "fxburn/port/DriverPort.h"

#include <cstdint>

namespace fxburn {

// {AE18AA60-7F6A-11D4-97DD-00010229B959}
inline constexpr port::Guid USB_DRIVER_INTERFACE_GUID{
    0xAE18AA60u, 0x7F6Au, 0x11D4u, {0x97, 0xDD, 0x00, 0x01, 0x02, 0x29, 0xB9, 0x59}};

inline constexpr std::uint32_t IOCTL_GET_DRIVER_VERSION = 0x220000;
inline constexpr std::uint32_t IOCTL_GET_USBDI_VERSION = 0x220004;
inline constexpr std::uint32_t IOCTL_GET_ALT_SETTING = 0x220008;
inline constexpr std::uint32_t IOCTL_GET_ADDRESS = 0x220010;
inline constexpr std::uint32_t IOCTL_CONTROL_TRANSFER = 0x220020;
inline constexpr std::uint32_t IOCTL_BUFFERED_TRANSFER = 0x220024;
inline constexpr std::uint32_t IOCTL_GET_DEVICE_NAME = 0x22003C;
inline constexpr std::uint32_t IOCTL_GET_FRIENDLY_NAME = 0x220040;
inline constexpr std::uint32_t IOCTL_ABORT_PIPE = 0x220044;
inline constexpr std::uint32_t IOCTL_DIRECT_TRANSFER = 0x22004B;
inline constexpr std::uint32_t IOCTL_GET_SPEED = 0x22004C;

// Answers of IOCTL_GET_SPEED.
inline constexpr std::uint32_t DRIVER_SPEED_HIGH = 2;
inline constexpr std::uint32_t DRIVER_SPEED_SUPER = 4;

} // namespace fxburn
