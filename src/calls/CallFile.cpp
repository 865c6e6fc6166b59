#include "calls/CallFile.h"

#include <algorithm>

#include "setup/PrivateFile.h"

namespace {
std::vector<TCallRecord> DecodeRecords(const QByteArray& bytes) {
  std::vector<TCallRecord> records;
  const qsizetype count = bytes.size() / kCallRecordSize;
  records.reserve(static_cast<size_t>(count));
  for (qsizetype i = 0; i < count; ++i) {
    records.push_back(
        DecodeCallRecord(QByteArrayView(bytes).sliced(i * kCallRecordSize, kCallRecordSize)));
  }
  return records;
}
}  // namespace

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
  return DecodeRecords(*bytes);
}

std::optional<std::vector<TCallRecord>> ReadCallRecords(const QString& path, QString* error) {
  bool missing = false;
  const std::optional<QByteArray> bytes = ReadWholeFile(path, error, &missing);
  if (!bytes) {
    if (missing) {
      return std::vector<TCallRecord>{};
    }
    return std::nullopt;
  }
  return DecodeRecords(*bytes);
}

bool SameCall(const TCallRecord& a, const TCallRecord& b) {
  return a.FileName == b.FileName && a.Date == b.Date && a.Time == b.Time &&
         a.Duration == b.Duration && a.Memo == b.Memo;
}

void MergeCalls(std::vector<TCallRecord>& list, const std::vector<TCallRecord>& more) {
  const size_t known = list.size();
  for (const TCallRecord& r : more) {
    const auto end = list.begin() + static_cast<std::ptrdiff_t>(known);
    // A call of the same file is that call, whatever its texts: a recovered one whose
    // saved row reached the list as well is listed once.
    const auto same = [&](const TCallRecord& x) {
      return SameCall(x, r) || (!r.FileName.isEmpty() && x.FileName == r.FileName);
    };
    if (std::none_of(list.begin(), end, same)) {
      list.push_back(r);
    }
  }
}

std::optional<QString> SaveCallFile(const QString& path, const std::vector<TCallRecord>& records) {
  QByteArray bytes;
  bytes.reserve(static_cast<qsizetype>(records.size()) * kCallRecordSize);
  for (const TCallRecord& r : records) {
    bytes += EncodeCallRecord(r);
  }
  return WriteFileAtomically(path, bytes);
}
