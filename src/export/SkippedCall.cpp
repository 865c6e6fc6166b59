#include "export/SkippedCall.h"

#include "calls/CallDates.h"
#include "sound/RecordingFiles.h"

std::optional<QDateTime> ExportableMoment(const TCallRecord& call,
                                          std::vector<TSkippedCall>* skipped) {
  if (!IsPlainFileName(call.FileName)) {
    skipped->push_back({call, QStringLiteral("the file name is not a plain name")});
    return std::nullopt;
  }
  std::optional<QDateTime> moment = ReadCallMoment(call);
  if (!moment) {
    skipped->push_back({call, QStringLiteral("its date or time cannot be read")});
  }
  return moment;
}
