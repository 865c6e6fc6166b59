#include "modem/ModemF.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <optional>
#include <utility>

#include "modem/MonitorForm.h"
#include "setup/Dialogs.h"
#include "setup/ModemText.h"

namespace {
constexpr int32_t kLineRate = 115200;
constexpr uint32_t kTickMs = 10;
constexpr int kReadGuardTicks = 8;
constexpr int kExpectGuardTicks = 12;
constexpr int kMaxAnswers = 20;
// The most of one answer kept as text; a device that never ends its answer stops here.
constexpr qsizetype kMaxAnswerBytes = 8192;
constexpr int32_t kTickWrap = 1000000000;
constexpr int32_t kDefaultTimeoutFactor = 500;
const QByteArray kEchoOff = QByteArrayLiteral("ATE0\r");
constexpr int32_t kRates[] = {150,   300,   600,   1200,  2400,  4800,  9600,
                              14400, 19200, 38400, 56000, 57600, 115200};

QString Latin1(const QByteArray& bytes) {
  return QString::fromLatin1(bytes);
}

bool IsLineBreak(char c) {
  return c == '\r' || c == '\n';
}

// A line the modem sends on its own comes framed as a result: a blank line before it.
// That break goes with the line, when the text ends with it after another break (or it
// is all the text).
void RemoveFramingBreak(QByteArray& text) {
  const qsizetype n = text.size();
  if (n == 0 || !IsLineBreak(text[n - 1])) return;
  const qsizetype unit = n >= 2 && IsLineBreak(text[n - 2]) && text[n - 2] != text[n - 1] ? 2 : 1;
  const qsizetype before = n - unit;
  if (before == 0 || IsLineBreak(text[before - 1])) text.chop(unit);
}

// The first occurrence of `word` removed, case sensitive.
void RemoveFirst(QByteArray& text, const QByteArray& word) {
  const qsizetype at = text.indexOf(word);
  if (at >= 0) text.remove(at, word.size());
}
}  // namespace

void TModemF::TAnswer::Hear(QByteArrayView bytes) {
  if (Text.size() < kMaxAnswerBytes) Text += bytes;
  Lines += Assembler.Feed(bytes);
}

// Byte by byte, so that a line taken away is known with its place in the text.
void TModemF::TAnswer::Hear(QByteArrayView bytes,
                            const std::function<bool(const QByteArray&)>& takes) {
  for (const char c : bytes) {
    const char paired = std::exchange(dropBreak, 0);
    const bool kept = Text.size() < kMaxAnswerBytes && c != paired;
    if (kept) Text += c;
    const QList<QByteArray> done = Assembler.Feed(QByteArrayView(&c, 1));
    if (done.isEmpty()) continue;
    const QByteArray& line = done.front();
    if (!takes(line)) {
      Lines += line;
      continue;
    }
    if (!kept || Text.size() < line.size() + 1) continue;  // the text was cut short: left as is
    if (!IsLineBreak(c)) {
      Text.remove(Text.size() - 1 - line.size(), line.size());  // a line cut at its limit
      continue;
    }
    Text.chop(line.size() + 1);
    dropBreak = c == '\r' ? '\n' : '\r';
    RemoveFramingBreak(Text);
  }
}

// While an exchange waits, the receive handler feeds its answer. A nested exchange (a
// user command handled while pumping) hears the answers until it ends, then hands back.
class TModemF::TListening {
 public:
  TListening(TModemF& link, TAnswer& answer) : link_(link), outer_(link.answer_) {
    link_.answer_ = &answer;
  }
  ~TListening() { link_.answer_ = outer_; }
  TListening(const TListening&) = delete;
  TListening& operator=(const TListening&) = delete;

 private:
  TModemF& link_;
  TAnswer* outer_;
};

TModemF::TModemF(TMonitorForm* monitor, QObject* owner) : QObject(owner), Monitor(monitor) {
  ComPort1.SetBaud(kLineRate);
  ComPort1.SetAutoOpen(false);
  ComPort1.SetTapiMode(tmNone);
  ComPort1.SetOnPortOpen([this](TCustomSerialPort&) { ComPort1PortOpen(); });
  ComPort1.SetOnPortClose([this](TCustomSerialPort&) { ComPort1PortClose(); });
  ComPort1.SetOnPortLost([this](TCustomSerialPort&) { ComPort1PortLost(); });
  ComPort1.SetOnTriggerAvail(
      [this](TCustomSerialPort&, uint16_t count) { ComPort1TriggerAvail(count); });
  Timer1.SetEnabled(false);
  Timer1.SetInterval(kTickMs);
  Timer1.SetOnTimer([this](TThreadedTimer&) { ThreadedTimer1Timer(); });
  FormCreate();
}

TModemF::~TModemF() {
  // The close event must not reach a half-destroyed link.
  ComPort1.SetOnPortClose(nullptr);
  ComPort1.SetOnPortLost(nullptr);
  ComPort1.SetOnTriggerAvail(nullptr);
}

IMonitorLog& TModemF::MonitorLog() {
  return *Monitor;
}

void TModemF::FormCreate() {
  EchoToSpecMemo = false;
  TimeoutFactor = kDefaultTimeoutFactor;
  const int32_t configured = ComPort1.Baud();
  for (int32_t rate : kRates) {
    if (rate == configured) BaudRate = rate;
  }
}

void TModemF::Pump() {
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// A wait started inside another wait (a user command handled while pumping) must not
// stop the ticks the outer wait still counts on.
void TModemF::StartTicks() {
  ++tickUsers_;
  Timer1.SetEnabled(true);
}

void TModemF::StopTicks() {
  if (--tickUsers_ <= 0) {
    tickUsers_ = 0;
    Timer1.SetEnabled(false);
  }
}

int TModemF::WaitForLine(float limit, const TAnswer& answer) {
  const bool wasOpen = ComPort1.Open();
  DataReceived = false;
  TickCount = 0;
  StartTicks();
  for (;;) {
    Pump();
    if (ClosedSince(wasOpen)) {
      StopTicks();
      return kExchangeNotSent;
    }
    // The time-out test comes first: a chunk arriving in the last pass is not looked at.
    if (static_cast<float>(TickCount) >= limit) {
      StopTicks();
      return kExchangeTimeout;
    }
    if (!answer.Lines.isEmpty()) {
      StopTicks();
      return kExchangeOk;
    }
  }
}

void TModemF::WaitTicks(int n) {
  const bool wasOpen = ComPort1.Open();
  StartTicks();
  TickCount = 0;
  while (TickCount < n && !ClosedSince(wasOpen)) Pump();
  StopTicks();
}

// The answer is everything up to the final result, so that an answer cut into pieces
// reads as a whole one. A device that sends no final result gives what it sent once
// the limit has passed without a further line.
int TModemF::SendAndRead(const QByteArray& command, QByteArray& answer) {
  const QByteArray text = command + '\r';
  const bool wasOpen = ComPort1.Open();
  WaitTicks(kReadGuardTicks);
  if (ClosedSince(wasOpen) || ComPort1.OutputSpace() < text.size()) return kExchangeNotSent;
  TAnswer heard;
  TListening listening(*this, heard);
  ComPort1.SendString(text);
  ReceivedText.clear();
  const float limit = TimeoutLimit(BaudRate, TimeoutFactor);
  bool complete = false;
  while (!complete) {
    if (const int rc = WaitForLine(limit, heard); rc != kExchangeOk) {
      if (rc == kExchangeNotSent || TrimCodes(heard.Text).isEmpty()) return rc;
      break;
    }
    for (const QByteArray& line : std::as_const(heard.Lines)) complete |= IsFinalResult(line);
    heard.Lines.clear();
    complete |= heard.Text.size() >= kMaxAnswerBytes;
  }
  QByteArray reply = heard.Text;
  RemoveFirst(reply, "ok");
  RemoveFirst(reply, "OK");
  answer = TrimCodes(reply);
  return kExchangeOk;
}

// Each non-blank line is one answer. The monitor gets the text as received since the
// last answer that was passed over.
int TModemF::SendAndExpect(const QByteArray& command, const QString& monitorLine,
                           const QString& expected) {
  const QByteArray text = command + '\r';
  const bool wasOpen = ComPort1.Open();
  WaitTicks(kExpectGuardTicks);
  if (ClosedSince(wasOpen) || ComPort1.OutputSpace() < text.size()) return kExchangeNotSent;
  TAnswer heard;
  TListening listening(*this, heard);
  ComPort1.SendString(text);
  Monitor->Add(monitorLine);
  const QByteArray wanted = UpperAscii(expected.toLatin1());
  const float limit = TimeoutLimit(BaudRate, TimeoutFactor);
  int attempt = 0;
  for (;;) {
    const int rc = WaitForLine(limit, heard);
    if (rc == kExchangeNotSent) return rc;  // the port closed: no answer can come
    const bool timedOut = rc != kExchangeOk;
    if (timedOut) {
      // A last line that never got its end is looked at once before giving up.
      std::optional<QByteArray> tail = heard.Assembler.Flush();
      if (!tail) return kExchangeTimeout;
      heard.Lines.append(*tail);
    }
    bool passedOver = false;
    while (!heard.Lines.isEmpty()) {
      const QByteArray s = UpperAscii(TrimCodes(heard.Lines.takeFirst()));
      if (s.isEmpty() && !wanted.isEmpty()) continue;  // a blank line is no answer
      ++attempt;
      if (s == "ERROR" || attempt == kMaxAnswers) {
        Monitor->Add(Latin1(heard.Text));
        return kExchangeRefused;
      }
      if (s == wanted) {
        Monitor->Add(Latin1(heard.Text));
        return kExchangeOk;
      }
      passedOver = true;
    }
    if (timedOut) return kExchangeTimeout;
    if (passedOver) heard.Text = heard.Assembler.Partial();
  }
}

void TModemF::ThreadedTimer1Timer() {
  ++TickCount;
  if (TickCount >= kTickWrap) {
    TickCount = 0;
    ShowMessage(QStringLiteral("Counter1 reaced limit"));
  }
}

void TModemF::ComPort1TriggerAvail(uint16_t count) {
  DataReceived = true;
  ReceivedText.clear();
  ReceivedText.reserve(count);
  for (uint16_t i = 0; i < count; ++i)
    ReceivedText.append(static_cast<char>(ComPort1.ReceiveChar()));
  if (answer_ && OnUnsolicitedLine) {
    answer_->Hear(ReceivedText, OnUnsolicitedLine);
  } else if (answer_) {
    answer_->Hear(ReceivedText);
  }
  if (EchoToSpecMemo && OnSpecMemoEcho) OnSpecMemoEcho(ReceivedText);
  const bool samples = OnVoiceData && OnVoiceData(count);
  if (answer_ || samples || !OnUnsolicitedLine) {
    unsolicited_.Reset();
    return;
  }
  for (const QByteArray& line : unsolicited_.Feed(ReceivedText)) OnUnsolicitedLine(line);
}

void TModemF::SwitchEchoOff() {
  if (PortIsOpen) ComPort1.SendString(kEchoOff);
}

void TModemF::ComPort1PortOpen() {
  unsolicited_.Reset();
  PortIsOpen = true;
  PortLost = false;
  Monitor->Add(QStringLiteral("Com port opened..."));
  if (OnStatusText) OnStatusText(QStringLiteral(" Modem on"));
}

void TModemF::ComPort1PortClose() {
  PortIsOpen = false;
  Monitor->Add(QStringLiteral("Com port closed..."));
  if (OnStatusText) OnStatusText(QStringLiteral(" Modem off"));
  unsolicited_.Reset();
  if (OnPortClosed) OnPortClosed();
}

// Runs after ComPort1PortClose: the port is closed already.
void TModemF::ComPort1PortLost() {
  PortLost = true;
  Monitor->Add(QStringLiteral("Modem disconnected..."));
  if (OnPortLost) OnPortLost();
}
