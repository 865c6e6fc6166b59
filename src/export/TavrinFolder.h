#pragma once
// A Tavrin folder seen from outside the program: its calls and their recordings, read
// and never changed, and the paths that an export must keep off.
#include <QString>
#include <optional>
#include <vector>

#include "calls/CallRecord.h"

// The calls of the folder as the program would list them at its next start: Calls.dbt,
// then the calls waiting beside it in Calls.dbt.new. Nothing, with *error set, when
// either exists but cannot be read; nothing is created.
std::optional<std::vector<TCallRecord>> ReadFolderCalls(const QString& folder, QString* error);

// The recording of the call named `baseName` in the folder's "wav"; nothing when the
// name is not a plain name.
std::optional<QString> FolderWavPath(const QString& folder, const QString& baseName);

// True when writing at `path` (a folder to export into, or the list's file) would change
// the Tavrin folder's own files: the folder itself, its "wav" folder or anything in it,
// or one of the files the program keeps. Links are followed.
bool TouchesTavrinFiles(const QString& folder, const QString& path);
