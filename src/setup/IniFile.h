#pragma once
// The settings store: a plain INI text file, written through on every write and read
// afresh on every read (no cache). Section and key names match without regard to case.
#include <QString>
#include <cstdint>
#include <stdexcept>

class EIniWriteError : public std::runtime_error {
 public:
  explicit EIniWriteError(const QString& path);  // "Unable to write to %s"
};

class TIniFile {
 public:
  explicit TIniFile(QString path);
  const QString& FileName() const { return path_; }

  QString ReadString(const QString& section, const QString& key, const QString& def) const;
  int32_t ReadInteger(const QString& section, const QString& key, int32_t def) const;
  bool ReadBool(const QString& section, const QString& key, bool def) const;

  // Each write reaches the file before it returns; raises EIniWriteError.
  void WriteString(const QString& section, const QString& key, const QString& value);
  void WriteInteger(const QString& section, const QString& key, int32_t value);
  void WriteBool(const QString& section, const QString& key, bool value);

 private:
  QString path_;
};
