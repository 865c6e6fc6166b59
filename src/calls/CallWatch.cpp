#include "calls/CallWatch.h"

#include <utility>

#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "setup/SteadyClock.h"

namespace {
// After the last ring the caller stays shown this much longer than a ring's gap.
constexpr int kRingTimerMarginMs = 500;
}  // namespace

TCallWatch::TCallWatch(TModemF& link) : Clock(SteadyMs), link_(link) {
  ringTimer_.setSingleShot(true);
  ringTimer_.setInterval(static_cast<int>(TCallerId::kRingingMs) + kRingTimerMarginMs);
  QObject::connect(&ringTimer_, &QTimer::timeout, [this] { RingingOver(); });
  notifyTimer_.setSingleShot(true);
  notifyTimer_.setInterval(0);
  QObject::connect(&notifyTimer_, &QTimer::timeout, [this] {
    if (notifier_) notifier_->Show(callerId_.Caller().Memo());
  });
  link_.OnPortClosed = [this] { PortClosed(); };
}

TCallWatch::~TCallWatch() {
  Withdraw();
  link_.OnPortClosed = nullptr;
  if (enabled_) link_.OnUnsolicitedLine = nullptr;
}

void TCallWatch::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (enabled) {
    link_.OnUnsolicitedLine = [this](const QByteArray& line) { return TakeLine(line); };
    return;
  }
  link_.OnUnsolicitedLine = nullptr;
  ringTimer_.stop();
  Restore();
  Withdraw();
}

void TCallWatch::SetNotifying(bool notifying) {
  notifying_ = notifying;
  if (!notifying) Withdraw();
}

bool TCallWatch::TakeLine(const QByteArray& line) {
  if (!enabled_) return false;
  const int calls = callerId_.Calls();
  const TCallerLine kind = callerId_.Take(line, Clock());
  if (kind == TCallerLine::kOther) return false;
  ringTimer_.start();
  Show(TShowing::kRinging);
  if (kind == TCallerLine::kRing) LogCaller();
  NotifySoon(callerId_.Calls() != calls);
  return true;
}

void TCallWatch::NotifySoon(bool newCall) {
  if (!notifying_ || !notifier_) return;
  if (newCall) Withdraw();  // the notice of an earlier call is no notice of this one
  notified_ = true;
  notifyTimer_.start();
}

void TCallWatch::Withdraw() {
  notifyTimer_.stop();
  if (!std::exchange(notified_, false) || !notifier_) return;
  notifier_->Withdraw();
}

void TCallWatch::RecordingEnded() {
  callerId_.EndCall();
}

void TCallWatch::RecordingStarted() {
  recordingMemo_.clear();
  Withdraw();  // the call is answered
  if (!enabled_ || callerId_.Ended() || !callerId_.RangWithin(Clock(), kRecordingAfterRingMs)) {
    Restore();
    return;
  }
  recordingMemo_ = callerId_.Caller().Memo();
  ringTimer_.stop();
  Show(TShowing::kRecording);
  Log(callerId_.Caller().Text());
  loggedText_ = callerId_.Caller().Text();
  loggedCall_ = callerId_.Calls();
}

void TCallWatch::PortClosed() {
  // No ring can be heard now, and a recording has ended with the port.
  ringTimer_.stop();
  Restore();
  Withdraw();
}

void TCallWatch::RingingOver() {
  Withdraw();
  if (showing_ != TShowing::kRinging) return;
  LogCaller();  // the caller ID of a call that rang only once
  Restore();
}

void TCallWatch::Show(TShowing why) {
  if (!PanelText || !SetPanelText) return;
  const QString panel = QLatin1Char(' ') + callerId_.Caller().Text();
  // A panel changed by someone else meanwhile is what comes back afterwards.
  if (showing_ == TShowing::kNothing || PanelText() != shownPanel_) savedPanel_ = PanelText();
  if (why == TShowing::kRecording || showing_ != TShowing::kRecording) showing_ = why;
  shownPanel_ = panel;
  SetPanelText(panel, true);
}

void TCallWatch::Restore() {
  if (showing_ == TShowing::kNothing) return;
  showing_ = TShowing::kNothing;
  if (PanelText && SetPanelText && PanelText() == shownPanel_) SetPanelText(savedPanel_, false);
}

void TCallWatch::LogCaller() {
  const QString text = callerId_.Caller().Text();
  if (loggedCall_ == callerId_.Calls() && loggedText_ == text) return;
  loggedCall_ = callerId_.Calls();
  loggedText_ = text;
  Log(text);
}

void TCallWatch::Log(const QString& text) {
  if (monitorHeld_) {
    heldLines_ << text;
  } else {
    link_.Monitor->Add(text);
  }
}

void TCallWatch::HoldMonitorLines(bool hold) {
  monitorHeld_ = hold;
  if (hold) return;
  for (const QString& line : std::exchange(heldLines_, {})) link_.Monitor->Add(line);
}
