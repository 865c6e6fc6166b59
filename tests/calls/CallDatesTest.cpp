// Dates, times and durations read back from the texts the call list stores.
#include <gtest/gtest.h>

#include "calls/CallDates.h"
#include "calls/CallNames.h"

TEST(CallDatesTest, WhatTheProgramWritesReadsBackToTheSameMoment) {
  for (const QDate d : {QDate(2024, 5, 1), QDate(2000, 1, 1), QDate(1999, 12, 31),
                        QDate(2026, 12, 8), QDate(2024, 2, 29)}) {
    EXPECT_EQ(ReadCallDate(ShortDateText(d)), d) << ShortDateText(d).toStdString();
  }
  for (const QTime t : {QTime(0, 0, 0), QTime(12, 0, 1), QTime(22, 3, 4), QTime(23, 59, 59)}) {
    EXPECT_EQ(ReadCallTime(LongTimeText(t)), t) << LongTimeText(t).toStdString();
  }
  TCallRecord r;
  r.Date = ShortDateText(QDate(2024, 5, 1));
  r.Time = LongTimeText(QTime(22, 3, 4));
  EXPECT_EQ(ReadCallMoment(r), QDateTime(QDate(2024, 5, 1), QTime(22, 3, 4)));
}

TEST(CallDatesTest, YearFirstAndClockFormsAreReadAndAnythingElseIsNotGuessed) {
  EXPECT_EQ(ReadCallDate("2024-05-01"), QDate(2024, 5, 1));
  EXPECT_EQ(ReadCallDate("2024/5/1"), QDate(2024, 5, 1));
  EXPECT_EQ(ReadCallDate(" 2024.05.01 "), QDate(2024, 5, 1));
  EXPECT_EQ(ReadCallDate("1 May 2024"), QDate(2024, 5, 1));
  for (const char* bad :
       {"", "2024-13-01", "2024-02-30", "2024-05/01", "31/31/99", "tomorrow", "01.02.2024x"}) {
    EXPECT_FALSE(ReadCallDate(QString::fromLatin1(bad)).has_value()) << bad;
  }
  EXPECT_EQ(ReadCallTime("22:03:04"), QTime(22, 3, 4));
  EXPECT_EQ(ReadCallTime("9:03:04"), QTime(9, 3, 4));
  EXPECT_EQ(ReadCallTime("10:03:04 PM"), QTime(22, 3, 4));
  EXPECT_EQ(ReadCallTime("12:00:00 am"), QTime(0, 0, 0));
  EXPECT_EQ(ReadCallTime("22:03"), QTime(22, 3, 0));
  for (const char* bad : {"", "25:00:00", "10:61:00", "noon", "10:03:04 XM"}) {
    EXPECT_FALSE(ReadCallTime(QString::fromLatin1(bad)).has_value()) << bad;
  }
  TCallRecord r;
  r.Date = "2024-05-01";
  r.Time = "noon";
  EXPECT_FALSE(ReadCallMoment(r).has_value());
}

TEST(CallDatesTest, DurationsAreMinutesAndSecondsWithOrWithoutALeadingZero) {
  EXPECT_EQ(ReadDurationSeconds("2:5"), 125);
  EXPECT_EQ(ReadDurationSeconds("2:05"), 125);
  EXPECT_EQ(ReadDurationSeconds("0:0"), 0);
  EXPECT_EQ(ReadDurationSeconds("60:0"), 3600);
  for (const char* bad : {"?", "", "1:60", "1:", ":5", "-1:5", "1:2:3", "1.5"}) {
    EXPECT_FALSE(ReadDurationSeconds(QString::fromLatin1(bad)).has_value()) << bad;
  }
}
