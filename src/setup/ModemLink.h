#pragma once
// What the modem discovery and configuration windows need of the modem link and of the
// monitor window. The link and the monitor live in the modem library, above this one,
// and implement these interfaces.
#include <QByteArray>
#include <QString>

class TSerialPort;

// Results of the exchanges.
inline constexpr int kExchangeOk = 0;
inline constexpr int kExchangeNotSent = 1;  // too little room, or the port closed under the wait
inline constexpr int kExchangeTimeout = 2;
inline constexpr int kExchangeRefused = 3;  // "ERROR", or the answer limit reached

class IMonitorLog {
 public:
  virtual ~IMonitorLog() = default;
  virtual void Add(const QString& text) = 0;
  virtual void Clear() = 0;
  virtual bool SaveToFile(const QString& path) const = 0;
};

// Link state that the windows read and write directly.
struct TLinkFlags {
  bool PortIsOpen = false;      // follows the port's own open and close events
  bool PortLost = false;        // the device went away; cleared when the port opens again
  bool EchoToSpecMemo = false;  // every received chunk also goes to the modem list's memo
};

class IModemLink : public TLinkFlags {
 public:
  virtual ~IModemLink() = default;
  virtual int SendAndRead(const QByteArray& command, QByteArray& answer) = 0;
  virtual int SendAndExpect(const QByteArray& command, const QString& monitorLine,
                            const QString& expected) = 0;
  virtual void WaitTicks(int n) = 0;
  virtual TSerialPort& Port() = 0;        // ComPort1
  virtual IMonitorLog& MonitorLog() = 0;  // the monitor window
};
