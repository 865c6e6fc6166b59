// The virtual modem's command interpreter, fed the bytes a computer could send.
#include <cstdint>
#include <cstdlib>

#include "vmodem/CommandEngine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const vmodem::Profile profiles[] = {vmodem::Profile::load("conexant"),
                                             vmodem::Profile::load("lucent"),
                                             vmodem::Profile::load("semicolon")};
  if (size == 0) return 0;
  vmodem::CommandEngine engine(profiles[data[0] % 3]);
  for (size_t i = 1; i < size; ++i) {
    vmodem::EngineOutput out;
    engine.feed(static_cast<char>(data[i]), out);
    if (out.lineDone && out.line.size() > 1024) std::abort();  // lines are bounded
  }
  return 0;
}
