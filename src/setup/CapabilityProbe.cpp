// The two range probes of the commit: line selection ("at+vls=?") and compression
// ("at+vsm=?"). Both write their keys to the settings file themselves.
#include <QCoreApplication>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTimer>

#include "serial/SerialPort.h"
#include "setup/Dialogs.h"
#include "setup/ModemLink.h"
#include "setup/ModemText.h"
#include "setup/SettingsStore.h"
#include "setup/Shared.h"
#include "setup/SpecModemForm.h"

namespace {
constexpr int kCollectGuardTicks = 8;
constexpr int32_t kCollectEndTick = 20;  // counted from 1: 19 ticks of answers

QString TModemParams::*LineField(const QString& type) {
  if (type == QLatin1String("T")) return &TModemParams::LineSel_T;
  if (type == QLatin1String("LT")) return &TModemParams::LineSel_LT;
  if (type == QLatin1String("ST")) return &TModemParams::LineSel_ST;
  return &TModemParams::LineSel_MST;
}

QString TModemParams::*LineResField(const QString& type) {
  if (type == QLatin1String("T")) return &TModemParams::LineSel_TRes;
  if (type == QLatin1String("LT")) return &TModemParams::LineSel_LTRes;
  if (type == QLatin1String("ST")) return &TModemParams::LineSel_STRes;
  return &TModemParams::LineSel_MSTRes;
}
}  // namespace

void TSpecModemForm::Timer1Timer() {
  ++AnswerTicks;
}

void TSpecModemForm::Button1Click() {
  ChooseCompression();
}

bool TSpecModemForm::CollectAnswer(const QString& query) {
  link_.WaitTicks(kCollectGuardTicks);
  link_.EchoToSpecMemo = true;
  const QByteArray text = query.toLatin1() + '\r';
  TSerialPort& port = link_.Port();
  if (port.OutputSpace() < text.size()) {
    link_.EchoToSpecMemo = false;
    return false;
  }
  port.SendString(text);
  Memo1->clear();
  AddMemoLine(text);
  // Answers to range queries come in many chunks: gather all that arrive in a fixed time.
  Timer1->start();
  AnswerTicks = 1;
  while (AnswerTicks < kCollectEndTick && port.Open()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  Timer1->stop();
  link_.EchoToSpecMemo = false;
  RequirePort();
  return true;
}

void TSpecModemForm::ProbeLineSelection() {
  TIniFile& ini = OpenSettingsStore();
  CollectAnswer(QStringLiteral("at+vls=?"));
  ini.WriteString(kModemSection, QStringLiteral("LineSel_T"), CurrentProfile.LineSel_T);
  ini.WriteString(kModemSection, QStringLiteral("LineSel_T#"), QStringLiteral("ok"));
  CurrentProfile.LineSel_TRes = QStringLiteral("ok");

  for (const QString& raw : MemoLines()) {
    const QString line = TrimCodes(raw);
    if (line.isEmpty()) continue;
    const TLineOffer offer = ParseLineOffer(line);
    for (const char* typeName : kLineTypes) {
      const QString type = QLatin1String(typeName);
      if (!LabelIsLineType(offer.Label, type)) continue;
      const QString key = QStringLiteral("LineSel_") + type;
      const QString command = QStringLiteral("at+vls=") + offer.Number;
      CurrentProfile.*LineField(type) = command;
      ini.WriteString(kModemSection, key, command);
      QString result;
      if (link_.SendAndExpect(command.toLatin1(), QString(), QStringLiteral("ok")) == kExchangeOk) {
        result = QStringLiteral("ok");
      } else if (link_.SendAndExpect(command.toLatin1(), QString(), QStringLiteral("vcon")) ==
                 kExchangeOk) {
        result = QStringLiteral("vcon");
      } else {
        result = QStringLiteral("error");
      }
      CurrentProfile.*LineResField(type) = result;
      ini.WriteString(kModemSection, key + QLatin1Char('#'), result);
      link_.SendAndExpect(QByteArrayLiteral("at+vls=0"), QString(), QStringLiteral("ok"));
    }
  }
}

void TSpecModemForm::ChooseCompression() {
  TIniFile& ini = OpenSettingsStore();
  CollectAnswer(QStringLiteral("at+vsm=?"));
  for (const QString& raw : MemoLines()) {
    const QString line = TrimCodes(raw);
    if (line.isEmpty() || !ParseCapabilityLine(line, Cap)) continue;
    const std::optional<QString> coding = CodingOf(Cap);
    // A rate we cannot store as a number would make a broken profile: try the next line.
    if (!coding || !RateIsDecimal(Cap)) continue;
    CurrentProfile.VoiceCompression = BuildCompressionCommand(Cap);
    CurrentProfile.SamplingFreq = Cap.CapRate.toInt();
    CurrentProfile.Compression = *coding;
    ini.WriteString(kModemSection, QStringLiteral("VoiceCompression"),
                    CurrentProfile.VoiceCompression);
    ini.WriteInteger(kModemSection, QStringLiteral("SamplingFreq"), CurrentProfile.SamplingFreq);
    ini.WriteString(kParamsSection, QStringLiteral("Compression"), CurrentProfile.Compression);
    return;
  }
  ShowMessage(QStringLiteral("Voice Compression codec can not be recognized"));
  CurrentProfile.VoiceCompression = QStringLiteral("at+vsm=none");
  CurrentProfile.SamplingFreq = 0;
  CurrentProfile.Compression.clear();
  ini.WriteString(kModemSection, QStringLiteral("VoiceCompression"),
                  CurrentProfile.VoiceCompression);
  ini.WriteInteger(kModemSection, QStringLiteral("SamplingFreq"), 0);
  ini.WriteString(kParamsSection, QStringLiteral("Compression"), QString());
}
