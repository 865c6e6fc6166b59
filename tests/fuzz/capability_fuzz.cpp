// The parsers of the modem's "at+vsm=?" and "at+vls=?" answer lines.
#include <cstdint>
#include <cstdlib>

#include "setup/Capability.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString line =
      QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  TCapability cap;
  cap.CapRate = QStringLiteral("untouched");
  if (ParseCapabilityLine(line, cap)) {
    const QString command = BuildCompressionCommand(cap);
    if (!command.startsWith(QStringLiteral("at+vsm="))) std::abort();
    CodingOf(cap);
    RateIsDecimal(cap);
  } else if (cap.CapRate != QStringLiteral("untouched")) {
    std::abort();  // a refused line leaves the capability as it was
  }
  const TLineOffer offer = ParseLineOffer(line);
  for (const char* type : kLineTypes) LabelIsLineType(offer.Label, QString::fromLatin1(type));
  return 0;
}
