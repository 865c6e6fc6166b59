#pragma once
// Port number -> device path. The application installs a source that reads the
// [Ports] section of Tavrin.ini; without an entry the built-in defaults apply:
// COM1-COM4 /dev/ttyS0-3, COM5-COM6 /dev/ttyACM0-1, COM7-COM8 /dev/ttyUSB0-1.
#include <functional>
#include <optional>
#include <string>

using PortPathSource = std::function<std::optional<std::string>(int portNumber)>;

// Replaces the source of configured paths (nullptr: defaults only). Main thread only.
void SetPortPathSource(PortPathSource source);

// The device path of COMn, or nothing when the number has no device.
std::optional<std::string> PortDevicePath(int portNumber);
