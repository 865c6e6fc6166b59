// The virtual modem program's option parser: arguments are the input split at NUL.
#include <cstdint>
#include <string>
#include <vector>

#include "vmodem/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.emplace_back();
    } else {
      args.back() += static_cast<char>(data[i]);
    }
  }
  vmodem::parseCommandLine(args);
  return 0;
}
