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

TEST(CallerId, AQuietOfMoreThanARingsGapEndsTheCallAndTheNextOneStartsAfresh) {
  constexpr int64_t kGap = TCallerId::kRingingMs;
  TCallerId id;
  id.Take("RING", 0);
  id.Take("DATE = 1208", 500);
  id.Take("NMBR = 5551234", 500);
  id.Take("NAME = ALICE SMITH", 500);
  // The next ring of a cadence, however slow: still the same call.
  id.Take("RING", kGap);
  EXPECT_EQ(id.Caller().Memo(), "5551234 ALICE SMITH");
  EXPECT_EQ(id.Calls(), 1);
  EXPECT_EQ(id.Rings(), 2);
  // A withheld number a little longer after the last ring: another call, and nothing of
  // the first survives into it (no name, no date).
  id.Take("RING", 2 * kGap + 1);
  EXPECT_EQ(id.Calls(), 2);
  EXPECT_EQ(id.Caller().Text(), "Incoming call");
  id.Take("NMBR = P", 2 * kGap + 500);
  EXPECT_EQ(id.Caller().Memo(), "withheld number");
  EXPECT_EQ(id.Caller().Date, "");
  EXPECT_EQ(id.Rings(), 1);
  // Where the caller ID comes before the first ring, it begins the call, and the ring
  // right after it is that call's.
  id.Take("NMBR=0123", 4 * kGap);
  id.Take("RING", 4 * kGap + 300);
  EXPECT_EQ(id.Caller().Memo(), "0123");
  EXPECT_EQ(id.Calls(), 3);
  EXPECT_EQ(id.Rings(), 1);
  EXPECT_TRUE(id.HeardWithin(4 * kGap + 300, 0));
  // A clock that went back is no proof of the same call.
  id.Take("RING", 4 * kGap);
  EXPECT_EQ(id.Calls(), 4);
  EXPECT_EQ(id.Caller().Memo(), "");
}

TEST(CallerId, TheFirstLineAfterARecordingEndedBeginsANewCall) {
  TCallerId id;
  id.Take("RING", 0);
  id.Take("NMBR = 5551234", 400);
  id.Take("NAME = JOHN DOE", 400);
  EXPECT_FALSE(id.Ended());
  id.EndCall();  // the call was recorded; the recording has ended
  EXPECT_TRUE(id.Ended());
  EXPECT_EQ(id.Caller().Memo(), "5551234 JOHN DOE");  // still what that call was
  // A withheld number a second later is another call, with no earlier name.
  id.Take("RING", 1000);
  EXPECT_FALSE(id.Ended());
  EXPECT_EQ(id.Calls(), 2);
  id.Take("NMBR = P", 1400);
  EXPECT_EQ(id.Caller().Text(), "Call from withheld number");
  EXPECT_TRUE(id.RangWithin(1400, 400));
  // Ended before its first ring: the caller ID heard first begins the next call.
  id.EndCall();
  id.Take("NMBR = O", 1500);
  EXPECT_EQ(id.Calls(), 3);
  EXPECT_FALSE(id.RangWithin(1500, 60000));  // this call has not rung yet
  EXPECT_EQ(id.Caller().Memo(), "unavailable number");
}

TEST(CallerId, ABlockAfterALaterRingReplacesTheWholeOfTheFirst) {
  TCallerId id;
  id.Take("RING", 0);
  id.Take("DATE = 1208", 400);
  id.Take("NMBR = 5551234", 400);
  id.Take("NAME = ALICE SMITH", 400);
  id.Take("RING", 3000);
  id.Take("NMBR = P", 3400);
  EXPECT_EQ(id.Calls(), 1);
  EXPECT_EQ(id.Caller().Memo(), "withheld number");
  EXPECT_EQ(id.Caller().Name, "");
  EXPECT_EQ(id.Caller().Date, "");
  // The items of one block add up, whatever their order.
  id.Take("NAME = O", 3400);
  id.Take("TIME = 0930", 3400);
  EXPECT_EQ(id.Caller().Memo(), "withheld number");
  EXPECT_EQ(id.Caller().NameAbsent, TAbsence::kUnavailable);
  EXPECT_EQ(id.Caller().Time, "0930");
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
