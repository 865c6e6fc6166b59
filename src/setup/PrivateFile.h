#pragma once
// Files that hold the user's recordings and settings are private to the user: created
// with mode 0600 (folders 0700) and replaced atomically, so a failed write never leaves
// a half-written or missing file behind.
#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

// Writes `data` to a temporary file in the folder of `path`, flushes it to disk, renames
// it over `path` and flushes the folder, so that the new content survives a power loss.
// On a failure before the rename the old file is untouched and the temporary one
// removed; the result is the system's error text (a failed flush of the folder is
// reported too: the new content is then in place but may not survive a power loss). A
// new file gets mode 0600; an existing one keeps its mode. A symbolic link is followed:
// its target is replaced.
std::optional<QString> WriteFileAtomically(const QString& path, const QByteArray& data);

// Writes the content of a file being replaced to its descriptor; the error text when it
// cannot.
using TFileFiller = std::function<std::optional<QString>(int fd)>;
// WriteFileAtomically with the content written by `fill`, for content too large to hold
// in memory at once.
std::optional<QString> WriteFileAtomicallyWith(const QString& path, const TFileFiller& fill);

// Creates an empty file with mode 0600 unless it exists. Nothing when it exists.
std::optional<QString> CreatePrivateFile(const QString& path);

// Creates a folder with mode 0700 unless it exists.
std::optional<QString> CreatePrivateDir(const QString& path);

// Writes all n bytes to the descriptor (retrying short writes); false with errno set.
bool WriteAllToFd(int fd, const char* data, qsizetype n);

// Makes the entries of a folder (renames, removals) durable. The system's error text on
// failure.
std::optional<QString> SyncFolder(const QString& path);

// The system's text for an error number.
QString SystemErrorText(int err);

// Reads a whole file. std::nullopt with `error` set when it cannot be read; a missing
// file is reported through `missing` (and `error` stays empty).
std::optional<QByteArray> ReadWholeFile(const QString& path, QString* error, bool* missing);
