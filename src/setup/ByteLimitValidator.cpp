#include "setup/ByteLimitValidator.h"

#include <algorithm>

#include "setup/Text8Bit.h"

namespace {
qsizetype StoredSize(const QString& text) {
  return text.toUtf8().size();
}
}  // namespace

QValidator::State TByteLimitValidator::validate(QString& input, int& pos) const {
  if (StoredSize(input) <= maxBytes_) {
    accepted_ = input;
    return Acceptable;
  }
  // The edit put new text between what stayed of the text before it.
  const qsizetype shorter = std::min(input.size(), accepted_.size());
  qsizetype head = 0;
  while (head < shorter && input[head] == accepted_[head]) ++head;
  qsizetype tail = 0;
  while (tail < shorter - head &&
         input[input.size() - 1 - tail] == accepted_[accepted_.size() - 1 - tail]) {
    ++tail;
  }
  const QString before = input.left(head);
  const QString after = input.right(tail);
  const qsizetype room = maxBytes_ - StoredSize(before) - StoredSize(after);
  if (room < 0) return Invalid;
  const QString fits =
      QString::fromUtf8(EncodeStoredText(input.mid(head, input.size() - head - tail), room));
  if (fits.isEmpty()) return Invalid;
  input = before + fits + after;
  pos = static_cast<int>(before.size() + fits.size());
  accepted_ = input;
  return Acceptable;
}
