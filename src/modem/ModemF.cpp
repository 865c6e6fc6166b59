#include "modem/ModemF.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
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
constexpr int32_t kRates[] = {150,   300,   600,   1200,  2400,  4800,  9600,
                              14400, 19200, 38400, 56000, 57600, 115200};

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

void TModemF::TAnswer::Feed(QByteArrayView chunk,
                            const std::function<bool(const QByteArray&)>& takes) {
  // Byte by byte, so that each line knows where it ended in the text.
  for (const char c : chunk) {
    const char paired = std::exchange(DropBreak, 0);
    const bool kept = Text.size() < kMaxAnswerBytes && !(paired != 0 && c == paired);
    if (kept) Text += c;
    for (QByteArray& line : Assembler.Feed(QByteArrayView(&c, 1))) {
      if (!takes || !takes(line)) {
        Lines.append({std::move(line), Text.size()});
      } else if (kept && IsLineBreak(c) && Text.size() >= line.size() + 1) {
        Text.chop(line.size() + 1);
        DropBreak = c == '\r' ? '\n' : '\r';
        RemoveFramingBreak(Text);
      } else if (kept && Text.size() >= line.size() + 1) {
        Text.remove(Text.size() - 1 - line.size(), line.size());  // a line cut at its limit
      }
      // Otherwise the text was cut short before the line: it is left as it is.
    }
  }
}

QByteArray TModemF::TAnswer::MonitorText() const {
  qsizetype from = std::min(MonitorFrom, Text.size());
  // The second half of a CR LF or LF CR that ended the line passed over belongs to it.
  if (from > 0 && from < Text.size()) {
    const char end = Text[from - 1];
    const char next = Text[from];
    if ((end == '\r' && next == '\n') || (end == '\n' && next == '\r')) ++from;
  }
  return Text.mid(from);
}

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
    for (const TAnswer::TLine& line : std::as_const(heard.Lines)) {
      complete |= IsFinalResult(line.Text);
    }
    heard.Lines.clear();
    complete |= heard.Text.size() >= kMaxAnswerBytes;
  }
  QByteArray reply = heard.Text;
  RemoveFirst(reply, "ok");
  RemoveFirst(reply, "OK");
  answer = TrimCodes(reply);
  return kExchangeOk;
}

// Each non-blank line is one answer; an echoed command is a line passed over like any
// other. The monitor gets the text as received since the last answer that was passed over.
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
      heard.Lines.append({*tail, heard.Text.size()});
    }
    while (!heard.Lines.isEmpty()) {
      const TAnswer::TLine line = heard.Lines.takeFirst();
      const QByteArray s = UpperAscii(TrimCodes(line.Text));
      if (s.isEmpty() && !wanted.isEmpty()) continue;  // a blank line is no answer
      ++attempt;
      if (s == "ERROR" || attempt == kMaxAnswers) {
        Monitor->AddReceived(heard.MonitorText());
        return kExchangeRefused;
      }
      if (s == wanted) {
        Monitor->AddReceived(heard.MonitorText());
        return kExchangeOk;
      }
      heard.PassOver(line);
    }
    if (timedOut) return kExchangeTimeout;
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
  ReceivedText.resize(0);  // keeps its room for the next chunk
  ComPort1.ReceiveChars(count, ReceivedText);
  if (answer_) answer_->Feed(ReceivedText, OnUnsolicitedLine);
  if (EchoToSpecMemo && OnSpecMemoEcho) OnSpecMemoEcho(ReceivedText);
  const bool samples = OnVoiceData && OnVoiceData(count);
  if (answer_ || samples || !OnUnsolicitedLine) {
    unsolicited_.Reset();
    return;
  }
  for (const QByteArray& line : unsolicited_.Feed(ReceivedText)) OnUnsolicitedLine(line);
}

void TModemF::ComPort1PortOpen() {
  unsolicited_.Reset();
  PortIsOpen = true;
  PortLost = false;
  Monitor->Add(QStringLiteral("Com port opened..."));
  if (OnStatusText) OnStatusText(QLatin1String(kModemOnText));
}

void TModemF::ComPort1PortClose() {
  PortIsOpen = false;
  Monitor->Add(QStringLiteral("Com port closed..."));
  if (OnStatusText) OnStatusText(QLatin1String(kModemOffText));
  unsolicited_.Reset();
  if (OnPortClosed) OnPortClosed();
}

// Runs after ComPort1PortClose: the port is closed already.
void TModemF::ComPort1PortLost() {
  PortLost = true;
  Monitor->Add(QStringLiteral("Modem disconnected..."));
  if (OnPortLost) OnPortLost();
}
