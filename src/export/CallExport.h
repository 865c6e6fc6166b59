#pragma once
// The export of calls as audio files into a folder, one after the other: the one job
// behind the window's export commands and tavrin-export.
#include <QString>
#include <cstddef>
#include <functional>
#include <vector>

#include "calls/CallRecord.h"
#include "export/ExportFormat.h"
#include "export/SkippedCall.h"

struct TExportedCall {
  TCallRecord call;
  QString file;  // the name it got in the target folder
};

struct TExportReport {
  std::vector<TExportedCall> exported;
  std::vector<TSkippedCall> skipped;
  bool cancelled = false;
  // A failure of the target (it cannot be made or written) that stopped the export.
  QString failure;
  bool Complete() const { return skipped.empty() && !cancelled && failure.isEmpty(); }
};

struct TExportRequest {
  QString tavrinFolder;  // where "wav" lies
  QString targetFolder;  // made when missing
  TExportFormat format = kDefaultExportFormat;
};

// Call `index` of `count` is `fraction` written; false cancels (the file being written
// is removed, the ones done stay).
using TExportProgress = std::function<bool(size_t index, size_t count, double fraction)>;

TExportReport ExportCalls(const std::vector<TCallRecord>& calls, const TExportRequest& request,
                          const TExportProgress& progress = {});
