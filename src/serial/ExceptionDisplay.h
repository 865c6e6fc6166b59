#pragma once
// Where errors that no caller can catch end up: an exception escaping an event handler
// of the port or the timer, a failure in a worker thread, a deferred open that failed.
// The application installs a display (a message box); without one they are logged.
#include <QString>
#include <functional>

using ExceptionDisplay = std::function<void(const QString& message)>;

// Main thread only.
void SetExceptionDisplay(ExceptionDisplay display);
// Main thread: shows the message now. Other threads: queued for the main thread.
void ShowSerialException(const QString& message);
