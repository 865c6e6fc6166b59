// The port component: properties, the open and close sequences, and the main-thread
// end of the dispatcher's notifications.
#include "serial/SerialPort.h"

#include <exception>
#include <optional>

#include "serial/Dispatcher.h"
#include "serial/ExceptionDisplay.h"
#include "serial/PortMap.h"
#include "serial/UiDelivery.h"

namespace {

constexpr int32_t kDefaultBaud = 19200;
constexpr uint16_t kDefaultDataBits = 8;
constexpr uint16_t kDefaultStopBits = 1;
constexpr uint16_t kDefaultQueueSize = 4096;
constexpr uint16_t kDefaultAvailThreshold = 1;
constexpr char kXon = 17;
constexpr char kXoff = 19;

TPortPrompt& PortPrompt() {
  static TPortPrompt prompt;
  return prompt;
}

// The dispatcher reports the system's numbers; two of them have a meaning of their own.
int MapOpenResult(int rc) {
  using namespace serial_error;
  if (rc == -kOsAccessDenied) return kAlreadyOpen;
  if (rc == -kOsFileNotFound || rc == -kOsPathNotFound) return kBadId;
  return rc;
}

}  // namespace

struct TCustomSerialPort::Impl {
  explicit Impl(TCustomSerialPort& port) : self(port) {}

  void OpenProper();
  void ShutPort();
  void CompleteClose();
  void CompleteDeferredClose();
  void DeviceLost();
  void ApplySettings();
  void ApplyFlow();
  void UpdateNotifyWish();
  void RegisterReceiver(bool on);
  bool IsOpen() const { return state == cpsOpen && dispatcher != nullptr; }
  void RequireDispatcher();

  TCustomSerialPort& self;
  uint16_t comNumber = 0;
  int32_t baud = kDefaultBaud;
  TParity parity = pNone;
  uint16_t dataBits = kDefaultDataBits;
  uint16_t stopBits = kDefaultStopBits;
  uint16_t inSize = kDefaultQueueSize;
  uint16_t outSize = kDefaultQueueSize;
  bool open = false;
  bool autoOpen = true;
  bool promptForPort = true;
  bool dtr = true;
  bool rts = true;
  THWFlowOptions hwFlow = 0;
  TSWFlowOptions swFlow = swfNone;
  char xonChar = kXon;
  char xoffChar = kXoff;
  uint16_t bufferFull = 0;
  uint16_t bufferResume = 0;
  TTraceLogState tracing = tlOff;
  TTraceLogState logging = tlOff;
  TTapiMode tapi = tmAuto;
  uint16_t availThreshold = kDefaultAvailThreshold;

  TComPortState state = cpsClosed;
  bool openRequested = false;
  bool force = false;
  std::optional<TTriggerSave> savedTriggers;
  std::shared_ptr<TBaseDispatcher> dispatcher;

  TPortNotifyEvent onPortOpen;
  TPortNotifyEvent onPortClose;
  TPortNotifyEvent onPortLost;
  TTriggerAvailEvent onTriggerAvail;

  // Expires with the component: deferred completions check it before touching us.
  std::shared_ptr<int> alive = std::make_shared<int>(0);
};

void TCustomSerialPort::Impl::OpenProper() {
  if (comNumber == 0) {
    uint16_t chosen = 0;
    if (!promptForPort || !PortPrompt() || !PortPrompt()(chosen) || chosen == 0) {
      CheckSerialResult(serial_error::kNoPortSelected);
    }
    comNumber = chosen;
  }
  const std::optional<std::string> path = PortDevicePath(comNumber);
  if (!path) CheckSerialResult(serial_error::kBadId);
  dispatcher = TBaseDispatcher::Create();
  try {
    const uint32_t lineFlags = (dtr ? line_control::kDtr : 0) | (rts ? line_control::kRts : 0) |
                               ((hwFlow & hwfUseDTR) ? line_control::kDtrFlow : 0) |
                               ((hwFlow & hwfUseRTS) ? line_control::kRtsFlow : 0);
    const int rc =
        dispatcher->Open(*path, baud, parity, dataBits, stopBits, inSize, outSize, lineFlags);
    CheckOpenResult(MapOpenResult(rc), dispatcher->OpenRefusal());
    state = cpsOpen;
    UpdateNotifyWish();
    force = true;
    ApplySettings();
    force = false;
    open = true;
    RegisterReceiver(true);
    if (savedTriggers) dispatcher->RestoreTriggers(*savedTriggers);
    if (onPortOpen) onPortOpen(self);
  } catch (...) {
    force = false;
    open = false;
    state = cpsClosed;
    if (dispatcher) RegisterReceiver(false);
    dispatcher.reset();  // closes the device and ends the threads
    throw;
  }
}

void TCustomSerialPort::Impl::ApplyFlow() {
  const bool hardware = (hwFlow & (hwfUseRTS | hwfRequireCTS)) != 0;
  const bool software = swFlow != swfNone;
  CheckSerialResult(dispatcher->SetFlow(hardware, software, static_cast<uint8_t>(xonChar),
                                        static_cast<uint8_t>(xoffChar)));
}

void TCustomSerialPort::Impl::ApplySettings() {
  ApplyFlow();
  dispatcher->SetAvailThreshold(availThreshold);
  CheckSerialResult(dispatcher->SetDTR(dtr));
  CheckSerialResult(dispatcher->SetRTS(rts));
}

void TCustomSerialPort::Impl::UpdateNotifyWish() {
  if (dispatcher) dispatcher->SetOwnerWantsNotifications(static_cast<bool>(onTriggerAvail));
}

void TCustomSerialPort::Impl::RegisterReceiver(bool on) {
  if (!on) {
    dispatcher->RegisterReceiver(nullptr);
    dispatcher->SetLostReceiver(nullptr);
    return;
  }
  TCustomSerialPort* port = &self;
  dispatcher->RegisterReceiver([port](uint16_t count) {
    const TTriggerAvailEvent handler = port->d->onTriggerAvail;
    if (handler) handler(*port, count);
  });
  const std::weak_ptr<int> guard = alive;
  dispatcher->SetLostReceiver([port, guard] {
    if (guard.lock()) port->d->DeviceLost();
  });
}

void TCustomSerialPort::Impl::DeviceLost() {
  if (state != cpsOpen) return;  // a close is already under way
  // The fd and the lock file are released now; the device may come back at the same path.
  try {
    ShutPort();
  } catch (const std::exception& e) {
    ShowSerialException(QString::fromLocal8Bit(e.what()));
  }
  const TPortNotifyEvent handler = onPortLost;
  if (!handler) return;
  try {
    handler(self);
  } catch (const std::exception& e) {
    ShowSerialException(QString::fromLocal8Bit(e.what()));
  }
}

void TCustomSerialPort::Impl::ShutPort() {
  open = false;
  if (state != cpsOpen) return;
  state = cpsClosing;
  // The close goes on whatever the handler does; its exception is passed on afterwards.
  std::exception_ptr handlerError;
  try {
    if (onPortClose) onPortClose(self);
  } catch (...) {
    handlerError = std::current_exception();
  }
  savedTriggers = dispatcher->SaveTriggers();
  const std::weak_ptr<int> guard = alive;
  const bool done = dispatcher->Close([this, guard] {
    if (guard.lock()) CompleteDeferredClose();
  });
  if (done) {
    CompleteClose();
    // An open asked for by the OnPortClose handler of this close is not carried out.
    openRequested = false;
  }
  if (handlerError) std::rethrow_exception(handlerError);
}

void TCustomSerialPort::Impl::CompleteClose() {
  if (dispatcher) RegisterReceiver(false);
  dispatcher.reset();
  state = cpsClosed;
}

void TCustomSerialPort::Impl::CompleteDeferredClose() {
  if (dispatcher) dispatcher->Finish();
  CompleteClose();
  if (!openRequested) return;
  openRequested = false;
  try {
    self.SetOpen(true);
  } catch (const std::exception& e) {
    ShowSerialException(QString::fromLocal8Bit(e.what()));
  }
}

void TCustomSerialPort::Impl::RequireDispatcher() {
  if (dispatcher) return;
  if (!autoOpen) CheckSerialResult(serial_error::kCommNotOpen);
  self.SetOpen(true);
  if (!dispatcher) CheckSerialResult(serial_error::kCommNotOpen);
}

TCustomSerialPort::TCustomSerialPort(QObject* owner)
    : TSerialComponent(owner), d(std::make_unique<Impl>(*this)) {
  ui_delivery::Install();
}

TCustomSerialPort::~TCustomSerialPort() {
  try {
    d->ShutPort();
  } catch (const std::exception& e) {
    ShowSerialException(QString::fromLocal8Bit(e.what()));
  }
  d->alive.reset();
  if (d->dispatcher) d->RegisterReceiver(false);
  d->dispatcher.reset();
}

uint16_t TCustomSerialPort::ComNumber() const {
  return d->comNumber;
}

void TCustomSerialPort::SetComNumber(uint16_t n) {
  if (n == d->comNumber) return;
  if (d->state != cpsOpen) {
    d->comNumber = n;
    return;
  }
  d->savedTriggers = d->dispatcher->SaveTriggers();
  SetOpen(false);
  d->comNumber = n;
  SetOpen(true);
}

bool TCustomSerialPort::Open() const {
  return d->open;
}

void TCustomSerialPort::SetOpen(bool open) {
  if (!open) d->openRequested = false;
  if (open == d->open) return;
  if (!open) {
    d->ShutPort();
    return;
  }
  if (d->state != cpsClosed) {
    d->openRequested = true;  // runs once the close in progress has completed
    return;
  }
  d->OpenProper();
}

TComPortState TCustomSerialPort::State() const {
  return d->state;
}

int32_t TCustomSerialPort::Baud() const {
  return d->baud;
}
void TCustomSerialPort::SetBaud(int32_t baud) {
  d->baud = baud;
  if (d->IsOpen()) {
    CheckSerialResult(d->dispatcher->SetLine(baud, d->parity, d->dataBits, d->stopBits));
  }
}

TParity TCustomSerialPort::Parity() const {
  return d->parity;
}
void TCustomSerialPort::SetParity(TParity p) {
  d->parity = p;
  if (d->IsOpen()) CheckSerialResult(d->dispatcher->SetLine(d->baud, p, d->dataBits, d->stopBits));
}

uint16_t TCustomSerialPort::DataBits() const {
  return d->dataBits;
}
void TCustomSerialPort::SetDataBits(uint16_t bits) {
  d->dataBits = bits;
  if (d->IsOpen()) CheckSerialResult(d->dispatcher->SetLine(d->baud, d->parity, bits, d->stopBits));
}

uint16_t TCustomSerialPort::StopBits() const {
  return d->stopBits;
}
void TCustomSerialPort::SetStopBits(uint16_t bits) {
  d->stopBits = bits;
  if (d->IsOpen()) CheckSerialResult(d->dispatcher->SetLine(d->baud, d->parity, d->dataBits, bits));
}

// The driver's queues have a fixed size here; the component's own output buffer takes
// a new size at the next open.
uint16_t TCustomSerialPort::InSize() const {
  return d->inSize;
}
void TCustomSerialPort::SetInSize(uint16_t size) {
  d->inSize = size;
}
uint16_t TCustomSerialPort::OutSize() const {
  return d->outSize;
}
void TCustomSerialPort::SetOutSize(uint16_t size) {
  d->outSize = size;
}

bool TCustomSerialPort::AutoOpen() const {
  return d->autoOpen;
}
void TCustomSerialPort::SetAutoOpen(bool v) {
  d->autoOpen = v;
}
bool TCustomSerialPort::PromptForPort() const {
  return d->promptForPort;
}
void TCustomSerialPort::SetPromptForPort(bool v) {
  d->promptForPort = v;
}

bool TCustomSerialPort::DTR() const {
  return d->dtr;
}
void TCustomSerialPort::SetDTR(bool v) {
  if (v == d->dtr && !d->force) return;
  d->dtr = v;
  if (d->IsOpen()) CheckSerialResult(d->dispatcher->SetDTR(v));
}

bool TCustomSerialPort::RTS() const {
  return d->rts;
}
void TCustomSerialPort::SetRTS(bool v) {
  if (v == d->rts && !d->force) return;
  d->rts = v;
  if (d->IsOpen()) CheckSerialResult(d->dispatcher->SetRTS(v));
}

TTapiMode TCustomSerialPort::TapiMode() const {
  return d->tapi;
}
void TCustomSerialPort::SetTapiMode(TTapiMode m) {
  d->tapi = m;
}

uint16_t TCustomSerialPort::AvailThreshold() const {
  return d->availThreshold;
}
void TCustomSerialPort::SetAvailThreshold(uint16_t n) {
  d->availThreshold = n;
  if (d->IsOpen()) d->dispatcher->SetAvailThreshold(n);
}

THWFlowOptions TCustomSerialPort::HWFlowOptions() const {
  return d->hwFlow;
}
void TCustomSerialPort::SetHWFlowOptions(THWFlowOptions options) {
  d->hwFlow = options;
  if (d->IsOpen()) d->ApplyFlow();
}

TSWFlowOptions TCustomSerialPort::SWFlowOptions() const {
  return d->swFlow;
}
void TCustomSerialPort::SetSWFlowOptions(TSWFlowOptions options) {
  d->swFlow = options;
  if (d->IsOpen()) d->ApplyFlow();
}

char TCustomSerialPort::XOnChar() const {
  return d->xonChar;
}
void TCustomSerialPort::SetXOnChar(char c) {
  d->xonChar = c;
  if (d->IsOpen()) d->ApplyFlow();
}

char TCustomSerialPort::XOffChar() const {
  return d->xoffChar;
}
void TCustomSerialPort::SetXOffChar(char c) {
  d->xoffChar = c;
  if (d->IsOpen()) d->ApplyFlow();
}

uint16_t TCustomSerialPort::BufferFull() const {
  return d->bufferFull;
}
void TCustomSerialPort::SetBufferFull(uint16_t n) {
  if (n > d->inSize || n < d->bufferResume) CheckSerialResult(serial_error::kBadArgument);
  d->bufferFull = n;
}

uint16_t TCustomSerialPort::BufferResume() const {
  return d->bufferResume;
}
void TCustomSerialPort::SetBufferResume(uint16_t n) {
  if (n > d->bufferFull) CheckSerialResult(serial_error::kBadArgument);
  d->bufferResume = n;
}

TTraceLogState TCustomSerialPort::Tracing() const {
  return d->tracing;
}
void TCustomSerialPort::SetTracing(TTraceLogState state) {
  d->tracing = state;
}
TTraceLogState TCustomSerialPort::Logging() const {
  return d->logging;
}
void TCustomSerialPort::SetLogging(TTraceLogState state) {
  d->logging = state;
}

uint16_t TCustomSerialPort::OutputSpace() const {
  return d->IsOpen() ? d->dispatcher->OutputFree() : d->outSize;
}

void TCustomSerialPort::SendString(const QByteArray& text) {
  if (d->state == cpsClosing) return;
  d->RequireDispatcher();
  if (text.isEmpty()) return;
  CheckSerialResult(d->dispatcher->PutBlock(reinterpret_cast<const uint8_t*>(text.constData()),
                                            static_cast<size_t>(text.size())));
}

uint8_t TCustomSerialPort::ReceiveChar() {
  if (d->state == cpsClosing) return 0;
  d->RequireDispatcher();
  uint8_t c = 0;
  CheckSerialResult(d->dispatcher->GetChar(c));
  return c;
}

void TCustomSerialPort::ReceiveChars(uint16_t n, QByteArray& into) {
  const qsizetype at = into.size();
  into.resize(at + n, '\0');  // while closing, each byte is a 0
  if (d->state == cpsClosing) return;
  d->RequireDispatcher();
  const size_t got = d->dispatcher->GetChars(reinterpret_cast<uint8_t*>(into.data() + at), n);
  if (got < n) {
    into.resize(at + static_cast<qsizetype>(got));
    CheckSerialResult(serial_error::kBufferIsEmpty);
  }
}

void TCustomSerialPort::FlushOutBuffer() {
  if (d->IsOpen()) CheckSerialResult(d->dispatcher->FlushOutput());
}

void TCustomSerialPort::FlushInBuffer() {
  if (d->IsOpen()) CheckSerialResult(d->dispatcher->FlushInput());
}

uint16_t TCustomSerialPort::InBuffUsed() const {
  return d->IsOpen() ? static_cast<uint16_t>(d->dispatcher->InBuffUsed()) : 0;
}

void TCustomSerialPort::SetOnPortOpen(TPortNotifyEvent handler) {
  d->onPortOpen = std::move(handler);
}

void TCustomSerialPort::SetOnPortClose(TPortNotifyEvent handler) {
  d->onPortClose = std::move(handler);
}

void TCustomSerialPort::SetOnPortLost(TPortNotifyEvent handler) {
  d->onPortLost = std::move(handler);
}

void TCustomSerialPort::SetOnTriggerAvail(TTriggerAvailEvent handler) {
  d->onTriggerAvail = std::move(handler);
  d->UpdateNotifyWish();
}

void TCustomSerialPort::SetPortPrompt(TPortPrompt prompt) {
  PortPrompt() = std::move(prompt);
}

void TCustomSerialPort::SetExceptionDisplay(std::function<void(const QString&)> display) {
  ::SetExceptionDisplay(std::move(display));
}
