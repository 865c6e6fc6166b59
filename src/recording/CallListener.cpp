#include "recording/CallListener.h"

#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "serial/SerialErrors.h"
#include "setup/CallOptions.h"
#include "setup/Shared.h"

TCallListener::TCallListener(TRecorder& recorder, TModemF& link)
    : recorder_(recorder), link_(link) {
  soon_.setSingleShot(true);
  soon_.setInterval(0);
  QObject::connect(&soon_, &QTimer::timeout, [this] { Listen(std::exchange(next_, TNext::kNothing)); });
  retry_.setInterval(kRetryMs);
  QObject::connect(&retry_, &QTimer::timeout, [this] { Listen(TNext::kOpen); });
}

void TCallListener::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (enabled) return;
  soon_.stop();
  retry_.stop();
  next_ = TNext::kNothing;
}

void TCallListener::RecorderChanged(TRecordState from, TRecordState to, TIdleCause cause) {
  if (to != TRecordState::kIdle) return;
  switch (cause) {
    case TIdleCause::kSaved:  // Stop closed the port
      ListenSoon(TNext::kOpen);
      break;
    case TIdleCause::kReset:
      // A set-up that failed or was stopped: its commands may have reached the modem.
      if (from == TRecordState::kSettingUp) ListenSoon(TNext::kOpenAndAgain);
      break;
    case TIdleCause::kCutOff:  // the user closed the port
      soon_.stop();
      retry_.stop();
      next_ = TNext::kNothing;
      break;
    case TIdleCause::kEnded:
      break;
  }
}

void TCallListener::ModemLost() {
  ListenSoon(TNext::kOpen);
}

void TCallListener::ListenSoon(TNext next) {
  if (!enabled_) return;
  if (next > next_) next_ = next;
  soon_.start();
}

void TCallListener::Listen(TNext next) {
  if (!enabled_ || next == TNext::kNothing || recorder_.State() != TRecordState::kIdle) {
    retry_.stop();
    return;
  }
  if (link_.PortIsOpen) {
    retry_.stop();
    if (next == TNext::kOpenAndAgain) {
      try {
        SwitchCallerIdOn(link_, CallOptions, CurrentProfile);
      } catch (const ESerialException&) {
        // The port closed under the exchange: its close or loss is told on its own.
      }
    }
    return;
  }
  // Port 0 would ask the user which port to open: only the user's own commands may.
  if (CurrentProfile.port < 1) return;
  QString failure;
  if (!recorder_.OpenPort(&failure)) {
    if (!retry_.isActive()) {
      link_.Monitor->Add(failure + QStringLiteral(": listening for calls again once it opens"));
      retry_.start();
    }
    return;
  }
  retry_.stop();
  recorder_.ShowPortMarks(link_.PortIsOpen);
}
