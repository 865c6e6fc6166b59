#pragma once
// RFC 4180 read strictly, for checking what the CSV writer makes: records end in CRLF
// (the last one too), a field is either plain (no comma, quote, CR or LF) or quoted with
// its quotes doubled, the text is UTF-8, and nothing else passes.
#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

using TCsvRows = std::vector<std::vector<QString>>;

// Nothing for input that breaks a rule.
inline std::optional<TCsvRows> ReadStrictCsv(const QByteArray& bytes) {
  const QString text = QString::fromUtf8(bytes);
  if (text.toUtf8() != bytes) return std::nullopt;  // not UTF-8
  TCsvRows rows;
  std::vector<QString> row;
  QString field;
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n) {
    if (text[i] == u'"') {
      ++i;
      for (;;) {
        if (i >= n) return std::nullopt;  // an unclosed quote
        if (text[i] == u'"') {
          if (i + 1 < n && text[i + 1] == u'"') {
            field += u'"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += text[i++];
      }
    } else {
      while (i < n && text[i] != u',' && text[i] != u'\r') {
        if (text[i] == u'"' || text[i] == u'\n') return std::nullopt;
        field += text[i++];
      }
    }
    if (i < n && text[i] == u',') {
      row.push_back(field);
      field.clear();
      ++i;
      continue;
    }
    if (i + 1 < n && text[i] == u'\r' && text[i + 1] == u'\n') {
      row.push_back(field);
      field.clear();
      rows.push_back(row);
      row.clear();
      i += 2;
      continue;
    }
    return std::nullopt;  // a field not followed by a comma or CRLF
  }
  if (!row.empty() || !field.isEmpty()) return std::nullopt;  // no CRLF at the end
  return rows;
}
