// The two range probes of the commit: line selection ("at+vls=?") and compression
// ("at+vsm=?"). Both write their keys to the settings file themselves.
#include <QCoreApplication>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTimer>
#include <optional>

#include "serial/SerialPort.h"
#include "setup/Dialogs.h"
#include "setup/ModemLink.h"
#include "setup/ModemText.h"
#include "setup/SettingsStore.h"
#include "setup/Shared.h"
#include "setup/SpecModemForm.h"

namespace {
constexpr int kCollectGuardTicks = 8;
// Counted from 1: a modem that has sent nothing after 19 ticks has no answer. One that
// is answering gets time for its final result while it does not fall silent, up to the
// limit.
constexpr int32_t kCollectEndTick = 20;
constexpr int32_t kCollectQuietTicks = 50;
constexpr int32_t kCollectLimitTick = 500;

// The profile fields of each line type, in the order of kLineTypes.
QString TModemParams::*const kLineFields[] = {&TModemParams::LineSel_T, &TModemParams::LineSel_LT,
                                              &TModemParams::LineSel_ST,
                                              &TModemParams::LineSel_MST};
QString TModemParams::*const kLineResFields[] = {
    &TModemParams::LineSel_TRes, &TModemParams::LineSel_LTRes, &TModemParams::LineSel_STRes,
    &TModemParams::LineSel_MSTRes};
}  // namespace

void TSpecModemForm::Timer1Timer() {
  ++AnswerTicks;
}

void TSpecModemForm::Button1Click() {
  ChooseCompression();
}

// The window ends at the modem's final result, so that neither a slow modem's late
// lines are lost nor a fast one is waited for.
bool TSpecModemForm::CollectionOver() const {
  if (finalResultSeen_ || AnswerTicks >= kCollectLimitTick) return true;
  if (AnswerTicks < kCollectEndTick) return false;
  return !answerStarted_ || AnswerTicks - lastChunkTick_ >= kCollectQuietTicks;
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
  answerLines_.Reset();
  finalResultSeen_ = false;
  answerStarted_ = false;
  AnswerTicks = 1;
  lastChunkTick_ = AnswerTicks;
  port.SendString(text);
  Memo1->clear();
  AppendMemoText(text);
  Timer1->start();
  while (!CollectionOver() && port.Open()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  Timer1->stop();
  link_.EchoToSpecMemo = false;
  // A last line still without its end is part of the answer all the same.
  if (const std::optional<QByteArray> tail = answerLines_.Flush()) {
    Memo1->appendPlainText(QString::fromLatin1(*tail));
  }
  RequirePort();
  return true;
}

void TSpecModemForm::ProbeLineSelection() {
  TIniFile& ini = OpenSettingsStore();
  probedLineTypes_ = 0;
  CollectAnswer(QStringLiteral("at+vls=?"));
  ini.WriteString(kModemSection, QStringLiteral("LineSel_T"), CurrentProfile.LineSel_T);
  ini.WriteString(kModemSection, QStringLiteral("LineSel_T#"), QStringLiteral("ok"));
  CurrentProfile.LineSel_TRes = QStringLiteral("ok");
  probedLineTypes_ |= 1u;

  for (const QString& raw : MemoLines()) {
    const QString line = TrimCodes(raw);
    if (line.isEmpty()) continue;
    const TLineOffer offer = ParseLineOffer(line);
    for (int type = 0; type < kLineTypeCount; ++type) {
      if (LabelIsLineType(offer.Label, QLatin1String(kLineTypes[type]))) {
        ProbeLine(ini, type, offer.Number);
      }
    }
  }
}

// Stores the select command of one listed line type and how the modem answered it.
void TSpecModemForm::ProbeLine(TIniFile& ini, int type, const QString& number) {
  const QString key = QStringLiteral("LineSel_") + QLatin1String(kLineTypes[type]);
  const QString command = QStringLiteral("at+vls=") + number;
  CurrentProfile.*kLineFields[type] = command;
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
  CurrentProfile.*kLineResFields[type] = result;
  probedLineTypes_ |= static_cast<uint8_t>(1u << type);
  ini.WriteString(kModemSection, key + QLatin1Char('#'), result);
  link_.SendAndExpect(QByteArrayLiteral("at+vls=0"), QString(), QStringLiteral("ok"));
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
