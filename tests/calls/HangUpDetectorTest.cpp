// The end of a call told from the bytes of a voice reception, however they are cut.
#include <gtest/gtest.h>

#include <QByteArray>

#include "calls/HangUpDetector.h"

namespace {
const QByteArray kDle(1, '\x10');

QByteArray Loud(int n) {
  QByteArray a;
  for (int i = 0; i < n; ++i) a += static_cast<char>(i % 2 ? 0x20 : 0xe0);
  return a;
}

// The end found when the bytes come in pieces of `piece` bytes.
TLineEnd FeedInPieces(const QByteArray& bytes, int piece, int64_t silent = 100,
                      bool isSigned = false, int64_t* after = nullptr) {
  THangUpDetector d;
  d.Start(silent, isSigned);
  for (qsizetype i = 0; i < bytes.size(); i += piece)
    d.Feed(QByteArrayView(bytes).sliced(i, std::min<qsizetype>(piece, bytes.size() - i)));
  if (after) *after = d.FoundAfter();
  return d.Found();
}
}  // namespace

TEST(HangUpDetector, BusyDialToneAndLoopBreakCodesEndTheCallInAnyChunking) {
  const std::pair<char, TLineEnd> codes[] = {{'b', TLineEnd::kBusyTone},
                                             {'d', TLineEnd::kDialTone},
                                             {'l', TLineEnd::kLoopBreak},
                                             {'\x03', TLineEnd::kStreamEnd}};
  for (const auto& [code, end] : codes) {
    const QByteArray bytes = Loud(50) + kDle + code + Loud(50);
    for (int piece : {1, 2, 3, 51, 52, 1000}) {
      int64_t after = 0;
      EXPECT_EQ(FeedInPieces(bytes, piece, 100, false, &after), end) << code << " " << piece;
      EXPECT_EQ(after, 52) << piece;  // the byte that completed the code
    }
  }
}

TEST(HangUpDetector, ADoubledDleIsAData0x10AndOtherCodesEndNothing) {
  // <DLE><DLE> then "d": the "d" is a sample, not a code; a DLE cut from its pair by the
  // chunk boundary is still a pair.
  const QByteArray doubled = Loud(10) + kDle + kDle + "d" + kDle + kDle + kDle + kDle + "b";
  for (int piece : {1, 2, 11, 12, 13, 100}) {
    EXPECT_EQ(FeedInPieces(doubled, piece), TLineEnd::kNone) << piece;
  }
  for (char code : {'s', 'q', 'h', 'H', 'R', '!', '/', '~', '0', 'D', 'B'}) {
    EXPECT_EQ(FeedInPieces(Loud(5) + kDle + code + Loud(5), 1), TLineEnd::kNone) << code;
  }
  // Three DLEs and a "d": a data 0x10, then the code.
  EXPECT_EQ(FeedInPieces(kDle + kDle + kDle + "d", 1), TLineEnd::kDialTone);
}

TEST(HangUpDetector, SilenceIsARunOfSamplesWithinTwoOfTheZeroLevel) {
  QByteArray quiet;
  for (int i = 0; i < 100; ++i) quiet += static_cast<char>(126 + i % 5);  // 126..130
  int64_t after = 0;
  EXPECT_EQ(FeedInPieces(Loud(7) + quiet + Loud(3), 9, 100, false, &after), TLineEnd::kSilence);
  EXPECT_EQ(after, 107);
  EXPECT_EQ(FeedInPieces(Loud(7) + quiet.left(99) + Loud(3), 9), TLineEnd::kNone);
  // 125 and 131 are sound: the run starts again.
  for (char loud : {'\x7d', '\x83'}) {
    EXPECT_EQ(FeedInPieces(quiet.left(60) + loud + quiet.left(60), 7), TLineEnd::kNone) << loud;
  }
  // Codes within the silence neither break nor count as samples.
  EXPECT_EQ(FeedInPieces(quiet.left(50) + kDle + "s" + quiet.left(49), 4), TLineEnd::kNone);
  EXPECT_EQ(FeedInPieces(quiet.left(50) + kDle + "s" + quiet.left(50), 4), TLineEnd::kSilence);
  // A data byte 0x10 is far from the zero level.
  EXPECT_EQ(FeedInPieces(quiet.left(50) + kDle + kDle + quiet.left(50), 4), TLineEnd::kNone);
}

TEST(HangUpDetector, SignedSamplesAreJudgedAfterConversion) {
  QByteArray quietSigned;
  for (int i = 0; i < 100; ++i) quietSigned += static_cast<char>((254 + i % 5) & 0xff);  // -2..2
  EXPECT_EQ(FeedInPieces(quietSigned, 10, 100, true), TLineEnd::kSilence);
  EXPECT_EQ(FeedInPieces(quietSigned, 10, 100, false), TLineEnd::kNone);
  EXPECT_EQ(FeedInPieces(QByteArray(100, '\x80'), 10, 100, true), TLineEnd::kNone);
}

TEST(HangUpDetector, TheFirstEndStaysAndStartBeginsAfresh) {
  THangUpDetector d;
  d.Start(3, false);
  EXPECT_EQ(d.Feed(kDle + "b" + kDle + "d"), TLineEnd::kBusyTone);
  EXPECT_EQ(d.Feed(kDle + "l"), TLineEnd::kBusyTone);
  EXPECT_EQ(d.FoundAfter(), 2);
  d.Start(0, false);  // at least one sample
  EXPECT_EQ(d.Found(), TLineEnd::kNone);
  EXPECT_EQ(d.Feed(kDle), TLineEnd::kNone);
  d.Start(1, false);  // a DLE left pending by the last reception is forgotten
  EXPECT_EQ(d.Feed("d"), TLineEnd::kNone);
  EXPECT_EQ(d.Feed(QByteArray(1, '\x80')), TLineEnd::kSilence);
}
