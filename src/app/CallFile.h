#pragma once
// Calls.dbt: the call list as a plain sequence of 305-byte records. There is no limit on
// the number of records.
#include <QString>
#include <optional>
#include <stdexcept>
#include <vector>

#include "app/CallRecord.h"

inline constexpr const char* kCallFileName = "Calls.dbt";

class ECallFileError : public std::runtime_error {
 public:
  explicit ECallFileError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// Reads every whole record (a trailing partial record is ignored). A missing file is
// created empty (mode 0600). Raises ECallFileError with the system's error text.
std::vector<TCallRecord> LoadCallFile(const QString& path);

// Replaces the file atomically: on failure the old file stays and the system's error
// text is returned.
std::optional<QString> SaveCallFile(const QString& path, const std::vector<TCallRecord>& records);
