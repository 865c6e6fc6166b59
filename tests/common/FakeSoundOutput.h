#pragma once
// A sound output whose played count, drain, failure and refusal the test sets by hand.
#include <cstdint>
#include <memory>
#include <vector>

#include "sound/SoundOutput.h"

struct FakeDevice {
  int64_t playedUs = 0;
  bool drained = false;
  bool failed = false;
  TOutputFault failure = TOutputFault::kServerGone;  // what `failed` stands for
  int made = 0;  // outputs handed out
  bool refuse = false;
  bool paused = false;
  bool running = false;
  std::vector<int64_t> starts;  // byte offset of each run
};

class FakeOutput : public TSoundOutput {
 public:
  explicit FakeOutput(FakeDevice& d) : d_(d) {}
  bool Start(int64_t offset) override {
    if (d_.refuse) return false;
    d_.starts.push_back(offset);
    d_.playedUs = 0;
    d_.drained = d_.paused = false;
    d_.running = true;
    return true;
  }
  void Pause() override { d_.paused = true; }
  void Resume() override { d_.paused = false; }
  void Stop() override { d_.running = false; }
  int64_t PlayedUs() override { return d_.playedUs; }
  bool Drained() override { return d_.drained; }
  TOutputFault Fault() const override { return d_.failed ? d_.failure : TOutputFault::kNone; }

 private:
  FakeDevice& d_;
};

// A factory for the player that hands out outputs on `device`.
inline TSoundOutputFactory FakeOutputFactory(FakeDevice& device) {
  return [&device](const TWavInfo&, const QByteArray&) {
    ++device.made;
    return std::make_unique<FakeOutput>(device);
  };
}
