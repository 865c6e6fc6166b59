#pragma once
// The sound output on the user's sound server (PulseAudio, or PipeWire's server for its
// clients): one connection per output and one playback stream per run, made, fed and
// asked for their timing on the connection's own thread. No call waits for the server:
// commands are queued to that thread, and what the server says reaches the output on
// the UI thread through ui_delivery. A request the server leaves unanswered for 0.8 s
// makes it count as stuck; the output then reports its fault and plays no more.
#include <memory>

#include "sound/SoundOutput.h"

// Nothing when the connection's thread cannot be started; the connection itself is
// made afterwards, and a server that is missing shows as the output's fault.
std::unique_ptr<TSoundOutput> OpenPulseOutput(const TWavInfo& info, const QByteArray& pcm);
