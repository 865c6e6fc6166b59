#pragma once
// The modem link: owns the one serial port and the 10 ms tick timer, and runs the
// synchronous command/answer exchanges with the modem. UI thread only.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

#include "serial/SerialPort.h"
#include "serial/ThreadedTimer.h"
#include "setup/LineAssembler.h"
#include "setup/ModemLink.h"

class TMonitorForm;

// The first status bar panel's texts, as the port opens and closes.
inline constexpr const char* kModemOnText = " Modem on";
inline constexpr const char* kModemOffText = " Modem off";

class TModemF : public QObject, public IModemLink {
 public:
  explicit TModemF(TMonitorForm* monitor, QObject* owner = nullptr);
  ~TModemF() override;

  int SendAndRead(const QByteArray& command, QByteArray& answer) override;
  int SendAndExpect(const QByteArray& command, const QString& monitorLine,
                    const QString& expected) override;
  void WaitTicks(int n) override;
  TSerialPort& Port() override { return ComPort1; }
  IMonitorLog& MonitorLog() override;

  // Hooks set by the windows that use the link.
  std::function<void(const QString&)> OnStatusText;       // first status panel of the main window
  std::function<void(const QByteArray&)> OnSpecMemoEcho;  // memo of the modem list window
  // The voice side of the receive handler; true when it took the bytes as samples.
  std::function<bool(uint16_t count)> OnVoiceData;
  std::function<void()> OnPortLost;    // the recorder: the port has closed because the modem went
  std::function<void()> OnPortClosed;  // after every close, whatever closed the port
  // Each whole line the modem sends on its own (RING, caller ID); true when the line was
  // one (it is taken). Outside the exchanges every line of bytes that were no voice
  // samples is offered; during an exchange each line of the answer is, and a taken one
  // is no part of the answer, nor of what the monitor shows of it. Unset: no lines are
  // made, and answers are as received.
  std::function<bool(const QByteArray& line)> OnUnsolicitedLine;

  TSerialPort ComPort1;
  TThreadedTimer Timer1;
  TMonitorForm* Monitor;

  std::array<int32_t, 3000> CaptureBuffer{};  // slot k of the block is CaptureBuffer[k - 1]
  // PortIsOpen and EchoToSpecMemo come from TLinkFlags.
  int32_t BaudRate = 0;
  bool DataReceived = false;
  int64_t RecordedBytes = 0;  // 64-bit: 32 bits wrap after some 74 hours at 8000/s
  int32_t BlockCount = 0;
  QByteArray ReceivedText;
  int32_t TickCount = 0;
  int32_t SignedSamples = 0;
  int32_t TimeoutFactor = 500;

  // Handlers (public so that tests can drive them).
  void FormCreate();
  void ThreadedTimer1Timer();
  void ComPort1TriggerAvail(uint16_t count);
  void ComPort1PortOpen();
  void ComPort1PortClose();
  void ComPort1PortLost();

 private:
  // What an exchange has heard since its command went out: answers are whole lines,
  // however the port cut them into chunks.
  struct TAnswer {
    struct TLine {
      QByteArray Text;  // without its line end
      qsizetype End;    // where it ends in Text, its line end included
    };
    // Takes the bytes of a chunk. A line that `takes` takes (one the modem sent on its
    // own) is no part of the answer: neither a line nor text, and the blank line that
    // framed it goes with it.
    void Feed(QByteArrayView chunk, const std::function<bool(const QByteArray&)>& takes);
    // The line is no answer (an echo, an information line): the monitor text starts after it.
    void PassOver(const TLine& line) { MonitorFrom = line.End; }
    // The bytes as received since the last line passed over, whatever the chunks were.
    QByteArray MonitorText() const;

    TLineAssembler Assembler;
    QList<TLine> Lines;  // completed and not yet looked at
    QByteArray Text;     // the bytes as received, for the monitor and SendAndRead
    qsizetype MonitorFrom = 0;
    // The break that would pair with the one that ended a line taken away; it goes too.
    char DropBreak = 0;
  };
  class TListening;  // an exchange's turn as the one that hears the answers

  void Pump();  // one pass: blocks until an event, then handles it
  // kExchangeOk when a line has come, kExchangeTimeout after the limit, or
  // kExchangeNotSent when the port closed meanwhile (the modem went away, Modem Off in a
  // nested command).
  int WaitForLine(float limit, const TAnswer& answer);
  // Whether a port that was open when a wait began has closed since: no answer can come.
  bool ClosedSince(bool wasOpen) const { return wasOpen && !ComPort1.Open(); }
  void StartTicks();
  void StopTicks();

  int tickUsers_ = 0;          // waits in progress; nested waits share Timer1
  TAnswer* answer_ = nullptr;  // the exchange now waiting, if any
  // Lines heard outside the exchanges; a piece of one never joins an answer or samples.
  TLineAssembler unsolicited_;
};
