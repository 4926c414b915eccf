// The texts a user types for the meter address and the port.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/serial_line.h"

namespace vardis {

// A decimal integer as the runtime reads it: optional blanks before it, an
// optional sign, digits, nothing after; it must fit in 32 bits.
std::optional<std::int32_t> parseInteger(std::string_view text);

// The runtime's message for a text that is not a decimal integer.
std::string notAnIntegerMessage(std::string_view text);

// True for a text that names a device rather than a port number:
// "/dev/ttyUSB0", "/dev/pts/3", "COM12", "\\.\COM12".
bool isDevicePath(std::string_view text);

// The port for a port text: the low 8 bits of a decimal number, or a device path.
std::optional<PortName> portFromText(std::string_view text);

// The device behind a port: COMn on Windows, /dev/ttyS{n-1} elsewhere for a
// port number n; a device path as it is. Port 0 names no device (empty).
std::string deviceForPort(const PortName& port);

}  // namespace vardis
