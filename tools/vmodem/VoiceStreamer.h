#pragma once
// The data phase of +VRX: samples from the line, coded, paced by the clock, with every
// data byte DLE doubled and the line events inserted as <DLE> letters; after a hang-up
// of the far end, the coded zero level.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "vmodem/LineSource.h"
#include "vmodem/SampleCoder.h"

namespace vmodem {

constexpr char kDle = 0x10;
constexpr char kEtx = 0x03;
// 115200 bit/s with 10 bits per byte.
constexpr double kFullLineBytesPerSecond = 11520.0;

class VoiceStreamer {
 public:
  using Clock = std::chrono::steady_clock;

  // fullLineRate: as fast as the serial line carries, whatever the sampling rate; call:
  // the number of this stream of the modem, from 1.
  VoiceStreamer(LineSource& source, const LineOptions& line, Coding coding, int rate,
                bool fullLineRate, long call);

  void begin(Clock::time_point now);
  // The wire bytes due by now.
  std::string produce(Clock::time_point now);
  // Seconds since begin().
  double elapsed(Clock::time_point now) const;
  long long samplesProduced() const { return produced_; }
  // The far end has hung up: the samples are silence from here on.
  bool hungUp() const { return hungUp_; }
  // The far end hangs up now (unless it has already): the samples due from now on follow
  // the hang-up code.
  void hangUpAt(Clock::time_point now);

 private:
  LineSource& source_;
  std::string pattern_;
  size_t patternPos_ = 0;
  std::vector<LineEvent> events_;
  size_t nextEvent_ = 0;
  double hangupAfter_;
  char hangupCode_;
  bool hungUp_ = false;
  SampleCoder coder_;
  double samplesPerSecond_;
  Clock::time_point start_{};
  long long produced_ = 0;
};

// Appends data with every DLE doubled.
void appendShielded(const std::string& data, std::string& out);

}  // namespace vmodem
