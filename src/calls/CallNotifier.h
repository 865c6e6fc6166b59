#pragma once
// Tells the desktop of a call that rings, outside the program's window: one notice a
// call, brought up to date by its later rings and its caller ID, withdrawn when the call
// is recorded or stops ringing.
#include <QString>

class ICallNotifier {
 public:
  virtual ~ICallNotifier() = default;
  // The call rings: shows it, or replaces what is shown of it. caller: "5551234 JOHN
  // DOE", "withheld number", or empty while no caller ID has come.
  virtual void Show(const QString& caller) = 0;
  // What is shown goes; the next Show is a notice of its own.
  virtual void Withdraw() = 0;
};
