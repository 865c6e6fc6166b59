#pragma once
// Assembles the text a modem sends into whole lines, whatever pieces it arrives in.
// A line ends at CR or at LF; the other one of a pair right after it (CR LF or LF CR)
// belongs to the same break, also when the two come in different pieces. The lines
// therefore depend on the bytes only, never on how they were cut.
//
//   TLineAssembler a;
//   for (const QByteArray& line : a.Feed(chunk)) ...   // as often as pieces come
//   if (auto tail = a.Flush()) ...                     // at the end of the answer
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <optional>

class TLineAssembler {
 public:
  // A longer line is cut here: a device that sends no line ends cannot grow it without end.
  static constexpr qsizetype kMaxLineBytes = 4096;

  // Takes the next bytes and returns the lines they complete, in order, without their
  // ends. Two breaks in a row give an empty line.
  QList<QByteArray> Feed(QByteArrayView bytes);

  // The input has ended: returns the held partial line, if there is one, and starts afresh.
  std::optional<QByteArray> Flush();

  // Forgets the partial line and the last break.
  void Reset();

  // The bytes of the line not yet ended.
  const QByteArray& Partial() const { return partial_; }

 private:
  QByteArray partial_;
  char lastBreak_ = 0;  // CR or LF when the last byte ended a line, else 0
};
