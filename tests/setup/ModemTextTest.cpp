// Answer text rules and the roundings used by the windows and the link.
#include <gtest/gtest.h>

#include "setup/ModemText.h"

TEST(ModemText, TrimsCodesUpTo32Only) {
  EXPECT_EQ(TrimCodes(QByteArray("\r\n\0\x1f OK \t\r\n", 11)), QByteArray("OK"));
  EXPECT_EQ(TrimCodes(QByteArray("\r\n")), QByteArray());
  EXPECT_EQ(TrimCodes(QByteArray("\x7f"
                                 "A\x7f")),
            QByteArray("\x7f"
                       "A\x7f"));
  EXPECT_EQ(TrimCodes(QStringLiteral(" a b ")), QStringLiteral("a b"));
}

TEST(ModemText, UpperCasesLettersAToZOnly) {
  EXPECT_EQ(UpperAscii(QByteArray("ok vcon\xe9")), QByteArray("OK VCON\xe9"));
  EXPECT_EQ(UpperAscii(QStringLiteral("\"t\"")), QStringLiteral("\"T\""));
}

TEST(ModemText, RoundingHalvesToEven) {
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(1.5), 2);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(2.6), 3);
  const int scan[] = {12, 25, 38, 50, 62, 75, 88, 100};
  for (int n = 1; n <= 8; ++n) EXPECT_EQ(StepPercent(n, 8), scan[n - 1]) << n;
  EXPECT_EQ(StepPercent(1, 14), 7);
  EXPECT_EQ(StepPercent(14, 14), 100);
  EXPECT_EQ(StepPercent(1, 29), 3);
  EXPECT_EQ(StepPercent(15, 29), 52);
}

TEST(ModemText, TimeoutLimit) {
  EXPECT_EQ(TimeoutLimit(115200, 500), 500.0f);
  EXPECT_EQ(TimeoutLimit(57600, 500), 1000.0f);
  EXPECT_EQ(TimeoutLimit(115200, 0), 0.0f);
  // 115200 / 230400 = 0.5 per factor unit: halves go to even.
  EXPECT_EQ(TimeoutLimit(230400, 1), 0.0f);
  EXPECT_EQ(TimeoutLimit(230400, 3), 2.0f);
  EXPECT_EQ(TimeoutLimit(230400, 5), 2.0f);
  // No rate known: the limit stays finite instead of dividing by zero.
  EXPECT_EQ(TimeoutLimit(0, 500), 500.0f);
}

TEST(ModemText, MemoLinesSplitAtEveryBreak) {
  EXPECT_EQ(MemoLines(QStringLiteral("OK\r\n")), QStringList({"OK", ""}));
  EXPECT_EQ(MemoLines(QStringLiteral("\r\nOK\r\n")), QStringList({"", "OK", ""}));
  EXPECT_EQ(MemoLines(QStringLiteral("a\rb\nc")), QStringList({"a", "b", "c"}));
  EXPECT_EQ(MemoLines(QString()), QStringList({""}));
}
