#pragma once
// Playback of the selected call's recording: Play, Pause, Rewind and Fast forward,
// the 100 ms position update that moves the position bar and draws the stretch just
// played on the scope, and the playback half of Stop.
#include <cstdint>
#include <functional>

#include "recording/RecorderControls.h"

class TScope;
class TVoiceStream;
class TWavPlayer;

class TPlayback {
 public:
  // recordingActive tells whether the voice stream belongs to a reception: no playback
  // tick may touch it then.
  TPlayback(const TRecorderControls& controls, const TCallListHooks& calls, TVoiceStream& stream,
            TScope& scope, TWavPlayer& player, std::function<bool()> recordingActive);

  void StartPlayback();
  void PausePlayback();
  void RewindPlayback();
  void ForwardPlayback();
  void UpdatePlaybackPosition();
  void Timer2Timer() { UpdatePlaybackPosition(); }
  // The playback half of StopRecordingOrPlayback.
  void StopPlayback();
  // Before a recording starts: ends a playback in any of its states, also one whose end
  // the position update has not seen yet.
  void EndBeforeRecording();

  bool PositionMoved = false;
  int32_t SeekStep = 0;

  static constexpr int32_t kSeekDivisions = 40;

 private:
  void Step(int32_t direction);
  void EnableSeeking(bool on);
  void EndPlayback();

  const TRecorderControls& c_;
  const TCallListHooks& calls_;
  TVoiceStream& stream_;
  TScope& scope_;
  TWavPlayer& player_;
  std::function<bool()> recordingActive_;
};
