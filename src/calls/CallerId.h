#pragma once
// The lines a voice modem sends on its own about an incoming call, once caller ID
// reporting is on ("at+vcid=1"): RING for each ring, and between the first rings the
// caller ID block, one item a line, the tag and the value either side of "=" with or
// without blanks:
//
//   RING
//   DATE = 1208          month and day
//   TIME = 0930          hour and minute
//   NMBR = 5551234       the caller's number; "P" withheld, "O" unavailable
//   NAME = JOHN DOE      the caller's name; "P" and "O" likewise
//   RING
//
// Some modems send NMBR alone, DDN_NMBR for the number, or MESG with the items they
// did not decode, in hexadecimal (type, length, data), among them the reasons why the
// number (type 04) or the name (type 08) is absent.
//
// Pure: no I/O and no clock; the caller passes the time each line was heard.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

enum class TCallerLine {
  kOther,  // not a line about a call (a stray result, an echo, noise)
  kRing,
  kDate,
  kTime,
  kNumber,
  kName,
  kMessage,
};

struct TCallerIdLine {
  TCallerLine Kind = TCallerLine::kOther;
  QByteArray Value;  // the text after "=", trimmed; empty for RING and other lines
};

// One line without its line end, as the modem sent it.
TCallerIdLine ParseCallerIdLine(QByteArrayView line);

// Why a number or a name is missing.
enum class TAbsence {
  kNone,
  kWithheld,     // "P": the caller keeps it private
  kUnavailable,  // "O": out of area, not sent by the network
};

struct TCaller {
  // Bounded and free of control characters, as shown and stored.
  static constexpr qsizetype kMaxNumber = 32;
  static constexpr qsizetype kMaxName = 64;

  QString Number;
  QString Name;
  QString Date;  // as sent: MMDD
  QString Time;  // as sent: HHMM
  TAbsence NumberAbsent = TAbsence::kNone;
  TAbsence NameAbsent = TAbsence::kNone;

  // "5551234 JOHN DOE", "withheld number", "" when nothing about the caller came.
  QString Memo() const;
  // "Call from 5551234 JOHN DOE", or "Incoming call" when only the rings came.
  QString Text() const;
  bool operator==(const TCaller&) const = default;
};

// The call being announced, assembled from the lines as they come. A call begins with
// the first line about a call after the previous call's recording ended, or once no ring
// has come for kRingingMs; nothing of an earlier call survives into it. The items after a
// ring are one caller ID block: a later block replaces the whole of an earlier one.
class TCallerId {
 public:
  // Rings come every few seconds (6 s in North America, 3 s in Europe): one no later
  // than this after the last one is the same call still ringing. Later than this, the
  // line has stopped ringing and what comes next is another call.
  static constexpr int64_t kRingingMs = 8000;

  // Takes one line heard at nowMs (any monotonic clock) and tells what it was.
  TCallerLine Take(QByteArrayView line, int64_t nowMs);
  // The current call's recording has ended: the next line about a call is another call's.
  void EndCall() { ended_ = true; }
  // The current call has been recorded and its recording has ended.
  bool Ended() const { return ended_; }

  // The last RING came no longer than kRingingMs ago.
  bool Ringing(int64_t nowMs) const { return RangWithin(nowMs, kRingingMs); }
  // The last RING came no longer than ms ago.
  bool RangWithin(int64_t nowMs, int64_t ms) const;
  // A line about a call (a ring or a caller ID item) came no longer than ms ago.
  bool HeardWithin(int64_t nowMs, int64_t ms) const;
  const TCaller& Caller() const { return caller_; }
  int Rings() const { return rings_; }  // of the current call
  int Calls() const { return calls_; }  // calls heard so far; the current one is the last

 private:
  // Whether a line at nowMs belongs to a call other than the current one.
  bool BeginsNewCall(int64_t nowMs) const;

  TCaller caller_;
  int rings_ = 0;
  int calls_ = 0;
  bool heard_ = false;
  bool rang_ = false;
  bool ended_ = false;
  bool blockOpen_ = false;  // items have come since the last ring
  int64_t lastHeardMs_ = 0;
  int64_t lastRingMs_ = 0;
  // The last ring of the current call, or its first line when that came later: the
  // ringing is counted from here.
  int64_t ringingFromMs_ = 0;
};
