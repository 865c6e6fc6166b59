#include "recording/Playback.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <array>
#include <cmath>

#include "sound/RecordingFiles.h"
#include "recording/Scope.h"
#include "sound/VoiceStream.h"
#include "sound/WavPlayer.h"
#include "setup/Dialogs.h"
#include "setup/Shared.h"

namespace {
constexpr int kScopeSlots = 3000;
constexpr uint8_t kZeroLevel = 128;

int64_t RoundEven(double v) {
  return static_cast<int64_t>(std::llrint(v));
}
}  // namespace

TPlayback::TPlayback(const TRecorderControls& controls, const TCallListHooks& calls,
                     TVoiceStream& stream, TScope& scope, TWavPlayer& player,
                     std::function<bool()> recordingActive)
    : c_(controls),
      calls_(calls),
      stream_(stream),
      scope_(scope),
      player_(player),
      recordingActive_(std::move(recordingActive)) {}

void TPlayback::EnableSeeking(bool on) {
  c_.PrevSb1->setEnabled(on);
  c_.NextSb1->setEnabled(on);
  c_.Previous1->setEnabled(on);
  c_.Next1->setEnabled(on);
}

void TPlayback::StartPlayback() {
  const TPlayerMode mode = player_.Mode();
  if (mode != TPlayerMode::Paused && !PositionMoved && mode != TPlayerMode::Playing) {
    const QString selected = calls_.SelectedFileName();
    if (selected.isEmpty()) {
      return;  // no call in the selected row (a search that shows none): nothing to play
    }
    *calls_.CurrentFileName = selected;
    PositionMoved = false;
    player_.SetNoWait(true);
    // A name that is not plain names no file in "wav": that file does not exist.
    const std::optional<QString> file = WavFilePath(*calls_.CurrentFileName);
    if (!file || !QFileInfo(*file).isFile()) {
      ShowMessage(QStringLiteral("Wav file does not exist"));
      return;
    }
    const QString& path = *file;
    // The file is checked before anything changes: one that cannot be played leaves the
    // voice stream and the controls as they were.
    const auto image = LoadRecordingFile(path);
    player_.SetFileName(path);
    if (!image || !player_.OpenImage(*image)) {
      ShowMessage(QStringLiteral("Error opening Media player"));
      return;
    }
    stream_.Assign(*image);
    EnableSeeking(false);
    if (!player_.Play()) {
      ShowMessage(QStringLiteral("Error "));
      return;
    }
    c_.Timer2->start();
    c_.Playsb1->setChecked(true);
    c_.RecSb1->setEnabled(false);
    c_.Record1->setEnabled(false);
  }
  if (player_.Mode() == TPlayerMode::Paused || PositionMoved) {
    player_.Resume();
    c_.Playsb1->setChecked(true);
    c_.PauseSb1->setChecked(false);
    c_.Timer2->start();
    EnableSeeking(false);
  }
  if (!c_.Playsb1->isChecked()) c_.Playsb1->setChecked(true);
}

void TPlayback::PausePlayback() {
  if ((!c_.PauseSb1->isChecked() && player_.Mode() == TPlayerMode::Paused) || PositionMoved) {
    c_.PauseSb1->setChecked(true);
  }
  if (player_.Mode() == TPlayerMode::Playing) {
    player_.Pause();
    c_.PauseSb1->setChecked(true);
    c_.Playsb1->setChecked(false);
    c_.Timer2->stop();
    EnableSeeking(true);
  }
}

void TPlayback::Step(int32_t direction) {
  PositionMoved = true;
  const int64_t length = player_.Length();
  SeekStep = length >= kSeekDivisions ? static_cast<int32_t>(length / kSeekDivisions) : 1;
  player_.Seek(player_.Position() + direction * int64_t(SeekStep));  // refused past either end
  UpdatePlaybackPosition();
}

void TPlayback::RewindPlayback() {
  Step(-1);
}
void TPlayback::ForwardPlayback() {
  Step(+1);
}

void TPlayback::UpdatePlaybackPosition() {
  if (recordingActive_()) {
    // A tick left over from a playback: the samples coming in must stay where they are.
    c_.Timer2->stop();
    return;
  }
  const int64_t length = player_.Length();
  const int64_t position = player_.Position();
  c_.Label10->setText(QString::number(length) + QStringLiteral("   ") + QString::number(position));
  const float f = length > 0 ? float(position) / float(length) : 0.0f;
  c_.TrackBar1->setValue(static_cast<int>(RoundEven(double(f) * 100.0)));

  // The stretch just before the play position. Near the start it reaches before the
  // first byte of the file; that part is drawn at the zero level.
  const int32_t n = std::min(c_.SpinEdit1->value(), kScopeSlots);
  const int64_t start = RoundEven(double(stream_.Size()) * double(f)) - n;
  std::array<int32_t, kScopeSlots> samples;
  samples.fill(kZeroLevel);
  const QByteArray& data = stream_.Data();
  for (int32_t i = 0; i < n; ++i) {
    const int64_t at = start + i;
    if (at >= 0 && at < data.size())
      samples[i] = static_cast<uint8_t>(data.at(static_cast<qsizetype>(at)));
  }
  stream_.SetPosition(std::clamp<int64_t>(start + n, 0, stream_.Size()));
  scope_.DrawScope(samples.data(), n);

  if (length > 0 ? position == length : player_.Mode() == TPlayerMode::Stopped) {
    PositionMoved = false;
    c_.TrackBar1->setValue(0);
    player_.Close();
    scope_.ClearScope();
    c_.Timer2->stop();
    c_.Playsb1->setChecked(false);
    EnableSeeking(false);
    c_.PauseSb1->setChecked(false);
    c_.RecSb1->setEnabled(Voicefeatures);
    c_.Record1->setEnabled(Voicefeatures);
  }
}

void TPlayback::StopPlayback() {
  const TPlayerMode mode = player_.Mode();
  if (mode != TPlayerMode::Playing && mode != TPlayerMode::Paused && !PositionMoved) return;
  EndPlayback();
}

void TPlayback::EndBeforeRecording() {
  if (player_.Mode() == TPlayerMode::NotReady && !PositionMoved && !c_.Timer2->isActive()) return;
  EndPlayback();
}

void TPlayback::EndPlayback() {
  player_.Close();
  EnableSeeking(false);
  c_.Playsb1->setChecked(false);
  c_.RecSb1->setEnabled(true);
  c_.Record1->setEnabled(true);
  c_.TrackBar1->setValue(0);
  c_.Timer2->stop();
  PositionMoved = false;
  scope_.ClearScope();
  if (c_.PauseSb1->isChecked()) c_.PauseSb1->setChecked(false);
}
