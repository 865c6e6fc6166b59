#pragma once
// The search over the call list: the words typed, each of which must be found, without
// regard to letter case, in a call's memo, date, time or duration as the grid shows them.
#include <QString>
#include <QStringList>

#include "calls/CallRecord.h"

class TCallFilter {
 public:
  TCallFilter() = default;
  explicit TCallFilter(const QString& text);

  // Words were typed: some calls may be hidden.
  bool IsOn() const { return !words_.isEmpty(); }
  bool Matches(const TCallRecord& call) const;

 private:
  QStringList words_;
};
