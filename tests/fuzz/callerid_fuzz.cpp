// The caller ID lines, from the bytes a modem could send while no exchange listens,
// assembled into lines however the port cut them, heard at times far enough apart to
// cross from one call into the next, with recordings ending between them.
//
// Input: one byte for the piece sizes (the first n % 8 bytes after the header), one for
// the number k % 8 of time steps, k step bytes, then the bytes the modem sent. A step is
// the time before a line, in units of 70 ms (up to 17.8 s, past a ring's gap); an odd
// step ends the current call's recording before the line.
#include <cstdint>

#include "FuzzCheck.h"
#include "FuzzPieces.h"
#include "calls/CallerId.h"
#include "setup/LineAssembler.h"

namespace {
constexpr int64_t kStepMs = 70;

bool Printable(const QString& text) {
  for (const QChar c : text) {
    if (c.unicode() < 32 || c.unicode() == 127) return false;
  }
  return true;
}

// Feeds the bytes in pieces of the given sizes (cycled), the lines at the given steps.
TCallerId Heard(QByteArrayView bytes, QByteArrayView pieces, QByteArrayView steps) {
  TLineAssembler lines;
  TCallerId id;
  // The current call heard on its own, from its first line: what the caller shows must
  // be that call's alone, with nothing of an earlier one.
  TCallerId own;
  int64_t ms = 0;
  qsizetype n = 0;
  ForEachPiece(bytes, pieces, 16, [&](QByteArrayView piece) {
    for (const QByteArray& line : lines.Feed(piece)) {
      const uint8_t step = steps.isEmpty() ? 0 : static_cast<uint8_t>(steps[n++ % steps.size()]);
      ms += step * kStepMs;
      if (step % 2 == 1) id.EndCall();
      const TCallerIdLine parsed = ParseCallerIdLine(line);
      Check(parsed.Value.size() <= line.size());
      const int calls = id.Calls();
      Check(id.Take(line, ms) == parsed.Kind);
      Check(id.Calls() == calls || id.Calls() == calls + 1);
      if (id.Calls() != calls) own = TCallerId{};
      if (parsed.Kind != TCallerLine::kOther) own.Take(line, ms);
      Check(id.Caller() == own.Caller());
      Check(id.Rings() == own.Rings());
    }
  });
  return id;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const qsizetype split = data[0] % 8;
  const qsizetype stepCount = std::min<qsizetype>(data[1] % 8, static_cast<qsizetype>(size) - 2);
  const QByteArrayView steps(reinterpret_cast<const char*>(data) + 2, stepCount);
  const QByteArrayView input(reinterpret_cast<const char*>(data) + 2 + stepCount,
                             static_cast<qsizetype>(size) - 2 - stepCount);
  const QByteArrayView pieces = input.first(std::min(split, input.size()));
  const TCallerId whole = Heard(input, {}, steps);
  const TCallerId cut = Heard(input, pieces, steps);
  // The lines depend on the bytes only, never on how they were cut.
  Check(whole.Caller() == cut.Caller());
  Check(whole.Rings() == cut.Rings());
  Check(whole.Calls() == cut.Calls());
  const TCaller& c = whole.Caller();
  Check(c.Number.size() <= TCaller::kMaxNumber && c.Name.size() <= TCaller::kMaxName);
  Check(Printable(c.Text()) && Printable(c.Memo()));
  Check(c.Text() == (c.Memo().isEmpty() ? QStringLiteral("Incoming call")
                                        : QStringLiteral("Call from ") + c.Memo()));
  Check(c.Number.isEmpty() || c.NumberAbsent == TAbsence::kNone);
  return 0;
}
