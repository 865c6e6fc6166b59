#pragma once
// Calls.dbt: the call list as a plain sequence of 305-byte records. There is no limit on
// the number of records.
#include <QString>
#include <optional>
#include <stdexcept>
#include <vector>

#include "calls/CallRecord.h"

inline constexpr const char* kCallFileName = "Calls.dbt";
// Calls that could not go into Calls.dbt: added while it could not be read, or recovered
// from a recording journal. The next start that reads Calls.dbt adds them to the list;
// the next successful save of the list removes the file.
inline constexpr const char* kCallSideFileName = "Calls.dbt.new";

class ECallFileError : public std::runtime_error {
 public:
  explicit ECallFileError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// Reads every whole record (a trailing partial record is ignored). A missing file is
// created empty (mode 0600). Raises ECallFileError with the system's error text.
std::vector<TCallRecord> LoadCallFile(const QString& path);

// The records of a file that may be missing (no records then). Nothing, with *error set,
// when it exists but cannot be read.
std::optional<std::vector<TCallRecord>> ReadCallRecords(const QString& path, QString* error);

// The same call: every text field equal (the bytes after the texts do not count).
bool SameCall(const TCallRecord& a, const TCallRecord& b);
// Appends the calls of `more` that `list` does not hold yet (no equal call and no call of
// the same file name), in their order.
void MergeCalls(std::vector<TCallRecord>& list, const std::vector<TCallRecord>& more);

// Replaces the file atomically and durably (see WriteFileAtomically): on failure the
// old file stays and the system's error text is returned.
std::optional<QString> SaveCallFile(const QString& path, const std::vector<TCallRecord>& records);
