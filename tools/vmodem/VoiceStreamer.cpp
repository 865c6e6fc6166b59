#include "vmodem/VoiceStreamer.h"

#include <algorithm>
#include <cmath>

namespace vmodem {

void appendShielded(const std::string& data, std::string& out) {
  for (char c : data) {
    out += c;
    if (c == kDle) out += kDle;
  }
}

VoiceStreamer::VoiceStreamer(LineSource& source, const LineOptions& line, Coding coding, int rate,
                             bool fullLineRate, long call)
    : source_(source),
      pattern_(line.kind == LineOptions::Kind::Pattern ? line.pattern : std::string()),
      events_(line.events),
      hangupAfter_(line.hangupAfterSeconds),
      hangupCode_(line.hangupCode),
      coder_(coding) {
  std::sort(events_.begin(), events_.end(),
            [](const LineEvent& a, const LineEvent& b) { return a.seconds < b.seconds; });
  const double bytesPerSample = pattern_.empty() ? coder_.bytesPerSample() : 1.0;
  samplesPerSecond_ = fullLineRate ? kFullLineBytesPerSecond / bytesPerSample : rate;
  source_.start(rate, call);
}

void VoiceStreamer::begin(Clock::time_point now) {
  start_ = now;
  produced_ = 0;
  nextEvent_ = 0;
  patternPos_ = 0;
  hungUp_ = false;
}

void VoiceStreamer::hangUpAt(Clock::time_point now) {
  const double seconds = elapsed(now);
  if (hangupAfter_ < 0 || seconds < hangupAfter_) hangupAfter_ = seconds;
}

double VoiceStreamer::elapsed(Clock::time_point now) const {
  return std::chrono::duration<double>(now - start_).count();
}

std::string VoiceStreamer::produce(Clock::time_point now) {
  const double seconds = elapsed(now);
  const auto due = static_cast<long long>(std::floor(seconds * samplesPerSecond_));
  std::string coded;
  std::string wire;
  for (; produced_ < due; ++produced_) {
    const double sampleTime = static_cast<double>(produced_) / samplesPerSecond_;
    if (nextEvent_ < events_.size() && events_[nextEvent_].seconds <= sampleTime) {
      appendShielded(coded, wire);
      coded.clear();
      wire += kDle;
      wire += events_[nextEvent_++].code;
    }
    if (!hungUp_ && hangupAfter_ >= 0 && sampleTime >= hangupAfter_) {
      hungUp_ = true;
      appendShielded(coded, wire);
      coded.clear();
      if (hangupCode_ != 0) {
        wire += kDle;
        wire += hangupCode_;
      }
    }
    if (hungUp_) {
      coder_.encode(0.0f, coded);
    } else if (!pattern_.empty()) {
      coded += pattern_[patternPos_];
      patternPos_ = (patternPos_ + 1) % pattern_.size();
    } else {
      coder_.encode(source_.next(), coded);
    }
  }
  appendShielded(coded, wire);
  return wire;
}

}  // namespace vmodem
