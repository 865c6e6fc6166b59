#include "setup/IniFile.h"

#include <QByteArray>
#include <QStringList>
#include <optional>

#include "setup/PrivateFile.h"
#include "setup/Text8Bit.h"

namespace {
const QString kUnableToWrite = QStringLiteral("Unable to write to %1");

// One parsed copy of the file. Lines the store does not understand are kept as they are.
struct IniText {
  QStringList lines;
  QString eol = QStringLiteral("\n");
};

IniText Load(const QString& path) {
  IniText ini;
  const std::optional<QByteArray> bytes = ReadWholeFile(path, nullptr, nullptr);
  if (!bytes) {
    return ini;
  }
  const QString text = DecodeStoredText(*bytes);
  if (text.contains(QStringLiteral("\r\n"))) {
    ini.eol = QStringLiteral("\r\n");
  }
  QString line;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
      ini.lines << line;
      line.clear();
      if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) {
        ++i;
      }
    } else {
      line += c;
    }
  }
  if (!line.isEmpty()) {
    ini.lines << line;
  }
  return ini;
}

std::optional<QString> SectionName(const QString& line) {
  const QString t = line.trimmed();
  if (!t.startsWith(QLatin1Char('['))) {
    return std::nullopt;
  }
  const qsizetype close = t.indexOf(QLatin1Char(']'));
  if (close < 0) {
    return std::nullopt;
  }
  return t.mid(1, close - 1).trimmed();
}

// Key and value of an entry line; comment lines (';') and lines without '=' are none.
bool SplitEntry(const QString& line, QString* key, QString* value) {
  const QString t = line.trimmed();
  if (t.isEmpty() || t.startsWith(QLatin1Char(';'))) {
    return false;
  }
  const qsizetype eq = t.indexOf(QLatin1Char('='));
  if (eq <= 0) {
    return false;
  }
  if (key) {
    *key = t.left(eq).trimmed();
  }
  if (value) {
    *value = t.mid(eq + 1).trimmed();
  }
  return true;
}

bool SameName(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Walks the lines; calls `onEntry(lineIndex, key, value)` for every entry of a section
// named `section`, and records the last entry line of the first such section.
struct SectionScan {
  qsizetype firstSectionLine = -1;   // the header line of the first matching section
  qsizetype lastLineOfSection = -1;  // last non-blank line of that section
};

template <typename F>
SectionScan Scan(const IniText& ini, const QString& section, F onEntry) {
  SectionScan scan;
  bool inSection = false;
  bool inFirst = false;
  for (qsizetype i = 0; i < ini.lines.size(); ++i) {
    const QString& line = ini.lines[i];
    if (const auto name = SectionName(line)) {
      inSection = SameName(*name, section);
      inFirst = inSection && scan.firstSectionLine < 0;
      if (inFirst) {
        scan.firstSectionLine = i;
        scan.lastLineOfSection = i;
      }
      continue;
    }
    if (!inSection) {
      continue;
    }
    if (inFirst && !line.trimmed().isEmpty()) {
      scan.lastLineOfSection = i;
    }
    QString key, value;
    if (SplitEntry(line, &key, &value)) {
      if (!onEntry(i, key, value)) {
        break;
      }
    }
  }
  return scan;
}

std::optional<QString> Lookup(const QString& path, const QString& section, const QString& key) {
  const IniText ini = Load(path);
  std::optional<QString> found;
  Scan(ini, section, [&](qsizetype, const QString& k, const QString& v) {
    if (!SameName(k, key)) {
      return true;
    }
    found = v;
    return false;
  });
  return found;
}

std::optional<int32_t> ParseDecimal(const QString& text) {
  bool ok = false;
  const QString t = text.trimmed();
  if (t.isEmpty()) {
    return std::nullopt;
  }
  // Digits with an optional sign only: "0x10", "12abc" or blanks inside are not integers.
  for (qsizetype i = 0; i < t.size(); ++i) {
    const QChar c = t[i];
    const bool sign = i == 0 && (c == QLatin1Char('-') || c == QLatin1Char('+'));
    if (!sign && (c < QLatin1Char('0') || c > QLatin1Char('9'))) {
      return std::nullopt;
    }
  }
  const int v = t.toInt(&ok, 10);
  if (!ok) {
    return std::nullopt;
  }
  return static_cast<int32_t>(v);
}

QString OneLine(QString value) {
  value.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
  return value;
}
}  // namespace

EIniWriteError::EIniWriteError(const QString& path)
    : std::runtime_error(kUnableToWrite.arg(path).toStdString()) {}

TIniFile::TIniFile(QString path) : path_(std::move(path)) {}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
  return Lookup(path_, section, key).value_or(def);
}

int32_t TIniFile::ReadInteger(const QString& section, const QString& key, int32_t def) const {
  const std::optional<QString> text = Lookup(path_, section, key);
  if (!text) {
    return def;
  }
  return ParseDecimal(*text).value_or(def);
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
  IniText ini = Load(path_);
  const QString v = OneLine(value);
  bool replaced = false;
  const SectionScan scan = Scan(ini, section, [&](qsizetype i, const QString& k, const QString&) {
    if (!SameName(k, key)) {
      return true;
    }
    ini.lines[i] = k + QLatin1Char('=') + v;  // the key keeps its stored spelling
    replaced = true;
    return false;
  });
  if (!replaced) {
    const QString entry = key + QLatin1Char('=') + v;
    if (scan.firstSectionLine >= 0) {
      ini.lines.insert(scan.lastLineOfSection + 1, entry);
    } else {
      while (!ini.lines.isEmpty() && ini.lines.last().trimmed().isEmpty()) {
        ini.lines.removeLast();
      }
      if (!ini.lines.isEmpty()) {
        ini.lines << QString();
      }
      ini.lines << QLatin1Char('[') + section + QLatin1Char(']') << entry;
    }
  }
  QString text;
  for (const QString& line : ini.lines) {
    text += line + ini.eol;
  }
  if (WriteFileAtomically(path_, text.toUtf8())) {
    throw EIniWriteError(path_);
  }
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int32_t value) {
  WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
  WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}
