#include "sound/WavPlayer.h"

#include <QElapsedTimer>
#include <algorithm>

#include "sound/PulseOutput.h"
#include "sound/RecordingFiles.h"

namespace {
constexpr int64_t kUsPerMs = 1000;
constexpr int64_t kMsPerSecond = 1000;

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

std::unique_ptr<TSoundOutput> DefaultOutput(const TWavInfo& info, const QByteArray& pcm) {
  return SilentFlag() ? nullptr : OpenPulseOutput(info, pcm);
}

QString FaultNotice(TOutputFault fault) {
  switch (fault) {
    case TOutputFault::kNoServer:
      return QStringLiteral("No sound server: playing silently");
    case TOutputFault::kNoOutput:
      return QStringLiteral("No sound output: playing silently");
    case TOutputFault::kNotAnswering:
      return QStringLiteral("The sound server does not answer: playing on silently");
    case TOutputFault::kServerGone:
      return QStringLiteral("The sound server has gone: playing on silently");
    case TOutputFault::kNone:
      break;
  }
  return {};
}
}  // namespace

TWavPlayer::TWavPlayer(QObject* parent)
    : QObject(parent), clock_(SteadyMs), factory_(DefaultOutput) {}
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
void TWavPlayer::SetNotice(std::function<void(const QString&)> notice) {
  notice_ = std::move(notice);
}
void TWavPlayer::SetOutputFactory(TSoundOutputFactory factory) {
  factory_ = std::move(factory);
}
int64_t TWavPlayer::Now() const {
  return clock_();
}

int64_t TWavPlayer::OffsetOf(int64_t ms) const {
  const int64_t bytesPerSecond = int64_t(info_.samplesPerSecond) * info_.blockAlign;
  const int64_t offset = ms * bytesPerSecond / kMsPerSecond;
  return std::min<int64_t>(offset - offset % info_.blockAlign, pcm_.size());
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
  noticed_ = TOutputFault::kNone;
  EnsureOutput();
  return true;
}

void TWavPlayer::CheckOutput() {
  if (!output_) return;
  const TOutputFault fault = output_->Fault();
  if (fault == TOutputFault::kNone) return;
  // The device went away: the clock goes on from what was last heard.
  if (mode_ == TPlayerMode::Playing) {
    base_ = std::min(Length(), lastHeard_ + std::max<int64_t>(0, Now() - lastHeardAt_));
    startedAt_ = Now();
  }
  output_.reset();
  // Once for the file: a retry that fails the same way says nothing new.
  if (fault != noticed_ && notice_) notice_(FaultNotice(fault));
  noticed_ = fault;
}

bool TWavPlayer::EnsureOutput() {
  if (!output_ && factory_) output_ = factory_(info_, pcm_);
  return output_ != nullptr;
}

bool TWavPlayer::Play() {
  if (!open_) return false;
  CheckOutput();
  CheckEnd();
  if (mode_ == TPlayerMode::Playing) return true;
  EnsureOutput();
  return StartRun();
}

bool TWavPlayer::StartRun() {
  if (output_ && !output_->Start(OffsetOf(base_))) return false;
  startedAt_ = Now();
  runStart_ = base_;
  lastHeard_ = base_;
  lastHeardAt_ = startedAt_;
  mode_ = TPlayerMode::Playing;
  CheckEnd();
  return true;
}

void TWavPlayer::Pause() {
  CheckOutput();
  CheckEnd();
  if (mode_ != TPlayerMode::Playing) return;
  if (output_) output_->Pause();
  base_ = Position();
  mode_ = TPlayerMode::Paused;
}

void TWavPlayer::Resume() {
  if (!open_) return;
  CheckOutput();
  if (mode_ != TPlayerMode::Paused) {
    Play();
    return;
  }
  if (!output_ && EnsureOutput()) {
    // Paused on the clock and a server answers again: a new run from the position.
    StartRun();
    return;
  }
  if (output_) {
    // The output's count goes on from where the run was held.
    output_->Resume();
    lastHeardAt_ = Now();
  } else {
    startedAt_ = Now();
  }
  mode_ = TPlayerMode::Playing;
}

bool TWavPlayer::Seek(int64_t ms) {
  if (!open_ || ms < 0 || ms > Length()) return false;
  if (output_) output_->Stop();
  base_ = ms;
  mode_ = TPlayerMode::Stopped;
  return true;
}

void TWavPlayer::Close() {
  output_.reset();
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
  CheckOutput();
  if (mode_ != TPlayerMode::Playing) return base_;
  if (!output_) return std::min(Length(), base_ + std::max<int64_t>(0, Now() - startedAt_));
  // The end is only reached once the device
  // says the last sample has been played.
  const bool drained = output_->Drained();
  const int64_t heard = runStart_ + output_->PlayedUs() / kUsPerMs;
  const int64_t position = drained ? Length() : std::min(heard, std::max<int64_t>(0, Length() - 1));
  lastHeard_ = std::max(lastHeard_, position);
  lastHeardAt_ = Now();
  return lastHeard_;
}

void TWavPlayer::CheckEnd() {
  if (open_ && mode_ == TPlayerMode::Playing && Position() >= Length()) {
    base_ = Length();
    mode_ = TPlayerMode::Stopped;
    if (output_) output_->Stop();
  }
}

TPlayerMode TWavPlayer::Mode() {
  CheckOutput();
  CheckEnd();
  return mode_;
}

bool TWavPlayer::Audible() const {
  return output_ != nullptr && output_->Fault() == TOutputFault::kNone;
}
