#pragma once
// Pure parsing of the modem's answers to the range queries "at+vsm=?" (compression
// methods) and "at+vls=?" (line selection), and the commands made from them.
#include <QString>
#include <iterator>
#include <optional>

// One line of the "at+vsm=?" answer split into its fields; all texts.
struct TCapability {
  QString CapMethod;       // 1st value
  QString CapName;         // 2nd value, with its double quotes
  QString CapBits;         // 3rd value, empty when the modem gives none
  QString CapTiming;       // 4th value, empty when the modem gives none
  QString CapRate;         // the chosen sampling rate
  QString CapSilenceSens;  // the value after the rate list
  QString CapSilenceExp;   // the last value
  QChar CapSeparator;      // ',' or ';'
};

// Splits one line into `cap`. False (and `cap` untouched) when the line holds neither
// "," nor ";".
bool ParseCapabilityLine(const QString& line, TCapability& cap);

// "at+vsm=" followed by method, rate, silence sensitivity and silence expansion, each
// only when not empty, joined by the line's separator.
QString BuildCompressionCommand(const TCapability& cap);

// The sample coding stored for a parsed line ("UNSIGNED PCM" or "SIGNED PCM"), or
// nothing when the line is not an 8-bit method we can record.
std::optional<QString> CodingOf(const TCapability& cap);

// True when the chosen rate is a plain decimal number (a rate we can store).
bool RateIsDecimal(const TCapability& cap);

// One line of the "at+vls=?" answer: the selector number and the quoted line label.
struct TLineOffer {
  QString Number;  // text before the first ","
  QString Label;   // text between the first and the second ","
};
TLineOffer ParseLineOffer(const QString& line);

// The line types we store, in the order they are looked for.
inline constexpr const char* kLineTypes[] = {"T", "LT", "ST", "MST"};
inline constexpr int kLineTypeCount = static_cast<int>(std::size(kLineTypes));

// True when `label` names the line type `type` ("\"T\"" for "T", any case).
bool LabelIsLineType(const QString& label, const QString& type);
