#include "setup/LineAssembler.h"

namespace {
constexpr char kCr = '\r';
constexpr char kLf = '\n';
}  // namespace

QList<QByteArray> TLineAssembler::Feed(QByteArrayView bytes) {
  QList<QByteArray> lines;
  for (const char c : bytes) {
    if (c == kCr || c == kLf) {
      if (lastBreak_ != 0 && c != lastBreak_) {
        lastBreak_ = 0;  // the second half of CR LF or LF CR
        continue;
      }
      lines.append(partial_);
      partial_.clear();
      lastBreak_ = c;
      continue;
    }
    lastBreak_ = 0;
    if (partial_.size() >= kMaxLineBytes) {
      lines.append(partial_);
      partial_.clear();
    }
    partial_.append(c);
  }
  return lines;
}

std::optional<QByteArray> TLineAssembler::Flush() {
  std::optional<QByteArray> tail;
  if (!partial_.isEmpty()) tail = partial_;
  Reset();
  return tail;
}

void TLineAssembler::Reset() {
  partial_.clear();
  lastBreak_ = 0;
}
