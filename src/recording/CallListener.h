#pragma once
// While caller ID or the desktop notice is in use, the port stays open whenever nothing is
// recorded, so that the modem's rings and callers are heard: it is opened again (and
// caller ID switched on again) after a recording is saved, after a set-up failed or was
// stopped, and once a modem that went away is back. Modem Off and the developer's
// "Close port" are the user's and stay as they are.
#include <QString>
#include <QTimer>

#include "recording/Recorder.h"

class TModemF;

class TCallListener {
 public:
  // How often a port that would not open is tried again (a modem that went away).
  static constexpr int kRetryMs = 1000;

  TCallListener(TRecorder& recorder, TModemF& link);
  TCallListener(const TCallListener&) = delete;
  TCallListener& operator=(const TCallListener&) = delete;

  // In use or not: each start sequence decides; off at Settings and at the shutdown.
  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }
  // The port would not open and is being tried again.
  bool Waiting() const { return retry_.isActive(); }

  // What the recorder tells: its state changed; the modem went away.
  void RecorderChanged(TRecordState from, TRecordState to, TIdleCause cause);
  void ModemLost();

 private:
  // What is to be done once the event at hand is over.
  enum class TNext {
    kNothing,
    kOpen,          // open the port if it is closed
    kOpenAndAgain,  // ...and switch caller ID on again if it is open (a set-up's commands)
  };
  void ListenSoon(TNext next);
  void Listen(TNext next);

  TRecorder& recorder_;
  TModemF& link_;
  bool enabled_ = false;
  TNext next_ = TNext::kNothing;
  QTimer soon_;   // runs Listen once the handler that asked for it has returned
  QTimer retry_;  // while the port would not open
};
