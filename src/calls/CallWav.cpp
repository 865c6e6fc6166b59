#include "calls/CallWav.h"

#include "sound/RecordingFiles.h"

namespace {
// `write(path)` replaces the file durably; its error text, or nothing.
template <typename Write>
std::optional<QString> Save(const QString& baseName, Write write) {
  const std::optional<QString> path = WavFilePath(baseName);
  if (!path) {
    return QStringLiteral("Cannot create file for \"%1\": not a plain file name").arg(baseName);
  }
  if (auto error = PrepareWavFolder()) return error;
  if (const std::optional<QString> error = write(*path)) {
    return QStringLiteral("Cannot write file %1. %2").arg(*path, *error);
  }
  return std::nullopt;
}
}  // namespace

std::optional<QString> PrepareWavFolder() {
  QString error;
  bool created = false;
  if (!EnsureWavFolder(&error, &created)) return error;
  if (created) {
    if (const auto failed = SyncFolder(QStringLiteral("."))) {
      return QStringLiteral("Cannot create folder %1. %2")
          .arg(QString::fromLatin1(kWavFolder), *failed);
    }
  }
  return std::nullopt;
}

std::optional<QString> SaveCallWav(const QString& baseName, const QByteArray& image) {
  return Save(baseName, [&](const QString& path) { return WriteFileAtomically(path, image); });
}

std::optional<QString> SaveCallWavWith(const QString& baseName, const TFileFiller& fill) {
  return Save(baseName, [&](const QString& path) { return WriteFileAtomicallyWith(path, fill); });
}
