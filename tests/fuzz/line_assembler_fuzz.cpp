// The line assembler of the modem's answers: the lines depend on the bytes only, never
// on how the port cut them, and no byte of a line is lost or made up.
#include <cstdint>

#include "FuzzCheck.h"
#include "FuzzPieces.h"
#include "setup/LineAssembler.h"

namespace {
// Every line, the held tail last, with the bytes fed in pieces of the given sizes
// (cycled); no pieces: all at once.
QList<QByteArray> Lines(QByteArrayView bytes, QByteArrayView pieces) {
  TLineAssembler a;
  QList<QByteArray> lines;
  ForEachPiece(bytes, pieces, 64, [&](QByteArrayView piece) {
    lines += a.Feed(piece);
    Check(a.Partial().size() <= TLineAssembler::kMaxLineBytes);
  });
  if (auto tail = a.Flush()) lines.append(*tail);
  Check(a.Partial().isEmpty() && !a.Flush());
  return lines;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const qsizetype split = data[0] % 8;
  const QByteArrayView input(reinterpret_cast<const char*>(data) + 1,
                             static_cast<qsizetype>(size) - 1);
  const QByteArrayView pieces = input.first(std::min(split, input.size()));
  const QList<QByteArray> whole = Lines(input, {});
  Check(Lines(input, pieces) == whole);

  QByteArray text;   // the input without its line ends
  qsizetype breaks = 0;
  for (const char c : input) {
    if (c == '\r' || c == '\n') {
      ++breaks;
    } else {
      text.append(c);
    }
  }
  QByteArray joined;
  for (const QByteArray& line : whole) {
    Check(line.size() <= TLineAssembler::kMaxLineBytes);
    Check(!line.contains('\r') && !line.contains('\n'));
    joined += line;
  }
  Check(joined == text);
  // A line per break (a pair counts once) or per full-length cut, and the tail.
  Check(whole.size() <= breaks + text.size() / TLineAssembler::kMaxLineBytes + 1);
  return 0;
}
