#pragma once
// The calls an export or a list leaves out, and why.
#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

#include "calls/CallRecord.h"

// A call left out, and why (a missing or damaged WAV, a name that is not plain, a date
// or time that cannot be read).
struct TSkippedCall {
  TCallRecord call;
  QString reason;
};

// The moment of a call that can be exported or listed: its name is plain and its date
// and time can be read. Otherwise nothing, and the call is added to *skipped with why.
std::optional<QDateTime> ExportableMoment(const TCallRecord& call,
                                          std::vector<TSkippedCall>* skipped);
