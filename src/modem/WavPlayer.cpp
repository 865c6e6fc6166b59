#include "modem/WavPlayer.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <algorithm>

#include "modem/RecordingFiles.h"

namespace {
bool& SilentFlag() {
  static bool silent = false;
  return silent;
}

int64_t SteadyMs() {
  static QElapsedTimer timer = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return timer.elapsed();
}

QAudioFormat::SampleFormat SampleFormatOf(uint16_t bits) {
  switch (bits) {
    case 8:
      return QAudioFormat::UInt8;
    case 16:
      return QAudioFormat::Int16;
    case 32:
      return QAudioFormat::Int32;
    default:
      return QAudioFormat::Unknown;
  }
}
}  // namespace

// The sound output of one open file: a sink on the default device reading the samples.
struct TWavPlayer::Sound {
  QBuffer buffer;
  std::unique_ptr<QAudioSink> sink;
};

TWavPlayer::TWavPlayer(QObject* parent) : QObject(parent), clock_(SteadyMs) {}
TWavPlayer::~TWavPlayer() {
  Close();
}

void TWavPlayer::SetSilentOutput(bool silent) {
  SilentFlag() = silent;
}
bool TWavPlayer::SilentOutput() {
  return SilentFlag();
}
void TWavPlayer::SetClock(Clock clock) {
  clock_ = std::move(clock);
}
int64_t TWavPlayer::Now() const {
  return clock_();
}

bool TWavPlayer::Open() {
  const auto image = LoadRecordingFile(fileName_);
  return image && OpenImage(*image);
}

bool TWavPlayer::OpenImage(const QByteArray& image) {
  const auto info = ParseWav(image);
  if (!info) return false;
  Close();
  info_ = *info;
  pcm_ = image.sliced(info_.dataOffset, info_.dataLength);
  open_ = true;
  mode_ = TPlayerMode::Stopped;
  base_ = 0;
  if (!SilentFlag()) {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    QAudioFormat format;
    format.setSampleRate(static_cast<int>(info_.samplesPerSecond));
    format.setChannelCount(info_.channels);
    format.setSampleFormat(SampleFormatOf(info_.bitsPerSample));
    if (!device.isNull() && device.isFormatSupported(format)) {
      sound_ = std::make_unique<Sound>();
      sound_->buffer.setData(pcm_);
      sound_->sink = std::make_unique<QAudioSink>(device, format);
    }
  }
  return true;
}

void TWavPlayer::StartSound() {
  if (!sound_) return;
  sound_->sink->stop();
  sound_->buffer.close();
  sound_->buffer.open(QIODevice::ReadOnly);
  const int64_t bytesPerSecond = int64_t(info_.samplesPerSecond) * info_.blockAlign;
  int64_t offset = base_ * bytesPerSecond / 1000;
  offset -= offset % info_.blockAlign;
  sound_->buffer.seek(std::min<int64_t>(offset, pcm_.size()));
  sound_->sink->start(&sound_->buffer);
}

void TWavPlayer::StopSound() {
  if (!sound_) return;
  sound_->sink->stop();
  sound_->buffer.close();
}

bool TWavPlayer::Play() {
  if (!open_) return false;
  CheckEnd();
  if (mode_ == TPlayerMode::Playing) return true;
  startedAt_ = Now();
  mode_ = TPlayerMode::Playing;
  StartSound();
  CheckEnd();
  return true;
}

void TWavPlayer::Pause() {
  CheckEnd();
  if (mode_ != TPlayerMode::Playing) return;
  base_ = Position();
  mode_ = TPlayerMode::Paused;
  if (sound_) sound_->sink->suspend();
}

void TWavPlayer::Resume() {
  if (!open_) return;
  if (mode_ == TPlayerMode::Paused && sound_ && sound_->sink->state() == QAudio::SuspendedState) {
    startedAt_ = Now();
    mode_ = TPlayerMode::Playing;
    sound_->sink->resume();
    return;
  }
  Play();
}

bool TWavPlayer::Seek(int64_t ms) {
  if (!open_ || ms < 0 || ms > Length()) return false;
  StopSound();
  base_ = ms;
  mode_ = TPlayerMode::Stopped;
  return true;
}

void TWavPlayer::Close() {
  sound_.reset();
  pcm_.clear();
  info_ = TWavInfo{};
  open_ = false;
  mode_ = TPlayerMode::NotReady;
  base_ = 0;
}

int64_t TWavPlayer::Length() const {
  return open_ ? info_.LengthMs() : 0;
}

int64_t TWavPlayer::Position() {
  if (!open_) return 0;
  if (mode_ != TPlayerMode::Playing) return base_;
  return std::min(Length(), base_ + std::max<int64_t>(0, Now() - startedAt_));
}

void TWavPlayer::CheckEnd() {
  if (open_ && mode_ == TPlayerMode::Playing && Position() >= Length()) {
    base_ = Length();
    mode_ = TPlayerMode::Stopped;
    StopSound();
  }
}

TPlayerMode TWavPlayer::Mode() {
  CheckEnd();
  return mode_;
}

bool TWavPlayer::Audible() const {
  return sound_ != nullptr;
}
