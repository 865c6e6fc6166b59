#include "calls/CallerId.h"

#include <optional>

#include "setup/ModemText.h"

namespace {
constexpr char kRing[] = "RING";
// Item types in a MESG line: the reasons why the number or the name is absent.
constexpr int kNumberAbsenceItem = 0x04;
constexpr int kNameAbsenceItem = 0x08;

// "RING", or RING with a distinctive ring's pattern after a blank ("RING 1", "RING A").
bool IsRing(const QByteArray& upper) {
  if (!upper.startsWith(kRing)) return false;
  return upper.size() == 4 || upper.at(4) == ' ';
}

std::optional<TCallerLine> TagKind(const QByteArray& tag) {
  if (tag == "DATE") return TCallerLine::kDate;
  if (tag == "TIME") return TCallerLine::kTime;
  if (tag == "NMBR" || tag == "DDN_NMBR") return TCallerLine::kNumber;
  if (tag == "NAME") return TCallerLine::kName;
  if (tag == "MESG") return TCallerLine::kMessage;
  return std::nullopt;
}

// What the user sees and what the call list stores: no control characters, bounded.
QString Printable(const QByteArray& value, qsizetype max) {
  QString out;
  for (const char c : value) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) continue;
    if (out.size() == max) break;
    out += QChar(u);
  }
  return out.trimmed();
}

TAbsence AbsenceOf(const QByteArray& value) {
  const QByteArray v = UpperAscii(value);
  if (v == "P" || v == "PRIVATE") return TAbsence::kWithheld;
  if (v == "O" || v == "OUT OF AREA" || v == "UNAVAILABLE") return TAbsence::kUnavailable;
  return TAbsence::kNone;
}

// A number or a name, or the reason why there is none.
void TakeItem(const QByteArray& value, qsizetype max, QString& text, TAbsence& absent) {
  absent = AbsenceOf(value);
  text = absent == TAbsence::kNone ? Printable(value, max) : QString();
}

TAbsence AbsenceCode(int code) {
  if (code == 'P') return TAbsence::kWithheld;
  if (code == 'O') return TAbsence::kUnavailable;
  return TAbsence::kNone;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The bytes of a hexadecimal text (blanks between the digits allowed); nullopt when it
// is not one.
std::optional<QByteArray> FromHex(const QByteArray& text) {
  QByteArray digits;
  for (const char c : text) {
    if (c == ' ') continue;
    if (HexDigit(c) < 0) return std::nullopt;
    digits += c;
  }
  if (digits.size() % 2 != 0) return std::nullopt;
  QByteArray out;
  for (qsizetype i = 0; i < digits.size(); i += 2) {
    out += static_cast<char>(HexDigit(digits[i]) * 16 + HexDigit(digits[i + 1]));
  }
  return out;
}

// The absence reasons among the items of a MESG line; the other items are left alone.
void TakeMessage(const QByteArray& value, TCaller& caller) {
  const std::optional<QByteArray> bytes = FromHex(value);
  if (!bytes) return;
  for (qsizetype i = 0; i + 2 <= bytes->size();) {
    const int type = static_cast<unsigned char>(bytes->at(i));
    const qsizetype length = static_cast<unsigned char>(bytes->at(i + 1));
    if (i + 2 + length > bytes->size()) return;
    if (length == 1) {
      const TAbsence reason = AbsenceCode(static_cast<unsigned char>(bytes->at(i + 2)));
      if (type == kNumberAbsenceItem && reason != TAbsence::kNone) {
        caller.NumberAbsent = reason;
        caller.Number.clear();
      } else if (type == kNameAbsenceItem && reason != TAbsence::kNone) {
        caller.NameAbsent = reason;
        caller.Name.clear();
      }
    }
    i += 2 + length;
  }
}

QString AbsentNumberText(TAbsence reason) {
  switch (reason) {
    case TAbsence::kWithheld:
      return QStringLiteral("withheld number");
    case TAbsence::kUnavailable:
      return QStringLiteral("unavailable number");
    case TAbsence::kNone:
      break;
  }
  return QString();
}
}  // namespace

TCallerIdLine ParseCallerIdLine(QByteArrayView line) {
  TCallerIdLine parsed;
  const QByteArray text = TrimCodes(line.toByteArray());
  const qsizetype eq = text.indexOf('=');
  if (eq < 0) {
    if (IsRing(UpperAscii(text))) parsed.Kind = TCallerLine::kRing;
    return parsed;
  }
  const std::optional<TCallerLine> kind = TagKind(UpperAscii(TrimCodes(text.first(eq))));
  if (!kind) return parsed;
  parsed.Kind = *kind;
  parsed.Value = TrimCodes(text.sliced(eq + 1));
  return parsed;
}

QString TCaller::Memo() const {
  QString number = Number;
  if (number.isEmpty()) number = AbsentNumberText(NumberAbsent);
  if (number.isEmpty()) return Name;
  return Name.isEmpty() ? number : number + QLatin1Char(' ') + Name;
}

QString TCaller::Text() const {
  const QString memo = Memo();
  return memo.isEmpty() ? QStringLiteral("Incoming call") : QStringLiteral("Call from ") + memo;
}

bool TCallerId::BeginsNewCall(int64_t nowMs) const {
  // A clock that went back proves nothing about the call: it is taken for a new one, so
  // that no field of another call is shown as this one's.
  return !heard_ || ended_ || nowMs < ringingFromMs_ || nowMs - ringingFromMs_ > kRingingMs;
}

TCallerLine TCallerId::Take(QByteArrayView line, int64_t nowMs) {
  const TCallerIdLine parsed = ParseCallerIdLine(line);
  if (parsed.Kind == TCallerLine::kOther) return parsed.Kind;
  if (BeginsNewCall(nowMs)) {
    caller_ = TCaller{};
    rings_ = 0;
    ++calls_;
    rang_ = false;
    ended_ = false;
    blockOpen_ = false;
    ringingFromMs_ = nowMs;
  }
  heard_ = true;
  lastHeardMs_ = nowMs;
  if (parsed.Kind == TCallerLine::kRing) {
    rang_ = true;
    lastRingMs_ = nowMs;
    ringingFromMs_ = nowMs;
    blockOpen_ = false;
    ++rings_;
    return parsed.Kind;
  }
  if (!blockOpen_) {
    caller_ = TCaller{};  // the first item after a ring: the block before it is replaced
    blockOpen_ = true;
  }
  switch (parsed.Kind) {
    case TCallerLine::kDate:
      caller_.Date = Printable(parsed.Value, TCaller::kMaxNumber);
      break;
    case TCallerLine::kTime:
      caller_.Time = Printable(parsed.Value, TCaller::kMaxNumber);
      break;
    case TCallerLine::kNumber:
      TakeItem(parsed.Value, TCaller::kMaxNumber, caller_.Number, caller_.NumberAbsent);
      break;
    case TCallerLine::kName:
      TakeItem(parsed.Value, TCaller::kMaxName, caller_.Name, caller_.NameAbsent);
      break;
    case TCallerLine::kMessage:
      TakeMessage(parsed.Value, caller_);
      break;
    case TCallerLine::kRing:
    case TCallerLine::kOther:
      break;
  }
  return parsed.Kind;
}

bool TCallerId::RangWithin(int64_t nowMs, int64_t ms) const {
  return rang_ && nowMs - lastRingMs_ <= ms && nowMs >= lastRingMs_;
}

bool TCallerId::HeardWithin(int64_t nowMs, int64_t ms) const {
  return heard_ && nowMs - lastHeardMs_ <= ms && nowMs >= lastHeardMs_;
}
