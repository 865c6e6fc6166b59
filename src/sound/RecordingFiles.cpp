#include "sound/RecordingFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
constexpr QFile::Permissions kPrivateFolder = QFile::ReadOwner | QFile::WriteOwner |
                                              QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser |
                                              QFile::ExeUser;
constexpr QFile::Permissions kPrivateFile =
    QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
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

bool SaveRecording(const QString& baseName, const QByteArray& image, QString* error) {
  const std::optional<QString> path = WavFilePath(baseName);
  if (!path) {
    *error = QStringLiteral("Cannot create file for \"%1\": not a plain file name").arg(baseName);
    return false;
  }
  return EnsureWavFolder(error) && SaveRecordingFile(*path, image, error);
}

bool EnsureWavFolder(QString* error) {
  const QString folder = QString::fromLatin1(kWavFolder);
  const QFileInfo info(folder);
  if (info.exists() && !info.isDir()) {
    *error = QStringLiteral("Cannot create folder %1: a file of that name exists").arg(folder);
    return false;
  }
  if (!info.exists() && !QDir::current().mkdir(folder, kPrivateFolder)) {
    *error = QStringLiteral("Cannot create folder %1").arg(folder);
    return false;
  }
  if (QFile::permissions(folder) != kPrivateFolder &&
      !QFile::setPermissions(folder, kPrivateFolder)) {
    *error = QStringLiteral("Cannot make folder %1 private").arg(folder);
    return false;
  }
  return true;
}

bool SaveRecordingFile(const QString& path, const QByteArray& image, QString* error) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    *error = QStringLiteral("Cannot create file %1. %2").arg(path, file.errorString());
    return false;
  }
  if (!file.setPermissions(kPrivateFile)) {
    *error = QStringLiteral("Cannot create file %1. %2").arg(path, file.errorString());
    file.cancelWriting();
    return false;
  }
  if (file.write(image) != image.size() || !file.commit()) {
    *error = QStringLiteral("Cannot write file %1. %2").arg(path, file.errorString());
    file.cancelWriting();
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
