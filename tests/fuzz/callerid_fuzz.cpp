// The caller ID lines, from the bytes a modem could send while no exchange listens,
// assembled into lines however the port cut them.
#include <cstdint>

#include "FuzzCheck.h"
#include "FuzzPieces.h"
#include "calls/CallerId.h"
#include "setup/LineAssembler.h"

namespace {
bool Printable(const QString& text) {
  for (const QChar c : text) {
    if (c.unicode() < 32 || c.unicode() == 127) return false;
  }
  return true;
}

// Feeds the bytes in pieces of the given sizes (cycled), a line a millisecond apart.
TCallerId Heard(QByteArrayView bytes, QByteArrayView pieces) {
  TLineAssembler lines;
  TCallerId id;
  int64_t ms = 0;
  ForEachPiece(bytes, pieces, 16, [&](QByteArrayView piece) {
    for (const QByteArray& line : lines.Feed(piece)) {
      const TCallerIdLine parsed = ParseCallerIdLine(line);
      Check(parsed.Value.size() <= line.size());
      Check(id.Take(line, ms++) == parsed.Kind);
    }
  });
  return id;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const qsizetype split = data[0] % 8;
  const QByteArrayView input(reinterpret_cast<const char*>(data) + 1,
                             static_cast<qsizetype>(size) - 1);
  const QByteArrayView pieces = input.first(std::min(split, input.size()));
  const TCallerId whole = Heard(input, {});
  const TCallerId cut = Heard(input, pieces);
  // The lines depend on the bytes only, never on how they were cut.
  Check(whole.Caller() == cut.Caller());
  Check(whole.Rings() == cut.Rings());
  const TCaller& c = whole.Caller();
  Check(c.Number.size() <= TCaller::kMaxNumber && c.Name.size() <= TCaller::kMaxName);
  Check(Printable(c.Text()) && Printable(c.Memo()));
  Check(c.Text() == (c.Memo().isEmpty() ? QStringLiteral("Incoming call")
                                        : QStringLiteral("Call from ") + c.Memo()));
  Check(c.Number.isEmpty() || c.NumberAbsent == TAbsence::kNone);
  return 0;
}
