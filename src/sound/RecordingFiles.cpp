#include "sound/RecordingFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
constexpr QFile::Permissions kPrivateFolder = QFile::ReadOwner | QFile::WriteOwner |
                                              QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser |
                                              QFile::ExeUser;
}  // namespace

bool IsPlainFileName(const QString& name) {
  return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
         !name.contains(QLatin1String("..")) && !name.contains(QChar(u'\0'));
}

std::optional<QString> WavFilePath(const QString& baseName) {
  if (!IsPlainFileName(baseName)) return std::nullopt;
  return QString::fromLatin1(kWavFolder) + QDir::separator() + baseName +
         QString::fromLatin1(kWavExtension);
}

bool EnsureWavFolder(QString* error, bool* created) {
  if (created) *created = false;
  const QString folder = QString::fromLatin1(kWavFolder);
  const QFileInfo info(folder);
  // Asked once: QFileInfo looks again at a file it did not find, so after the mkdir it
  // would find the folder and never tell that it was made here.
  const bool existed = info.exists();
  if (existed && !info.isDir()) {
    *error = QStringLiteral("Cannot create folder %1: a file of that name exists").arg(folder);
    return false;
  }
  if (!existed && !QDir::current().mkdir(folder, kPrivateFolder)) {
    *error = QStringLiteral("Cannot create folder %1").arg(folder);
    return false;
  }
  if (!existed && created) *created = true;
  if (QFile::permissions(folder) != kPrivateFolder &&
      !QFile::setPermissions(folder, kPrivateFolder)) {
    *error = QStringLiteral("Cannot make folder %1 private").arg(folder);
    return false;
  }
  return true;
}

std::optional<QByteArray> LoadRecordingFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return std::nullopt;
  return bytes;
}
