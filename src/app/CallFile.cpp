#include "app/CallFile.h"

#include "setup/PrivateFile.h"

std::vector<TCallRecord> LoadCallFile(const QString& path) {
  QString error;
  bool missing = false;
  const std::optional<QByteArray> bytes = ReadWholeFile(path, &error, &missing);
  if (!bytes) {
    if (!missing) {
      throw ECallFileError(error);
    }
    if (const auto err = CreatePrivateFile(path)) {
      throw ECallFileError(*err);
    }
    return {};
  }
  std::vector<TCallRecord> records;
  const qsizetype count = bytes->size() / kCallRecordSize;
  records.reserve(static_cast<size_t>(count));
  for (qsizetype i = 0; i < count; ++i) {
    records.push_back(
        DecodeCallRecord(QByteArrayView(*bytes).sliced(i * kCallRecordSize, kCallRecordSize)));
  }
  return records;
}

std::optional<QString> SaveCallFile(const QString& path, const std::vector<TCallRecord>& records) {
  QByteArray bytes;
  bytes.reserve(static_cast<qsizetype>(records.size()) * kCallRecordSize);
  for (const TCallRecord& r : records) {
    bytes += EncodeCallRecord(r);
  }
  return WriteFileAtomically(path, bytes);
}
