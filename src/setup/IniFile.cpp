#include "setup/IniFile.h"

#include <sys/stat.h>

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <optional>
#include <vector>

#include "setup/PrivateFile.h"
#include "setup/Text8Bit.h"

namespace {
const QString kUnableToWrite = QStringLiteral("Unable to write to %1");
const QString kUnableToRead = QStringLiteral("Unable to read %1: %2");
const QByteArray kLf = QByteArrayLiteral("\n");
const QByteArray kCrLf = QByteArrayLiteral("\r\n");

// One line of the file: its text, and the bytes it was read from with their line end.
struct IniLine {
  QString text;
  QByteArray raw;  // empty for a line this write made (it is stored as UTF-8)
  QByteArray end;  // "\n", "\r\n", "\r", or empty for a last line without one
  bool changed = false;
};

// One parsed copy of the file. Lines the store does not understand are kept as they are.
struct IniText {
  std::vector<IniLine> lines;
  QByteArray eol = kLf;  // for lines this write makes
};

IniText Load(const QString& path) {
  IniText ini;
  QString error;
  bool missing = false;
  const std::optional<QByteArray> bytes = ReadWholeFile(path, &error, &missing);
  if (!bytes) {
    if (missing) {
      return ini;
    }
    throw EIniReadError(path, error);
  }
  if (bytes->contains(kCrLf)) {
    ini.eol = kCrLf;
  }
  qsizetype start = 0;
  const qsizetype n = bytes->size();
  while (start < n) {
    qsizetype i = start;
    while (i < n && bytes->at(i) != '\r' && bytes->at(i) != '\n') {
      ++i;
    }
    IniLine line;
    line.raw = bytes->mid(start, i - start);
    line.text = DecodeStoredText(line.raw);
    const qsizetype endLength = i >= n ? 0
                                : (bytes->at(i) == '\r' && i + 1 < n && bytes->at(i + 1) == '\n')
                                    ? 2
                                    : 1;
    line.end = bytes->mid(i, endLength);
    ini.lines.push_back(std::move(line));
    start = i + endLength;
  }
  return ini;
}

QByteArray Serialize(const IniText& ini) {
  QByteArray out;
  for (size_t i = 0; i < ini.lines.size(); ++i) {
    const IniLine& line = ini.lines[i];
    out += line.changed ? line.text.toUtf8() : line.raw;
    // A last line without a line end gets one only when lines follow it.
    out += line.end.isEmpty() && (line.changed || i + 1 < ini.lines.size()) ? ini.eol : line.end;
  }
  return out;
}

IniLine NewLine(const QString& text) {
  IniLine line;
  line.text = text;
  line.changed = true;
  return line;
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
  for (qsizetype i = 0; i < static_cast<qsizetype>(ini.lines.size()); ++i) {
    const QString& line = ini.lines[static_cast<size_t>(i)].text;
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
    : EIniError(kUnableToWrite.arg(path).toStdString()) {}

EIniReadError::EIniReadError(const QString& path, const QString& reason)
    : EIniError(kUnableToRead.arg(path, reason).toStdString()) {}

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
    IniLine& line = ini.lines[static_cast<size_t>(i)];
    line.text = k + QLatin1Char('=') + v;  // the key keeps its stored spelling
    line.changed = true;
    replaced = true;
    return false;
  });
  if (!replaced) {
    const QString entry = key + QLatin1Char('=') + v;
    if (scan.firstSectionLine >= 0) {
      ini.lines.insert(ini.lines.begin() + scan.lastLineOfSection + 1, NewLine(entry));
    } else {
      while (!ini.lines.empty() && ini.lines.back().text.trimmed().isEmpty()) {
        ini.lines.pop_back();
      }
      if (!ini.lines.empty()) {
        ini.lines.push_back(NewLine(QString()));
      }
      ini.lines.push_back(NewLine(QLatin1Char('[') + section + QLatin1Char(']')));
      ini.lines.push_back(NewLine(entry));
    }
  }
  // A file the user made read-only is not replaced, whoever runs the program.
  struct stat st {};
  if (::stat(QFile::encodeName(path_).constData(), &st) == 0 && (st.st_mode & 0222) == 0) {
    throw EIniWriteError(path_);
  }
  if (WriteFileAtomically(path_, Serialize(ini))) {
    throw EIniWriteError(path_);
  }
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int32_t value) {
  WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
  WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}
