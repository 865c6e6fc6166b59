// Port number -> device path: the configured source first, then the built-in table.
#include "serial/PortMap.h"

#include <array>
#include <utility>

namespace {

struct DefaultRange {
  int firstPort;
  int count;
  const char* prefix;
};

// Serial ports on the mainboard, then USB voice modems (CDC ACM), then USB adapters.
constexpr std::array<DefaultRange, 3> kDefaults = {{
    {1, 4, "/dev/ttyS"},
    {5, 2, "/dev/ttyACM"},
    {7, 2, "/dev/ttyUSB"},
}};

PortPathSource& Source() {
  static PortPathSource source;
  return source;
}

}  // namespace

void SetPortPathSource(PortPathSource source) {
  Source() = std::move(source);
}

std::optional<std::string> PortDevicePath(int portNumber) {
  if (Source()) {
    if (auto configured = Source()(portNumber); configured && !configured->empty()) {
      return configured;
    }
  }
  for (const DefaultRange& range : kDefaults) {
    if (portNumber >= range.firstPort && portNumber < range.firstPort + range.count) {
      return std::string(range.prefix) + std::to_string(portNumber - range.firstPort);
    }
  }
  return std::nullopt;
}
