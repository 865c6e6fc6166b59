#pragma once
// The recordings folder "wav" in the current directory and its files. Recordings are
// private to the user: the folder is 0700 and each file 0600.
#include <QByteArray>
#include <QString>
#include <optional>

inline constexpr const char* kWavFolder = "wav";
inline constexpr const char* kWavExtension = ".wav";

// True when `name` can name a file inside "wav": a plain base name, not empty, without
// a folder separator (slash or backslash), "..", or NUL. Names come from Calls.dbt, which may
// be damaged; any other name must never reach the file system.
bool IsPlainFileName(const QString& name);

// "wav" + separator + name + ".wav", relative to the current directory; nothing when
// the name is not plain.
std::optional<QString> WavFilePath(const QString& baseName);

// Creates the folder when missing (an existing one is no error) and makes it private;
// *created tells whether it was missing. On failure returns false and sets *error.
bool EnsureWavFolder(QString* error, bool* created = nullptr);

// The whole file, or nothing when it cannot be read.
std::optional<QByteArray> LoadRecordingFile(const QString& path);
