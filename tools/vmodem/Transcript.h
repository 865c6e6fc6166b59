#pragma once
// Optional logs of the modem's traffic: every byte in both directions with a time
// stamp, and the exact bytes of the last voice stream.
#include <chrono>
#include <fstream>
#include <string>

namespace vmodem {

class Transcript {
 public:
  // An empty path turns the transcript off.
  explicit Transcript(const std::string& path);
  void received(const std::string& bytes) { write('<', bytes); }
  void sent(const std::string& bytes) { write('>', bytes); }
  void note(const std::string& text);

 private:
  void write(char direction, const std::string& bytes);
  std::ofstream out_;
  std::chrono::steady_clock::time_point start_;
};

// Printable form of bytes: text as is, CR and LF as \r \n, others as <xx>.
std::string printable(const std::string& bytes);

}  // namespace vmodem
