#pragma once
// What the modem hears on the telephone line, as linear samples at the rate the
// computer selected.
#include <memory>
#include <string>
#include <vector>

namespace vmodem {

// An event the modem reports with <DLE> and a letter while it streams.
struct LineEvent {
  char code = 's';       // 's' silence, 'b' busy, 'd' dial tone...
  double seconds = 0.0;  // after the start of the stream
};

struct LineOptions {
  enum class Kind { Synthetic, Tone, Wav, Silence, Pattern };
  Kind kind = Kind::Synthetic;
  double toneHz = 1000.0;
  std::string wavPath;
  // Coded bytes sent as they are, round and round, whatever the method (for tests).
  std::string pattern;
  std::vector<LineEvent> events;
  // The far end hangs up this long into each stream: the modem reports hangupCode once
  // (none when 0), then the line carries silence.
  double hangupAfterSeconds = -1;
  char hangupCode = 'd';
  // Each call a voice of its own: the synthetic call of stream n is drawn from n, so the
  // recordings of a day of calls can be told apart (the first sounds as without it).
  bool variedCalls = false;
};

class LineSource {
 public:
  virtual ~LineSource() = default;
  // Starts the line over from time 0 at the given sampling rate, for the call-th stream
  // of the modem (from 1).
  virtual void start(int rate, long call) = 0;
  // The next sample, -1..1.
  virtual float next() = 0;
};

// Throws std::runtime_error when a WAV file cannot be used.
std::unique_ptr<LineSource> makeLineSource(const LineOptions& options);

// A mono WAV file as samples -1..1 (8-bit unsigned or 16-bit PCM, any channel count).
struct WavData {
  int rate = 0;
  std::vector<float> samples;
};
WavData readWav(const std::string& path);

}  // namespace vmodem
