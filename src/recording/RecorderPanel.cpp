#include "recording/RecorderPanel.h"

#include <QSpinBox>

#include "modem/ModemF.h"
#include "setup/Shared.h"

TRecorderPanel::TRecorderPanel(const TRecorderControls& controls, const TCallListHooks& calls,
                               TModemF& link)
    : Controls(controls),
      Calls(calls),
      Receiver(
          link, VoiceStream, Scope, [this] { return RecordingActive(); },
          [this] { return static_cast<int32_t>(Controls.SpinEdit1->value()); }),
      Playback(Controls, Calls, VoiceStream, Scope, Player, [this] { return RecordingActive(); }),
      Recorder(Controls, Calls, link, VoiceStream, Scope, Playback),
      CallWatch(link),
      Listener(Recorder, link) {
  Receiver.OnSamples = [this](QByteArrayView samples) { Recorder.TakeSamples(samples); };
  Receiver.OnLimitReached = [this] { Recorder.LimitReached(); };
  Receiver.OnLineEnded = [this](TLineEnd end) { Recorder.LineEnded(end); };
  Recorder.OnReceptionStarted = [this](bool recording) {
    Receiver.ReceptionStarted(kVoiceReceiveCommand);
    if (recording && CallOptions.StopOnHangUp) {
      Receiver.WatchForHangUp(int64_t{ProfileSamplingRate()} * CallOptions.SilenceSeconds);
    } else {
      Receiver.StopWatching();
    }
    if (recording) CallWatch.RecordingStarted();
  };
  Recorder.OnStateChanged = [this](TRecordState from, TRecordState to, TIdleCause cause) {
    if (from == TRecordState::kReceiving && to != TRecordState::kReceiving) {
      CallWatch.RecordingEnded();
    }
    Listener.RecorderChanged(from, to, cause);
  };
  Recorder.OnModemLost = [this] { Listener.ModemLost(); };
  // Why playback goes on silently (no sound server, no sink, a server gone or stuck).
  Player.SetNotice([&link](const QString& text) { link.MonitorLog().Add(text); });
  Receiver.Attach();
}
