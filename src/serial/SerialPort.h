#pragma once
// The serial port component. Everything here is called, and every event delivered,
// on the main (UI) thread.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "serial/SerialErrors.h"

enum TParity { pNone, pOdd, pEven, pMark, pSpace };
enum TComPortState { cpsClosed, cpsClosing, cpsOpen };
enum TSWFlowOptions { swfNone, swfReceive, swfTransmit, swfBoth };
enum THWFlowOption : uint8_t { hwfUseDTR = 1, hwfUseRTS = 2, hwfRequireDSR = 4, hwfRequireCTS = 8 };
enum TTapiMode { tmNone, tmAuto, tmOn, tmOff };
enum TTraceLogState { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause };
using THWFlowOptions = uint8_t;  // a set of THWFlowOption bits

class TCustomSerialPort;
using TPortNotifyEvent = std::function<void(TCustomSerialPort& sender)>;
using TTriggerAvailEvent = std::function<void(TCustomSerialPort& CP, uint16_t Count)>;
// Asks the user for a port when ComNumber is 0 (the port selection dialog). Returns
// false when the user cancels; otherwise stores the chosen number.
using TPortPrompt = std::function<bool(uint16_t& chosen)>;

class TSerialComponent : public QObject {
 public:
  using QObject::QObject;
  QString Version() const { return QStringLiteral("v4.00"); }
};

class TBaseDispatcher;

class TCustomSerialPort : public TSerialComponent {
 public:
  explicit TCustomSerialPort(QObject* owner = nullptr);
  ~TCustomSerialPort() override;  // runs the close sequence when open

  uint16_t ComNumber() const;
  void SetComNumber(uint16_t n);
  bool Open() const;
  void SetOpen(bool open);  // raises ESerialException (EBadId, EAlreadyOpen, ...)
  TComPortState State() const;

  int32_t Baud() const;
  void SetBaud(int32_t baud);
  TParity Parity() const;
  void SetParity(TParity p);
  uint16_t DataBits() const;
  void SetDataBits(uint16_t bits);
  uint16_t StopBits() const;
  void SetStopBits(uint16_t bits);
  uint16_t InSize() const;
  void SetInSize(uint16_t size);
  uint16_t OutSize() const;
  void SetOutSize(uint16_t size);
  bool AutoOpen() const;
  void SetAutoOpen(bool v);
  bool PromptForPort() const;
  void SetPromptForPort(bool v);
  bool DTR() const;
  void SetDTR(bool v);
  bool RTS() const;
  void SetRTS(bool v);
  TTapiMode TapiMode() const;
  void SetTapiMode(TTapiMode m);
  uint16_t AvailThreshold() const;
  void SetAvailThreshold(uint16_t n);
  THWFlowOptions HWFlowOptions() const;
  void SetHWFlowOptions(THWFlowOptions options);
  TSWFlowOptions SWFlowOptions() const;
  void SetSWFlowOptions(TSWFlowOptions options);
  char XOnChar() const;
  void SetXOnChar(char c);
  char XOffChar() const;
  void SetXOffChar(char c);
  uint16_t BufferFull() const;
  void SetBufferFull(uint16_t n);  // EBadArgument when above InSize or below BufferResume
  uint16_t BufferResume() const;
  void SetBufferResume(uint16_t n);  // EBadArgument when above BufferFull
  TTraceLogState Tracing() const;
  void SetTracing(TTraceLogState state);
  TTraceLogState Logging() const;
  void SetLogging(TTraceLogState state);

  // Free room in the output buffer; OutSize while not open. Never raises.
  uint16_t OutputSpace() const;
  // Queues all bytes or none (ECommNotOpen, EOutputBufferTooSmall); ignored while closing.
  void SendString(const QByteArray& text);
  // Oldest unread byte (ECommNotOpen, EBufferIsEmpty); 0 while closing. Inside an
  // OnTriggerAvail handler the byte is only read and consumed after the handler returns.
  uint8_t ReceiveChar();
  // The next n bytes appended to `into`, as n calls of ReceiveChar would take them (and
  // raise once none is left), under one lock.
  void ReceiveChars(uint16_t n, QByteArray& into);
  // Discard unsent output / unread input (nothing while closed). Inside an OnTriggerAvail
  // handler the unread input is consumed when the handler returns.
  void FlushOutBuffer();
  void FlushInBuffer();
  // Bytes received and not yet taken.
  uint16_t InBuffUsed() const;

  void SetOnPortOpen(TPortNotifyEvent handler);
  void SetOnPortClose(TPortNotifyEvent handler);
  // The device went away while open (hung up, unplugged): the port has run its close
  // sequence (OnPortClose first) and is closed when this fires (still closing when the
  // loss came while an OnTriggerAvail handler was running). Bytes that arrived before the
  // loss have all been delivered.
  void SetOnPortLost(TPortNotifyEvent handler);
  void SetOnTriggerAvail(TTriggerAvailEvent handler);

  // Installed by the port selection dialog's library; nullptr means "no prompt".
  static void SetPortPrompt(TPortPrompt prompt);
  // Shows errors that reach no caller (an exception escaping an event handler, an open
  // requested during a deferred close that then failed). Default: logged as a warning.
  static void SetExceptionDisplay(std::function<void(const QString& message)> display);

 private:
  struct Impl;
  std::unique_ptr<Impl> d;
};

class TSerialPort : public TCustomSerialPort {
 public:
  using TCustomSerialPort::TCustomSerialPort;
};
