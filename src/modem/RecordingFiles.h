#pragma once
// The recordings folder "wav" in the current directory and its files. Recordings are
// private to the user: the folder is 0700 and each file 0600.
#include <QByteArray>
#include <QString>
#include <optional>

inline constexpr const char* kWavFolder = "wav";
inline constexpr const char* kWavExtension = ".wav";

// "wav" + separator + name + ".wav", relative to the current directory.
QString WavFilePath(const QString& baseName);

// Creates the folder when missing (an existing one is no error) and makes it private.
// On failure returns false and sets *error.
bool EnsureWavFolder(QString* error);

// Writes the image as the file at path in one piece, replacing an existing file only
// once the new content is complete. On failure returns false and sets *error; an
// earlier file of that name is then left as it was.
bool SaveRecordingFile(const QString& path, const QByteArray& image, QString* error);

// The whole file, or nothing when it cannot be read.
std::optional<QByteArray> LoadRecordingFile(const QString& path);
