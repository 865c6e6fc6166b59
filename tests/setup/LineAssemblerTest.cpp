// Whole lines out of received pieces: the line ends modems use, empty lines, and the
// same lines however the bytes were cut.
#include <gtest/gtest.h>

#include "setup/LineAssembler.h"

namespace {
using Lines = QList<QByteArray>;

// The lines of `text` fed in pieces cut at the given positions, then the flushed tail.
Lines FeedCut(const QByteArray& text, const std::vector<qsizetype>& cuts) {
  TLineAssembler a;
  Lines out;
  qsizetype from = 0;
  for (qsizetype cut : cuts) {
    out += a.Feed(QByteArrayView(text).sliced(from, cut - from));
    from = cut;
  }
  out += a.Feed(QByteArrayView(text).sliced(from));
  if (const auto tail = a.Flush()) out.append(*tail);
  return out;
}

Lines FeedWhole(const QByteArray& text) {
  return FeedCut(text, {});
}

// Every framing seen on modems in one answer: CR LF, LF CR, lone CR and LF, the ESS
// framing, empty lines before the result, and a last line without its end.
const QByteArray kMixed =
    "\r\n0,\"\",0\r\n1,\"T\",0\n\r3,\"LT\",0\r5,\"ST\",0\n\n\r\n\r\nOK\r\n\n\r\nOK\r128,\"8-BIT";
}  // namespace

TEST(LineAssembler, EachKindOfLineEndEndsOneLine) {
  EXPECT_EQ(FeedWhole("a\rb\nc\r\nd\n\re"), Lines({"a", "b", "c", "d", "e"}));
  TLineAssembler a;
  EXPECT_EQ(a.Feed("OK\r\n"), Lines({"OK"}));
  EXPECT_EQ(a.Partial(), QByteArray());
  EXPECT_EQ(a.Feed("ERR"), Lines());
  EXPECT_EQ(a.Partial(), QByteArray("ERR"));
  EXPECT_EQ(a.Feed("OR\r"), Lines({"ERROR"}));
}

TEST(LineAssembler, EmptyLinesAreKept) {
  EXPECT_EQ(FeedWhole("\r\nOK\r\n"), Lines({"", "OK"}));
  EXPECT_EQ(FeedWhole("\r\n\r\n"), Lines({"", ""}));
  EXPECT_EQ(FeedWhole("\r\r"), Lines({"", ""}));
  EXPECT_EQ(FeedWhole("\n\n"), Lines({"", ""}));
  EXPECT_EQ(FeedWhole("A\r\n\r\n\r\nOK\r\n"), Lines({"A", "", "", "OK"}));
  // The ESS framing: <LF><CR><LF> before the text, <CR> after it.
  EXPECT_EQ(FeedWhole("\n\r\nOK\r"), Lines({"", "", "OK"}));
  EXPECT_EQ(FeedWhole(""), Lines());
}

TEST(LineAssembler, APairOfBreaksSplitBetweenPiecesIsStillOneBreak) {
  TLineAssembler a;
  EXPECT_EQ(a.Feed("OK\r"), Lines({"OK"}));
  EXPECT_EQ(a.Feed("\n"), Lines());
  EXPECT_EQ(a.Feed("\n"), Lines({""}));  // a second LF is a break of its own
  EXPECT_EQ(a.Feed("\r"), Lines());      // ...paired with this CR
  EXPECT_EQ(a.Feed("A\n"), Lines({"A"}));
}

TEST(LineAssembler, LinesDoNotDependOnWhereTheBytesWereCut) {
  const Lines whole = FeedWhole(kMixed);
  EXPECT_EQ(whole, Lines({"", "0,\"\",0", "1,\"T\",0", "3,\"LT\",0", "5,\"ST\",0", "", "", "", "OK",
                          "", "", "OK", "128,\"8-BIT"}));
  for (qsizetype i = 0; i <= kMixed.size(); ++i) {
    EXPECT_EQ(FeedCut(kMixed, {i}), whole) << "cut at " << i;
    for (qsizetype j = i; j <= kMixed.size(); j += 3) {
      EXPECT_EQ(FeedCut(kMixed, {i, j}), whole) << "cuts at " << i << " and " << j;
    }
  }
  std::vector<qsizetype> everyByte;
  for (qsizetype i = 1; i < kMixed.size(); ++i) everyByte.push_back(i);
  EXPECT_EQ(FeedCut(kMixed, everyByte), whole);
}

TEST(LineAssembler, FlushGivesTheHeldTailOnceAndStartsAfresh) {
  TLineAssembler a;
  EXPECT_EQ(a.Flush(), std::nullopt);
  a.Feed("1,\"T\",0\r\n7,\"MS");
  EXPECT_EQ(a.Flush(), QByteArray("7,\"MS"));
  EXPECT_EQ(a.Flush(), std::nullopt);
  EXPECT_EQ(a.Feed("T\"\r\n"), Lines({"T\""}));
  // A break right before the flush does not pair with the first byte after it.
  a.Feed("OK\r");
  EXPECT_EQ(a.Flush(), std::nullopt);
  EXPECT_EQ(a.Feed("\nA\r"), Lines({"", "A"}));
  a.Feed("partial");
  a.Reset();
  EXPECT_EQ(a.Partial(), QByteArray());
  EXPECT_EQ(a.Feed("\r"), Lines({""}));
}

TEST(LineAssembler, OverlongLineIsCutTheSameWayInAnyPieces) {
  const QByteArray text = QByteArray(TLineAssembler::kMaxLineBytes * 2 + 5, 'x') + "\r\nOK\r\n";
  const Lines whole = FeedWhole(text);
  ASSERT_EQ(whole.size(), 4);
  EXPECT_EQ(whole[0].size(), TLineAssembler::kMaxLineBytes);
  EXPECT_EQ(whole[1].size(), TLineAssembler::kMaxLineBytes);
  EXPECT_EQ(whole[2], QByteArray(5, 'x'));
  EXPECT_EQ(whole[3], QByteArray("OK"));
  EXPECT_EQ(FeedCut(text, {1, 100, TLineAssembler::kMaxLineBytes, text.size() - 3}), whole);
  // Exactly the longest line, then its end: not cut.
  const QByteArray exact = QByteArray(TLineAssembler::kMaxLineBytes, 'y') + "\r";
  EXPECT_EQ(FeedWhole(exact), Lines({QByteArray(TLineAssembler::kMaxLineBytes, 'y')}));
}

TEST(LineAssembler, BytesAreKeptAsTheyCame) {
  const QByteArray odd("a\0b\x7f\xff", 5);
  EXPECT_EQ(FeedWhole(odd + "\r\n"), Lines({odd}));
}
