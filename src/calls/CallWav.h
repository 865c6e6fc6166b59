#pragma once
// The WAV files of calls, written so that they survive a power loss: a file is complete
// and on disk, its name included, before anything refers to it.
#include <QByteArray>
#include <QString>
#include <optional>

#include "setup/PrivateFile.h"

// The folder "wav", made when missing (private, and its own name on disk). The message
// for the user when it cannot be made.
std::optional<QString> PrepareWavFolder();

// Saves the image as the recording named `baseName`, replacing a file of that name only
// once the new one is complete and on disk. The message for the user when it cannot.
std::optional<QString> SaveCallWav(const QString& baseName, const QByteArray& image);

// The same for content written piece by piece by `fill`.
std::optional<QString> SaveCallWavWith(const QString& baseName, const TFileFiller& fill);
