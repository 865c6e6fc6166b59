#include "export/ExportFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <utility>

#include "setup/PrivateFile.h"

namespace {
constexpr const char* kTempPattern = ".tavrin-export-XXXXXX";
// More calls of one second than this are not told apart by a suffix.
constexpr int kMaxSuffix = 9999;

// Moves `from` to `to` unless `to` exists; 0 or the error number (EEXIST when taken).
int RenameNoReplace(const char* from, const char* to) {
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS) {
    return errno;
  }
  // File systems without the flag: a hard link fails where the name is taken.
  if (::link(from, to) != 0) {
    return errno;
  }
  ::unlink(from);
  return 0;
}
}  // namespace

TExportFile::TExportFile(QString folder, QByteArray tempPath, int fd)
    : folder_(std::move(folder)), tempPath_(std::move(tempPath)), fd_(fd) {}

TExportFile::TExportFile(TExportFile&& other) noexcept
    : folder_(std::move(other.folder_)),
      tempPath_(std::exchange(other.tempPath_, QByteArray())),
      fd_(std::move(other.fd_)) {}

TExportFile::~TExportFile() {
  if (!tempPath_.isEmpty()) {
    ::unlink(tempPath_.constData());
  }
}

std::optional<TExportFile> TExportFile::Create(const QString& folder, QString* error) {
  QByteArray pattern = QFile::encodeName(QDir(folder).filePath(QLatin1String(kTempPattern)));
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    *error = QStringLiteral("Cannot create a file in %1: %2").arg(folder, SystemErrorText(errno));
    return std::nullopt;
  }
  return TExportFile(folder, pattern, fd);
}

std::optional<QString> TExportFile::Commit(const QString& base, const QString& ext,
                                           QString* error) {
  auto fail = [&](const QString& what, int err) -> std::optional<QString> {
    *error = QStringLiteral("%1: %2").arg(what, SystemErrorText(err));
    ::unlink(tempPath_.constData());
    tempPath_.clear();
    return std::nullopt;
  };
  if (::fsync(fd_.get()) != 0) {
    return fail(QStringLiteral("Cannot write to %1").arg(folder_), errno);
  }
  if (fd_.Close() != 0) {
    return fail(QStringLiteral("Cannot write to %1").arg(folder_), errno);
  }
  for (int n = 1; n <= kMaxSuffix; ++n) {
    const QString name =
        base + (n > 1 ? QStringLiteral("_%1").arg(n) : QString()) + QLatin1Char('.') + ext;
    const int err = RenameNoReplace(tempPath_.constData(),
                                    QFile::encodeName(QDir(folder_).filePath(name)).constData());
    if (err == 0) {
      tempPath_.clear();
      return name;
    }
    if (err != EEXIST) {
      return fail(QStringLiteral("Cannot create %1 in %2").arg(name, folder_), err);
    }
  }
  return fail(QStringLiteral("Cannot create %1 in %2").arg(base, folder_), EEXIST);
}

std::optional<QString> EnsureExportFolder(const QString& folder) {
  const QFileInfo info(folder);
  if (info.isDir()) {
    return std::nullopt;
  }
  if (info.exists()) {
    return QStringLiteral("%1 is not a folder").arg(folder);
  }
  if (!QDir().mkpath(folder)) {
    return QStringLiteral("Cannot create the folder %1").arg(folder);
  }
  return std::nullopt;
}
