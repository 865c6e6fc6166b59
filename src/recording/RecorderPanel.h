#pragma once
// The main window's recorder as one piece: the voice stream, the scope, the voice side
// of the receive handler, the WAV player, the record side, the playback, the caller ID
// and the listening for calls between recordings. The window hands in its controls and
// call-list hooks and routes its handlers here.
#include "calls/CallWatch.h"
#include "recording/CallListener.h"
#include "recording/Playback.h"
#include "recording/Recorder.h"
#include "recording/RecorderControls.h"
#include "recording/Scope.h"
#include "recording/VoiceReceiver.h"
#include "sound/VoiceStream.h"
#include "sound/WavPlayer.h"

class TModemF;

class TRecorderPanel {
 public:
  // Installs the voice side on the link.
  TRecorderPanel(const TRecorderControls& controls, const TCallListHooks& calls, TModemF& link);

  // Received bytes are voice samples (a recording or the developer's reception).
  bool RecordingActive() const { return Recorder.RecordingActive(); }

  TRecorderControls Controls;
  TCallListHooks Calls;
  TVoiceStream VoiceStream;
  TScope Scope;
  TWavPlayer Player;
  TVoiceReceiver Receiver;
  TPlayback Playback;
  TRecorder Recorder;
  TCallWatch CallWatch;
  TCallListener Listener;
};
