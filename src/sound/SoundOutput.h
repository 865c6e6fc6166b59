#pragma once
// Where the WAV player's sound goes: the samples of one open file played on a device,
// with the device's own count of what it has played. The player keeps the position
// from that count and falls back to its clock when the output goes away.
#include <QByteArray>
#include <cstdint>
#include <functional>
#include <memory>

#include "sound/WavFormat.h"

class TSoundOutput {
 public:
  virtual ~TSoundOutput() = default;
  // Plays the samples from byte `offset` (a frame boundary) to the end as a new run;
  // false when the device refuses the format or does not start.
  virtual bool Start(int64_t offset) = 0;
  virtual void Pause() = 0;  // holds the run; returns once the device has stopped
  virtual void Resume() = 0;
  virtual void Stop() = 0;  // ends the run; sound still buffered is dropped
  // Microseconds of the run that the device has played.
  virtual int64_t PlayedUs() = 0;
  virtual bool Drained() = 0;  // the run's last sample has been played
  virtual bool Failed() = 0;   // the device or the sound server has gone away
};

// Opens an output for the file's format and samples; nothing when there is no device.
using TSoundOutputFactory =
    std::function<std::unique_ptr<TSoundOutput>(const TWavInfo& info, const QByteArray& pcm)>;
