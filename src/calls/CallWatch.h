#pragma once
// Caller ID in the main window: while caller ID (or the desktop notice) is in use, the
// lines the modem sends on its own are read for the call they announce. The caller is
// shown in the second panel of the status bar while it rings and during a recording of
// that call, written to the monitor, and told to the desktop while it rings; that
// recording's call gets the caller as its memo.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>

#include "calls/CallNotifier.h"
#include "calls/CallerId.h"

class TModemF;

class TCallWatch {
 public:
  // A recording started no later than this after the last ring records that call.
  static constexpr int64_t kRecordingAfterRingMs = 60000;

  // Takes the link's port-close event until destroyed.
  explicit TCallWatch(TModemF& link);
  ~TCallWatch();
  TCallWatch(const TCallWatch&) = delete;
  TCallWatch& operator=(const TCallWatch&) = delete;

  // Caller ID in use or not (each start sequence decides); off, no line is read.
  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }
  // Where calls are told to the desktop, and whether they are (while enabled).
  void SetNotifier(std::unique_ptr<ICallNotifier> notifier) { notifier_ = std::move(notifier); }
  void SetNotifying(bool notifying);

  // The second status panel of the main window; caller: the text is a caller's (the
  // window may give it more room), else what the panel showed before.
  std::function<QString()> PanelText;
  std::function<void(const QString& text, bool caller)> SetPanelText;
  // Milliseconds of a monotonic clock; tests replace it.
  std::function<int64_t()> Clock;
  // How long after the last line of a call its ringing is taken to be over (a ring's
  // gap and a margin); tests shorten it.
  void SetRingingOverMs(int ms) { ringTimer_.setInterval(ms); }

  // While held, the watch's lines for the monitor wait and go to it once released: the
  // diagnostics saves the monitor as its transcript, which holds no telephone numbers.
  void HoldMonitorLines(bool hold);

  // One line the modem sent on its own; true when it was about a call.
  bool TakeLine(const QByteArray& line);
  // A recording has begun: it is that of the call that rang last, if recent and not
  // recorded before.
  void RecordingStarted();
  // That recording has ended: whatever rings next is another call.
  void RecordingEnded();
  // The memo for the call row of the recording begun last: the caller, or empty.
  const QString& RecordingMemo() const { return recordingMemo_; }
  const TCallerId& CallerId() const { return callerId_; }

 private:
  enum class TShowing { kNothing, kRinging, kRecording };

  void PortClosed();
  void RingingOver();
  void Show(TShowing why);
  void Restore();
  void LogCaller();
  void Log(const QString& text);
  // The caller as it is now goes to the desktop, once the lines that came with this one
  // have been taken too.
  void NotifySoon(bool newCall);
  void Withdraw();

  TModemF& link_;
  bool enabled_ = false;
  TCallerId callerId_;
  QTimer ringTimer_;  // runs out when the rings have stopped
  TShowing showing_ = TShowing::kNothing;
  QString savedPanel_;  // what the panel showed before the caller
  QString shownPanel_;  // what this put there
  QString loggedText_;  // the monitor's last caller line, for the call loggedCall_
  int loggedCall_ = -1;
  QString recordingMemo_;
  bool monitorHeld_ = false;
  QStringList heldLines_;
  std::unique_ptr<ICallNotifier> notifier_;
  bool notifying_ = false;
  bool notified_ = false;  // the desktop shows the current call
  QTimer notifyTimer_;     // due: what the desktop shows is brought up to date
};
