#include "vmodem/Transcript.h"

#include <cstdio>
#include <stdexcept>

namespace vmodem {

std::string printable(const std::string& bytes) {
  std::string text;
  for (unsigned char c : bytes) {
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\\') {
      text += "\\\\";
    } else if (c >= 32 && c < 127) {
      text += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "<%02x>", c);
      text += hex;
    }
  }
  return text;
}

Transcript::Transcript(const std::string& path) : start_(std::chrono::steady_clock::now()) {
  if (path.empty()) return;
  out_.open(path, std::ios::out | std::ios::trunc);
  if (!out_) throw std::runtime_error("cannot write transcript " + path);
}

void Transcript::note(const std::string& text) {
  if (!out_.is_open()) return;
  const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%10.3f", t);
  out_ << stamp << " # " << text << '\n';
  out_.flush();
}

void Transcript::write(char direction, const std::string& bytes) {
  if (!out_.is_open() || bytes.empty()) return;
  const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%10.3f %c ", t, direction);
  out_ << stamp << printable(bytes) << '\n';
  out_.flush();
}

}  // namespace vmodem
