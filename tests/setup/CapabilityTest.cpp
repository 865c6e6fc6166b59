// Parsing of the modem's "at+vsm=?" and "at+vls=?" answers and the commands made from them.
#include <gtest/gtest.h>

#include "setup/Capability.h"

namespace {
TCapability Parse(const QString& line) {
  TCapability cap;
  EXPECT_TRUE(ParseCapabilityLine(line, cap)) << line.toStdString();
  return cap;
}
}  // namespace

TEST(CapabilityLine, BracketedRateListWithWidthAndTiming) {
  const TCapability cap =
      Parse(QStringLiteral("128,\"8-BIT LINEAR\",8,0,(7200,8000,11025),(0),(0)"));
  EXPECT_EQ(cap.CapMethod, "128");
  EXPECT_EQ(cap.CapName, "\"8-BIT LINEAR\"");
  EXPECT_EQ(cap.CapBits, "8");
  EXPECT_EQ(cap.CapTiming, "0");
  EXPECT_EQ(cap.CapRate, "11025");
  EXPECT_EQ(cap.CapSilenceSens, "0");
  EXPECT_EQ(cap.CapSilenceExp, "0");
  EXPECT_EQ(BuildCompressionCommand(cap), "at+vsm=128,11025,0,0");
  EXPECT_EQ(CodingOf(cap), QStringLiteral("UNSIGNED PCM"));
}

TEST(CapabilityLine, RateListRightAfterTheNameHasNoWidth) {
  const TCapability cap = Parse(QStringLiteral("1,\"SIGNED PCM\",(7200,8000)"));
  EXPECT_EQ(cap.CapBits, "");
  EXPECT_EQ(cap.CapTiming, "");
  EXPECT_EQ(cap.CapRate, "8000");
  EXPECT_EQ(cap.CapSilenceSens, "");
  EXPECT_EQ(cap.CapSilenceExp, "");
  EXPECT_FALSE(CodingOf(cap).has_value());  // no width and no "8-BIT" in the name
  const TCapability three = Parse(QStringLiteral("128,\"8-BIT LINEAR\",(7200,8000,11025)"));
  EXPECT_EQ(BuildCompressionCommand(three), "at+vsm=128,11025");
}

TEST(CapabilityLine, BareRateOfCurrentUsbModems) {
  const TCapability cap = Parse(QStringLiteral("0,\"SIGNED PCM\",8,0,8000,0,0"));
  EXPECT_EQ(cap.CapRate, "8000");
  EXPECT_EQ(cap.CapSilenceSens, "0");
  EXPECT_EQ(cap.CapSilenceExp, "0");
  EXPECT_TRUE(RateIsDecimal(cap));
  EXPECT_EQ(BuildCompressionCommand(cap), "at+vsm=0,8000,0,0");
  EXPECT_EQ(CodingOf(cap), QStringLiteral("SIGNED PCM"));
}

TEST(CapabilityLine, RatePreferenceAndUnknownRates) {
  EXPECT_EQ(Parse(QStringLiteral("1,\"X\",8,0,(7200,9600),0,0")).CapRate, "7200");
  EXPECT_EQ(Parse(QStringLiteral("1,\"X\",8,0,(4800,9200),0,0")).CapRate, "9200");
  EXPECT_EQ(Parse(QStringLiteral("1,\"X\",8,0,(11025,4800,8000),0,0")).CapRate, "11025");
  const TCapability unknown = Parse(QStringLiteral("1,\"X\",8,0,(9600,16000),0,0"));
  EXPECT_EQ(unknown.CapRate, "(9600,16000)");
  EXPECT_FALSE(RateIsDecimal(unknown));
}

TEST(CapabilityLine, SilenceRangesKeepTheirLowEnd) {
  const TCapability cap = Parse(QStringLiteral("2,\"8BIT ULAW\",8,0,(8000),(0-255),(0-50)"));
  EXPECT_EQ(cap.CapSilenceSens, "0");
  EXPECT_EQ(cap.CapSilenceExp, "0");
}

TEST(CapabilityLine, SemicolonSeparator) {
  const TCapability cap = Parse(QStringLiteral("128;\"8-BIT LINEAR\";8;0;(7200;8000);(0);(0)"));
  EXPECT_EQ(cap.CapSeparator, QLatin1Char(';'));
  EXPECT_EQ(cap.CapRate, "8000");
  EXPECT_EQ(BuildCompressionCommand(cap), "at+vsm=128;8000;0;0");
}

TEST(CapabilityLine, LineWithoutSeparatorIsRejectedUntouched) {
  TCapability cap;
  cap.CapMethod = QStringLiteral("keep");
  EXPECT_FALSE(ParseCapabilityLine(QStringLiteral("at+vsm=?"), cap));
  EXPECT_FALSE(ParseCapabilityLine(QStringLiteral("OK"), cap));
  EXPECT_EQ(cap.CapMethod, "keep");
}

TEST(CapabilityLine, EmptyFieldsAreLeftOutOfTheCommand) {
  TCapability cap;
  cap.CapSeparator = QLatin1Char(',');
  cap.CapMethod = QStringLiteral("4");
  cap.CapRate = QStringLiteral("8000");
  EXPECT_EQ(BuildCompressionCommand(cap), "at+vsm=4,8000");
  cap.CapRate.clear();
  EXPECT_EQ(BuildCompressionCommand(cap), "at+vsm=4");
}

TEST(CapabilityCoding, WidthNameAndOrder) {
  TCapability cap;
  cap.CapBits = QStringLiteral(" 8 ");
  cap.CapName = QStringLiteral("\"unsigned pcm\"");
  EXPECT_EQ(CodingOf(cap), QStringLiteral("UNSIGNED PCM"));  // not taken as "SIGNED PCM"
  cap.CapName = QStringLiteral("\"IMA ADPCM\"");
  EXPECT_FALSE(CodingOf(cap).has_value());
  cap.CapBits = QStringLiteral("16");
  cap.CapName = QStringLiteral("\"16-BIT LINEAR\"");
  EXPECT_FALSE(CodingOf(cap).has_value());
  cap.CapBits.clear();
  cap.CapName = QStringLiteral("\"8BIT SIGNED PCM\"");
  EXPECT_EQ(CodingOf(cap), QStringLiteral("SIGNED PCM"));
}

TEST(LineOffer, NumberAndLabel) {
  const TLineOffer t = ParseLineOffer(QStringLiteral("1,\"T\",00000000,00000000,00000000"));
  EXPECT_EQ(t.Number, "1");
  EXPECT_TRUE(LabelIsLineType(t.Label, QStringLiteral("T")));
  EXPECT_FALSE(LabelIsLineType(t.Label, QStringLiteral("LT")));
  const TLineOffer blank = ParseLineOffer(QStringLiteral("0,\"\",00000000"));
  for (const char* type : kLineTypes)
    EXPECT_FALSE(LabelIsLineType(blank.Label, QLatin1String(type)));
  EXPECT_TRUE(
      LabelIsLineType(ParseLineOffer(QStringLiteral("7,\"mst\",0")).Label, QStringLiteral("MST")));
  // Fewer than two commas: no label.
  EXPECT_EQ(ParseLineOffer(QStringLiteral("1,\"T\"")).Label, "");
  EXPECT_EQ(ParseLineOffer(QStringLiteral("at+vls=?")).Number, "");
}
