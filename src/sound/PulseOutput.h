#pragma once
// The sound output on the user's sound server (PulseAudio, or PipeWire's server for its
// clients): one playback stream per run, fed from memory on the server connection's own
// thread; the played count is the stream's timing, the end its drain.
#include <memory>

#include "sound/SoundOutput.h"

// Nothing when no server answers.
std::unique_ptr<TSoundOutput> OpenPulseOutput(const TWavInfo& info, const QByteArray& pcm);
