#pragma once
// Recordings left behind: a recording journal in "wav" that no running recording holds
// was left by a run that did not end (a crash, a kill, a power loss). It becomes the WAV
// file Stop would have saved for the samples it holds, and a call dated at the start of
// the recording, with the duration from its size and a memo saying it was recovered.
//
// The call goes into the side file Calls.dbt.new, which the loading of the list then
// merges. Steps, each durable before the next: the WAV file, the call in the side file
// (unless the list or the side file has it), the removal of the journal. The name is
// the one Stop chose when it named the journal (its WAV file may be saved already: then
// only what is missing is added), otherwise one made from the journal's identity. A
// crash anywhere repeats the same steps on the same name, so nothing is recovered twice.
//
// A journal cut short before its first sample is removed; one that cannot be read
// (another version, a damaged header) is set aside as "<name>.unreadable" and told once.
#include <QString>
#include <QStringList>

inline const QString kRecoveredMemo = QStringLiteral("Recovered after the program ended");

// Recovers every journal left behind in the folder "wav" of the current directory.
// Returns one line per journal for the monitor.
QStringList RecoverRecordings();
