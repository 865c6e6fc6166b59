#include "calls/CallFilter.h"

#include <QRegularExpression>
#include <algorithm>

TCallFilter::TCallFilter(const QString& text) {
  static const QRegularExpression kBlanks(QStringLiteral("\\s+"));
  words_ = text.split(kBlanks, Qt::SkipEmptyParts);
}

bool TCallFilter::Matches(const TCallRecord& call) const {
  return std::all_of(words_.begin(), words_.end(), [&](const QString& word) {
    for (const QString* field : {&call.Memo, &call.Date, &call.Time, &call.Duration}) {
      if (field->contains(word, Qt::CaseInsensitive)) {
        return true;
      }
    }
    return false;
  });
}
