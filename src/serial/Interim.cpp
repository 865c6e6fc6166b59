// Interim implementation of the serial layer's interfaces so that the rest of the
// program builds and runs before the real port stack lands: every port reports that
// it does not exist, and the timer ticks from a QTimer. Replaced by the real layer.
#include <QTimer>

#include "serial/PortMap.h"
#include "serial/SerialPort.h"
#include "serial/ThreadedTimer.h"

ESerialException::ESerialException(int errorNumber, const QString& message)
    : std::runtime_error(message.toStdString()), ErrorNumber(errorNumber) {}

QString SerialErrorMessage(int code) {
  switch (code) {
    case serial_error::kBadId: return QStringLiteral("ie_BadId - Specified comport doesn't exist");
    case serial_error::kCommNotOpen: return QStringLiteral("ie_NOpen - device not open");
    default: return QString();
  }
}

int CheckSerialResult(int code) {
  if (code >= 0) return code;
  if (code == serial_error::kBadId) throw EBadId(code, SerialErrorMessage(code));
  if (code == serial_error::kCommNotOpen) throw ECommNotOpen(code, SerialErrorMessage(code));
  throw ESerialException(0, QStringLiteral("Vexa exception"));
}

namespace {
PortPathSource& Source() {
  static PortPathSource source;
  return source;
}
}  // namespace

void SetPortPathSource(PortPathSource source) { Source() = std::move(source); }
std::optional<std::string> PortDevicePath(int n) {
  if (Source()) {
    if (auto p = Source()(n)) return p;
  }
  return std::nullopt;
}

struct TCustomSerialPort::Impl {
  uint16_t comNumber = 0;
  int32_t baud = 19200;
  TParity parity = pNone;
  uint16_t dataBits = 8, stopBits = 1, inSize = 4096, outSize = 4096, avail = 1;
  bool autoOpen = true, prompt = true, dtr = true, rts = true;
  TTapiMode tapi = tmAuto;
};

TCustomSerialPort::TCustomSerialPort(QObject* owner) : TSerialComponent(owner), d(new Impl) {}
TCustomSerialPort::~TCustomSerialPort() = default;
uint16_t TCustomSerialPort::ComNumber() const { return d->comNumber; }
void TCustomSerialPort::SetComNumber(uint16_t n) { d->comNumber = n; }
bool TCustomSerialPort::Open() const { return false; }
void TCustomSerialPort::SetOpen(bool open) {
  if (open) CheckSerialResult(serial_error::kBadId);
}
TComPortState TCustomSerialPort::State() const { return cpsClosed; }
int32_t TCustomSerialPort::Baud() const { return d->baud; }
void TCustomSerialPort::SetBaud(int32_t v) { d->baud = v; }
TParity TCustomSerialPort::Parity() const { return d->parity; }
void TCustomSerialPort::SetParity(TParity v) { d->parity = v; }
uint16_t TCustomSerialPort::DataBits() const { return d->dataBits; }
void TCustomSerialPort::SetDataBits(uint16_t v) { d->dataBits = v; }
uint16_t TCustomSerialPort::StopBits() const { return d->stopBits; }
void TCustomSerialPort::SetStopBits(uint16_t v) { d->stopBits = v; }
uint16_t TCustomSerialPort::InSize() const { return d->inSize; }
void TCustomSerialPort::SetInSize(uint16_t v) { d->inSize = v; }
uint16_t TCustomSerialPort::OutSize() const { return d->outSize; }
void TCustomSerialPort::SetOutSize(uint16_t v) { d->outSize = v; }
bool TCustomSerialPort::AutoOpen() const { return d->autoOpen; }
void TCustomSerialPort::SetAutoOpen(bool v) { d->autoOpen = v; }
bool TCustomSerialPort::PromptForPort() const { return d->prompt; }
void TCustomSerialPort::SetPromptForPort(bool v) { d->prompt = v; }
bool TCustomSerialPort::DTR() const { return d->dtr; }
void TCustomSerialPort::SetDTR(bool v) { d->dtr = v; }
bool TCustomSerialPort::RTS() const { return d->rts; }
void TCustomSerialPort::SetRTS(bool v) { d->rts = v; }
TTapiMode TCustomSerialPort::TapiMode() const { return d->tapi; }
void TCustomSerialPort::SetTapiMode(TTapiMode v) { d->tapi = v; }
uint16_t TCustomSerialPort::AvailThreshold() const { return d->avail; }
void TCustomSerialPort::SetAvailThreshold(uint16_t v) { d->avail = v; }
uint16_t TCustomSerialPort::OutputSpace() const { return d->outSize; }
void TCustomSerialPort::SendString(const QByteArray& text) {
  if (!text.isEmpty()) CheckSerialResult(serial_error::kCommNotOpen);
}
uint8_t TCustomSerialPort::ReceiveChar() {
  CheckSerialResult(serial_error::kCommNotOpen);
  return 0;
}
void TCustomSerialPort::SetOnPortOpen(TPortNotifyEvent) {}
void TCustomSerialPort::SetOnPortClose(TPortNotifyEvent) {}
void TCustomSerialPort::SetOnTriggerAvail(TTriggerAvailEvent) {}
void TCustomSerialPort::SetPortPrompt(TPortPrompt) {}

struct TThreadedTimer::Impl {
  QTimer timer;
  bool enabled = false, allowZero = false;
  uint32_t interval = 1000;
  TThreadPriority priority = tpNormal;
  std::function<void(TThreadedTimer&)> onTimer;
};

TThreadedTimer::TThreadedTimer(QObject* owner) : QObject(owner), d(new Impl) {
  QObject::connect(&d->timer, &QTimer::timeout, this, [this] {
    if (d->enabled && d->onTimer) d->onTimer(*this);
  });
}
TThreadedTimer::~TThreadedTimer() = default;
bool TThreadedTimer::Enabled() const { return d->enabled; }
void TThreadedTimer::SetEnabled(bool e) {
  if (e == d->enabled) return;
  d->enabled = e;
  if (e && (d->interval > 0 || d->allowZero)) {
    d->timer.start(static_cast<int>(d->interval));
  } else {
    d->timer.stop();
  }
}
uint32_t TThreadedTimer::Interval() const { return d->interval; }
void TThreadedTimer::SetInterval(uint32_t ms) {
  if (ms == d->interval) return;
  const bool was = d->enabled;
  SetEnabled(false);
  d->interval = ms;
  SetEnabled(was);
}
bool TThreadedTimer::AllowZero() const { return d->allowZero; }
void TThreadedTimer::SetAllowZero(bool v) { d->allowZero = v; }
TThreadPriority TThreadedTimer::ThreadPriority() const { return d->priority; }
void TThreadedTimer::SetThreadPriority(TThreadPriority p) { d->priority = p; }
void TThreadedTimer::SetOnTimer(std::function<void(TThreadedTimer&)> h) { d->onTimer = std::move(h); }
