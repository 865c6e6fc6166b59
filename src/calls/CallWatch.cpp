#include "calls/CallWatch.h"

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
  link_.OnPortClosed = [this] { PortClosed(); };
}

TCallWatch::~TCallWatch() {
  link_.OnPortClosed = nullptr;
  if (enabled_) link_.OnUnsolicitedLine = nullptr;
}

void TCallWatch::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (enabled) {
    link_.OnUnsolicitedLine = [this](const QByteArray& line) { TakeLine(line); };
    return;
  }
  link_.OnUnsolicitedLine = nullptr;
  ringTimer_.stop();
  Restore();
}

void TCallWatch::TakeLine(const QByteArray& line) {
  if (!enabled_) return;
  const TCallerLine kind = callerId_.Take(line, Clock());
  if (kind == TCallerLine::kOther) return;
  ringTimer_.start();
  Show(TShowing::kRinging);
  if (kind == TCallerLine::kRing) LogCaller();
}

void TCallWatch::RecordingStarted() {
  recordingMemo_.clear();
  if (!enabled_ || !callerId_.RangWithin(Clock(), kRecordingAfterRingMs)) {
    Restore();
    return;
  }
  recordingMemo_ = callerId_.Caller().Memo();
  ringTimer_.stop();
  Show(TShowing::kRecording);
  link_.Monitor->Add(callerId_.Caller().Text());
  loggedText_ = callerId_.Caller().Text();
  loggedCall_ = callerId_.Calls();
}

void TCallWatch::PortClosed() {
  // No ring can be heard now, and a recording has ended with the port.
  ringTimer_.stop();
  Restore();
}

void TCallWatch::RingingOver() {
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
  link_.Monitor->Add(text);
}
