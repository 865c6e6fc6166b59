#include "export/TavrinFolder.h"

#include <QDir>
#include <QFileInfo>
#include <array>

#include "calls/CallFile.h"
#include "sound/RecordingFiles.h"

namespace {
// The files the program keeps in its folder, besides "wav".
constexpr std::array<const char*, 5> kKeptFiles = {kCallFileName, kCallSideFileName, "Tavrin.ini",
                                                   "Events.log", "Diagnostics.log"};

// The absolute path with every link resolved, also for a path that does not exist yet
// (its nearest existing folder is resolved and the rest appended).
QString Resolved(const QString& path) {
  QFileInfo info(QDir::cleanPath(QDir::current().absoluteFilePath(path)));
  QStringList rest;
  while (!info.exists() && !info.isSymLink() && info.fileName() != QString()) {
    rest.prepend(info.fileName());
    info = QFileInfo(info.absolutePath());
  }
  QString base = info.canonicalFilePath();
  if (base.isEmpty()) {
    base = info.absoluteFilePath();  // a dangling link: taken as it stands
  }
  return rest.isEmpty() ? base : QDir::cleanPath(base + QLatin1Char('/') + rest.join('/'));
}

bool IsSameOrInside(const QString& path, const QString& folder) {
  return path == folder || path.startsWith(folder + QLatin1Char('/'));
}
}  // namespace

std::optional<std::vector<TCallRecord>> ReadFolderCalls(const QString& folder, QString* error) {
  const QDir dir(folder);
  QString err;
  auto calls = ReadCallRecords(dir.filePath(QLatin1String(kCallFileName)), &err);
  if (!calls) {
    *error = QStringLiteral("Cannot read %1: %2").arg(dir.filePath(kCallFileName), err);
    return std::nullopt;
  }
  const auto side = ReadCallRecords(dir.filePath(QLatin1String(kCallSideFileName)), &err);
  if (!side) {
    *error = QStringLiteral("Cannot read %1: %2").arg(dir.filePath(kCallSideFileName), err);
    return std::nullopt;
  }
  MergeCalls(*calls, *side);
  return calls;
}

std::optional<QString> FolderWavPath(const QString& folder, const QString& baseName) {
  if (!IsPlainFileName(baseName)) {
    return std::nullopt;
  }
  return QDir(folder).filePath(QLatin1String(kWavFolder) + QLatin1Char('/') + baseName +
                               QLatin1String(kWavExtension));
}

bool TouchesTavrinFiles(const QString& folder, const QString& path) {
  const QString home = Resolved(folder);
  const QString target = Resolved(path);
  if (target == home || IsSameOrInside(target, Resolved(QDir(folder).filePath(kWavFolder)))) {
    return true;
  }
  for (const char* kept : kKeptFiles) {
    if (target == Resolved(QDir(folder).filePath(QLatin1String(kept)))) {
      return true;
    }
  }
  return false;
}
