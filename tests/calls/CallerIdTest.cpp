// The caller ID lines as modems send them, and the call they make up.
#include <gtest/gtest.h>

#include "calls/CallerId.h"

namespace {
TCallerIdLine P(const char* line) {
  return ParseCallerIdLine(QByteArrayView(line));
}
}  // namespace

TEST(CallerIdLine, TagsWithOrWithoutBlanksAroundTheEqualsSign) {
  struct Case {
    const char* line;
    TCallerLine kind;
    const char* value;
  };
  const Case cases[] = {
      {"DATE = 1208", TCallerLine::kDate, "1208"},
      {"DATE=1208", TCallerLine::kDate, "1208"},
      {"TIME =0930", TCallerLine::kTime, "0930"},
      {"TIME= 0930", TCallerLine::kTime, "0930"},
      {"NMBR = 5551234", TCallerLine::kNumber, "5551234"},
      {"  NMBR\t=\t5551234  ", TCallerLine::kNumber, "5551234"},
      {"nmbr=5551234", TCallerLine::kNumber, "5551234"},
      {"DDN_NMBR= 0123456789", TCallerLine::kNumber, "0123456789"},
      {"NAME = JOHN DOE", TCallerLine::kName, "JOHN DOE"},
      {"NAME=JOHN = DOE", TCallerLine::kName, "JOHN = DOE"},  // the first "=" parts
      {"NMBR = P", TCallerLine::kNumber, "P"},
      {"NAME = O", TCallerLine::kName, "O"},
      {"MESG = 040150", TCallerLine::kMessage, "040150"},
      {"NMBR =", TCallerLine::kNumber, ""},
  };
  for (const Case& c : cases) {
    const TCallerIdLine parsed = P(c.line);
    EXPECT_EQ(parsed.Kind, c.kind) << c.line;
    EXPECT_EQ(parsed.Value, QByteArray(c.value)) << c.line;
  }
}

TEST(CallerIdLine, RingAloneOrWithADistinctiveRingPattern) {
  for (const char* ring : {"RING", "ring", " RING\r", "RING 1", "RING A"}) {
    EXPECT_EQ(P(ring).Kind, TCallerLine::kRing) << ring;
    EXPECT_TRUE(P(ring).Value.isEmpty());
  }
  for (const char* other :
       {"RINGING", "RINGBACK", "OK", "ERROR", "NO CARRIER", "", "NMBR", "NMBR 5551234",
        "CALLER = 5551234", "= 5551234", "ATE0", "at+vcid=1", "RING = 5"}) {
    EXPECT_EQ(P(other).Kind, TCallerLine::kOther) << other;
  }
}

TEST(CallerId, ACallFromRingsAndItems) {
  TCallerId id;
  EXPECT_FALSE(id.Ringing(0));
  EXPECT_EQ(id.Take("RING", 1000), TCallerLine::kRing);
  EXPECT_EQ(id.Caller().Text(), "Incoming call");
  EXPECT_EQ(id.Caller().Memo(), "");
  EXPECT_EQ(id.Take("", 1100), TCallerLine::kOther);
  id.Take("DATE = 1208", 2000);
  id.Take("TIME = 0930", 2000);
  id.Take("NMBR = 5551234", 2000);
  EXPECT_EQ(id.Caller().Text(), "Call from 5551234");
  id.Take("NAME = JOHN DOE", 2000);
  id.Take("RING", 7000);
  EXPECT_EQ(id.Caller().Text(), "Call from 5551234 JOHN DOE");
  EXPECT_EQ(id.Caller().Memo(), "5551234 JOHN DOE");
  EXPECT_EQ(id.Caller().Date, "1208");
  EXPECT_EQ(id.Caller().Time, "0930");
  EXPECT_EQ(id.Rings(), 2);
  EXPECT_EQ(id.Calls(), 1);
  EXPECT_TRUE(id.Ringing(7000 + TCallerId::kRingingMs));
  EXPECT_FALSE(id.Ringing(7001 + TCallerId::kRingingMs));
  EXPECT_TRUE(id.RangWithin(67000, 60000));
  EXPECT_FALSE(id.RangWithin(67001, 60000));
  EXPECT_FALSE(id.RangWithin(6999, 60000));  // a clock that went back proves nothing
}

TEST(CallerId, ALongQuietEndsTheCallAndTheNextOneStartsAfresh) {
  TCallerId id;
  id.Take("RING", 0);
  id.Take("NMBR = 5551234", 500);
  id.Take("NAME = JOHN DOE", 500);
  // A ring or two missed while the program talked to the modem: still the same call.
  id.Take("RING", 500 + TCallerId::kNewCallMs);
  EXPECT_EQ(id.Caller().Memo(), "5551234 JOHN DOE");
  EXPECT_EQ(id.Calls(), 1);
  id.Take("RING", 501 + 2 * TCallerId::kNewCallMs);
  EXPECT_EQ(id.Caller().Text(), "Incoming call");
  EXPECT_EQ(id.Rings(), 1);
  EXPECT_EQ(id.Calls(), 2);
  // Where the caller ID comes before the first ring, it belongs to the new call too.
  id.Take("NMBR=0123", 2 + 4 * TCallerId::kNewCallMs);
  id.Take("RING", 3 + 4 * TCallerId::kNewCallMs);
  EXPECT_EQ(id.Caller().Memo(), "0123");
  EXPECT_EQ(id.Calls(), 3);
  EXPECT_TRUE(id.HeardWithin(3 + 4 * TCallerId::kNewCallMs, 0));
}

TEST(CallerId, WithheldAndUnavailableNumbersAndNames) {
  struct Case {
    std::vector<const char*> lines;
    const char* text;
    TAbsence number;
  };
  const Case cases[] = {
      {{"NMBR = P"}, "Call from withheld number", TAbsence::kWithheld},
      {{"NMBR = PRIVATE", "NAME = P"}, "Call from withheld number", TAbsence::kWithheld},
      {{"NMBR = O", "NAME = O"}, "Call from unavailable number", TAbsence::kUnavailable},
      {{"NMBR = out of area"}, "Call from unavailable number", TAbsence::kUnavailable},
      {{"NMBR = O", "NAME = JOHN DOE"},
       "Call from unavailable number JOHN DOE",
       TAbsence::kUnavailable},
      {{"NAME = JOHN DOE"}, "Call from JOHN DOE", TAbsence::kNone},
      // The items a modem did not decode, in hexadecimal: type 04, length 01, "P".
      {{"MESG = 040150"}, "Call from withheld number", TAbsence::kWithheld},
      {{"MESG = 04 01 4F 08 01 50"}, "Call from unavailable number", TAbsence::kUnavailable},
      {{"NAME = JOHN DOE", "MESG = 080150", "NMBR = 5551234"},
       "Call from 5551234",
       TAbsence::kNone},
      // Unknown items, a length past the end, and what is no hexadecimal leave all alone.
      {{"NMBR = 5551234", "MESG = 0701500401"}, "Call from 5551234", TAbsence::kNone},
      {{"NMBR = 5551234", "MESG = 04015"}, "Call from 5551234", TAbsence::kNone},
      {{"NMBR = 5551234", "MESG = 0401PX"}, "Call from 5551234", TAbsence::kNone},
      {{"NMBR = 5551234", "MESG ="}, "Call from 5551234", TAbsence::kNone},
  };
  for (const Case& c : cases) {
    TCallerId id;
    id.Take("RING", 0);
    for (const char* line : c.lines) id.Take(line, 10);
    EXPECT_EQ(id.Caller().Text(), c.text) << c.lines.front();
    EXPECT_EQ(id.Caller().NumberAbsent, c.number) << c.lines.front();
  }
  TCallerId id;
  id.Take("NMBR = P", 0);
  id.Take("NMBR = 5551234", 0);  // a later number line replaces the reason
  EXPECT_EQ(id.Caller().NumberAbsent, TAbsence::kNone);
  EXPECT_EQ(id.Caller().Memo(), "5551234");
}

TEST(CallerId, ControlCharactersAreDroppedAndLongValuesCut) {
  TCallerId id;
  id.Take(QByteArray("NAME = JO\x07HN\x7f DOE\x1b"), 0);
  EXPECT_EQ(id.Caller().Name, "JOHN DOE");
  id.Take("NMBR = " + QByteArray(100, '7'), 0);
  EXPECT_EQ(id.Caller().Number, QString(TCaller::kMaxNumber, QLatin1Char('7')));
  id.Take("NAME = " + QByteArray(200, 'A'), 0);
  EXPECT_EQ(id.Caller().Name.size(), TCaller::kMaxName);
  // Eight-bit names as the modem sent them.
  id.Take(QByteArray("NAME = J\xd6RG"), 0);
  EXPECT_EQ(id.Caller().Name, QString::fromLatin1("J\xd6RG"));
}
