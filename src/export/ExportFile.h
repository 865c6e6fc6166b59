#pragma once
// One exported file on its way into the target folder. It is written under a hidden
// temporary name there and takes its real name only once it is complete: an export that
// fails or is cancelled leaves nothing behind, and a file already there is never
// overwritten. The only code of the export that makes file system calls.
#include <QString>
#include <optional>

#include "setup/FileDescriptor.h"

class TExportFile {
 public:
  // A new temporary file in `folder` (mode 0600: calls are private); nothing, with
  // *error set, when it cannot be made.
  static std::optional<TExportFile> Create(const QString& folder, QString* error);
  // Removes the temporary file unless it was committed.
  ~TExportFile();
  TExportFile(TExportFile&& other) noexcept;
  TExportFile& operator=(TExportFile&&) = delete;
  TExportFile(const TExportFile&) = delete;
  TExportFile& operator=(const TExportFile&) = delete;

  int Fd() const { return fd_.get(); }

  // Flushes the content to disk and gives the file the first free name of
  // base + "." + ext, base + "_2." + ext, base + "_3." + ext ... Returns the name taken,
  // or nothing with *error set (the temporary file is then removed).
  std::optional<QString> Commit(const QString& base, const QString& ext, QString* error);

 private:
  TExportFile(QString folder, QByteArray tempPath, int fd);

  QString folder_;
  QByteArray tempPath_;  // empty once committed or moved from
  TFd fd_;
};

// Creates the folder (and the folders above it) when it is missing.
std::optional<QString> EnsureExportFolder(const QString& folder);
