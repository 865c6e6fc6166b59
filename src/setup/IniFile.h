#pragma once
// The settings store: a plain INI text file, written through on every write and read
// afresh on every read (no cache). Section and key names match without regard to case.
// Each line is decoded on its own (UTF-8 where valid, else Windows-1252), and a write
// changes only the line it writes: every other line keeps its bytes and its line end.
// A read-only file is never rewritten; a symbolic link is written through to its target.
#include <QString>
#include <cstdint>
#include <stdexcept>

class EIniError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class EIniWriteError : public EIniError {
 public:
  explicit EIniWriteError(const QString& path);  // "Unable to write to %s"
};

// The file exists but cannot be read. Nothing may be written on the strength of such a
// read: the file stays as it is.
class EIniReadError : public EIniError {
 public:
  EIniReadError(const QString& path, const QString& reason);  // "Unable to read %s: why"
};

class TIniFile {
 public:
  explicit TIniFile(QString path);
  const QString& FileName() const { return path_; }

  // Reads raise EIniReadError when the file exists but cannot be read.
  QString ReadString(const QString& section, const QString& key, const QString& def) const;
  int32_t ReadInteger(const QString& section, const QString& key, int32_t def) const;
  bool ReadBool(const QString& section, const QString& key, bool def) const;

  // Each write reaches the file before it returns; raises EIniWriteError, or
  // EIniReadError when the file could not be read first.
  void WriteString(const QString& section, const QString& key, const QString& value);
  void WriteInteger(const QString& section, const QString& key, int32_t value);
  void WriteBool(const QString& section, const QString& key, bool value);

 private:
  QString path_;
};
