#pragma once
// Recordings left behind: a recording journal in "wav" that no running recording holds
// was left by a run that did not end (a crash, a kill, a power loss). It becomes the WAV
// file Stop would have saved for the samples it holds, and a call dated at the start of
// the recording, with the duration from its size and a memo saying it was recovered.
//
// The call goes into the side file Calls.dbt.new, which the loading of the list then
// merges. Steps, each durable before the next: the WAV file (name from the journal's
// identity), the call in the side file (unless an equal one is there), the removal of
// the journal. A crash anywhere repeats the same steps on the same name, so nothing is
// recovered twice.
#include <QString>
#include <QStringList>

inline const QString kRecoveredMemo = QStringLiteral("Recovered after the program ended");

// Recovers every journal left behind in the folder "wav" of the current directory.
// Returns one line per journal for the monitor.
QStringList RecoverRecordings();
