#include "setup/SliderValue.h"

QString StoredSliderText(const QString& command) {
  const qsizetype at = command.indexOf(QLatin1Char('='));
  return at < 0 ? command : command.mid(at + 1);
}

std::optional<int> StoredSliderValue(const QString& command) {
  const QString text = StoredSliderText(command);
  if (text.isEmpty()) return std::nullopt;
  for (QChar c : text) {
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
  }
  bool ok = false;
  const int value = text.toInt(&ok);
  if (!ok || value < kSliderMin || value > kSliderMax) return std::nullopt;
  return value;
}
