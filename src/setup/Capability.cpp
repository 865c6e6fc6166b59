#include "setup/Capability.h"

#include "setup/ModemText.h"

namespace {
// The rates we know, in rising order of preference: the last one named in the list wins.
const char* const kKnownRates[] = {"4800", "7200", "9200", "8000", "11025"};

// Takes the text before the first separator and removes it and the separator from w.
// With no separator the result is empty and w stays as it is.
QString Split(QString& w, QChar sep) {
  const qsizetype at = w.indexOf(sep);
  if (at < 0) return QString();
  const QString head = w.left(at);
  w.remove(0, at + 1);
  return head;
}

// Silence values come as "(0)" or "(0-255)": drop the first brackets, keep the low end.
QString CleanSilence(QString v) {
  qsizetype at = v.indexOf(QLatin1Char('('));
  if (at >= 0) v.remove(at, 1);
  at = v.indexOf(QLatin1Char(')'));
  if (at >= 0) v.remove(at, 1);
  at = v.indexOf(QLatin1Char('-'));
  if (at >= 0) v = v.left(at);
  return v;
}
}  // namespace

bool ParseCapabilityLine(const QString& line, TCapability& cap) {
  QString w = line;
  QChar sep;
  if (w.contains(QLatin1Char(','))) {
    sep = QLatin1Char(',');
  } else if (w.contains(QLatin1Char(';'))) {
    sep = QLatin1Char(';');
  } else {
    return false;
  }
  cap.CapSeparator = sep;
  cap.CapMethod = Split(w, sep);
  cap.CapName = Split(w, sep);

  const qsizetype nextSep = w.indexOf(sep);
  const QString nextField = nextSep < 0 ? QString() : w.left(nextSep);
  if (nextField.contains(QLatin1Char('('))) {
    // A bracketed rate list follows at once: no width and timing values.
    cap.CapBits.clear();
    cap.CapTiming.clear();
  } else {
    cap.CapBits = Split(w, sep);
    cap.CapTiming = Split(w, sep);
  }

  QString list;
  const qsizetype close = w.indexOf(QLatin1Char(')'));
  if (close >= 0) {
    list = w.left(close + 1);
    w.remove(0, close + 2);
  } else {
    // Many current modems give one bare rate, as in 0,"SIGNED PCM",8,0,8000,0,0.
    list = Split(w, sep);
  }
  cap.CapRate = list;
  for (const char* rate : kKnownRates) {
    if (list.contains(QLatin1String(rate))) cap.CapRate = QLatin1String(rate);
  }

  cap.CapSilenceSens = CleanSilence(Split(w, sep));
  cap.CapSilenceExp = CleanSilence(w);
  return true;
}

QString BuildCompressionCommand(const TCapability& cap) {
  QString cmd = QStringLiteral("at+vsm=");
  for (const QString* part :
       {&cap.CapMethod, &cap.CapRate, &cap.CapSilenceSens, &cap.CapSilenceExp}) {
    if (part->isEmpty()) continue;
    cmd += *part;
    cmd += cap.CapSeparator;
  }
  if (!cap.CapSeparator.isNull() && cmd.endsWith(cap.CapSeparator)) cmd.chop(1);
  return cmd;
}

std::optional<QString> CodingOf(const TCapability& cap) {
  const QString name = UpperAscii(cap.CapName);
  const bool eightBit = TrimCodes(cap.CapBits) == QLatin1String("8") ||
                        name.contains(QLatin1String("8-BIT")) ||
                        name.contains(QLatin1String("8BIT"));
  if (!eightBit) return std::nullopt;
  // "UNSIGNED PCM" contains "SIGNED PCM": test it first.
  if (name.contains(QLatin1String("UNSIGNED PCM"))) return QStringLiteral("UNSIGNED PCM");
  if (name.contains(QLatin1String("SIGNED PCM"))) return QStringLiteral("SIGNED PCM");
  if (name.contains(QLatin1String("LINEAR"))) return QStringLiteral("UNSIGNED PCM");
  return std::nullopt;
}

bool RateIsDecimal(const TCapability& cap) {
  if (cap.CapRate.isEmpty()) return false;
  for (QChar c : cap.CapRate) {
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
  }
  bool ok = false;
  const int rate = cap.CapRate.toInt(&ok);
  return ok && rate > 0;
}

TLineOffer ParseLineOffer(const QString& line) {
  QString w = line;
  TLineOffer offer;
  const qsizetype first = w.indexOf(QLatin1Char(','));
  offer.Number = first < 0 ? QString() : w.left(first);
  if (first >= 0) w.remove(0, first + 1);
  const qsizetype second = w.indexOf(QLatin1Char(','));
  offer.Label = second < 0 ? QString() : w.left(second);
  return offer;
}

bool LabelIsLineType(const QString& label, const QString& type) {
  return UpperAscii(label) == QLatin1Char('"') + type + QLatin1Char('"');
}
