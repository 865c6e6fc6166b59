#pragma once
// The options of the tavrin-vmodem program.
#include <string>
#include <vector>

#include "vmodem/VirtualModem.h"

namespace vmodem {

struct CommandLine {
  Options options;
  bool help = false;
  bool listProfiles = false;
  std::string error;  // set when the arguments make no sense
};

CommandLine parseCommandLine(const std::vector<std::string>& args);
std::string usage();

}  // namespace vmodem
