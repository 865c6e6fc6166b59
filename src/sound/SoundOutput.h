#pragma once
// Where the WAV player's sound goes: the samples of one open file played on a device,
// with the device's own count of what it has played. Every call returns at once: the
// device is told, and what it reports reaches the output through the UI thread's events.
// The player keeps the position from that count and falls back to its clock when the
// output fails.
#include <QByteArray>
#include <cstdint>
#include <functional>
#include <memory>

#include "sound/WavFormat.h"

// Why an output no longer plays.
enum class TOutputFault {
  kNone,
  kNoServer,      // no sound server answered the connection
  kNoOutput,      // the server has no output to play to (no sink, or not the one named)
  kNotAnswering,  // the server left a request unanswered too long
  kServerGone,    // the connection to the server broke
};

class TSoundOutput {
 public:
  virtual ~TSoundOutput() = default;
  // Plays the samples from byte `offset` (a frame boundary) to the end as a new run;
  // false when the format is one no device can take.
  virtual bool Start(int64_t offset) = 0;
  virtual void Pause() = 0;  // holds the run
  virtual void Resume() = 0;
  virtual void Stop() = 0;  // ends the run; sound still buffered is dropped
  // Microseconds of the run that the device has played, as far as it has said.
  virtual int64_t PlayedUs() = 0;
  virtual bool Drained() = 0;  // the run's last sample has been played
  virtual TOutputFault Fault() const = 0;
};

// Opens an output for the file's format and samples; nothing when there is no device.
using TSoundOutputFactory =
    std::function<std::unique_ptr<TSoundOutput>(const TWavInfo& info, const QByteArray& pcm)>;
