#include "setup/PrivateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "setup/FileDescriptor.h"

namespace {
constexpr mode_t kPrivateFileMode = 0600;
constexpr mode_t kPrivateDirMode = 0700;
}  // namespace

QString SystemErrorText(int err) {
  return QString::fromLocal8Bit(std::strerror(err));
}

bool WriteAllToFd(int fd, const char* p, qsizetype n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, static_cast<size_t>(n));
    if (w < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    p += w;
    n -= w;
  }
  return true;
}

std::optional<QString> SyncFolder(const QString& path) {
  TFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0 || ::fsync(fd.get()) != 0) {
    return SystemErrorText(errno);
  }
  return std::nullopt;
}

namespace {
// The file a chain of symbolic links ends at (the path itself when it is no link).
QString FollowLinks(const QString& path) {
  constexpr int kMaxLinks = 40;
  QFileInfo info(path);
  for (int i = 0; i < kMaxLinks && info.isSymLink(); ++i) {
    info = QFileInfo(info.symLinkTarget());
  }
  return info.filePath();
}
}  // namespace

std::optional<QString> WriteFileAtomically(const QString& path, const QByteArray& data) {
  return WriteFileAtomicallyWith(path, [&](int fd) -> std::optional<QString> {
    if (!WriteAllToFd(fd, data.constData(), data.size())) {
      return SystemErrorText(errno);
    }
    return std::nullopt;
  });
}

std::optional<QString> WriteFileAtomicallyWith(const QString& path, const TFileFiller& fill) {
  // A link is written through: the new content replaces its target, the link stays.
  const QString targetPath = FollowLinks(path);
  const QByteArray target = QFile::encodeName(targetPath);
  QByteArray pattern = target + ".XXXXXX";
  // mkstemp creates the file with mode 0600.
  TFd fd(::mkstemp(pattern.data()));
  if (fd.get() < 0) {
    return SystemErrorText(errno);
  }
  auto fail = [&](const QString& error) -> std::optional<QString> {
    ::unlink(pattern.constData());
    return error;
  };
  struct stat old {};
  if (::stat(target.constData(), &old) == 0 && S_ISREG(old.st_mode)) {
    if (::fchmod(fd.get(), old.st_mode & 07777) != 0) {
      return fail(SystemErrorText(errno));
    }
  }
  if (const auto error = fill(fd.get())) {
    return fail(*error);
  }
  if (::fsync(fd.get()) != 0) {
    return fail(SystemErrorText(errno));
  }
  if (fd.Close() != 0) {
    return fail(SystemErrorText(errno));
  }
  if (::rename(pattern.constData(), target.constData()) != 0) {
    return fail(SystemErrorText(errno));
  }
  // The new name survives a power loss only once its folder is on disk too.
  return SyncFolder(QFileInfo(targetPath).absolutePath());
}

std::optional<QString> CreatePrivateFile(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(),
                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateFileMode);
  if (fd < 0) {
    if (errno == EEXIST) {
      return std::nullopt;
    }
    return SystemErrorText(errno);
  }
  TFd guard(fd);
  if (guard.Close() != 0) {
    return SystemErrorText(errno);
  }
  return std::nullopt;
}

std::optional<QString> CreatePrivateDir(const QString& path) {
  if (::mkdir(QFile::encodeName(path).constData(), kPrivateDirMode) == 0) {
    return std::nullopt;
  }
  if (errno == EEXIST && QFileInfo(path).isDir()) {
    return std::nullopt;
  }
  return SystemErrorText(errno);
}

std::optional<QByteArray> ReadWholeFile(const QString& path, QString* error, bool* missing) {
  if (missing) {
    *missing = false;
  }
  TFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) {
      if (missing) {
        *missing = true;
      }
      if (error) {
        error->clear();
      }
    } else if (error) {
      *error = SystemErrorText(errno);
    }
    return std::nullopt;
  }
  QByteArray out;
  char buf[65536];
  for (;;) {
    const ssize_t r = ::read(fd.get(), buf, sizeof buf);
    if (r < 0) {
      if (errno == EINTR) {
        continue;
      }
      if (error) {
        *error = SystemErrorText(errno);
      }
      return std::nullopt;
    }
    if (r == 0) {
      break;
    }
    out.append(buf, r);
  }
  return out;
}
