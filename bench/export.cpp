// What the export costs.
//   export_flac_realtime_x, export_opus_realtime_x: a one-hour call at 8000 samples/s
//     exported, as a multiple of real time (3600 s divided by the seconds it took)
//   export_flac_bytes_per_s, export_opus_bytes_per_s: the exported file's size per second
//     of the call (the recording itself is 8000 bytes/s)
//   export_opus_11025_realtime_x: the same hour at 11025/s, which Opus takes converted
//     to 12000/s
//   csv_10000_ms: the CSV of 10 000 calls made and written
//   filter_ms, filter_ms_max: one keystroke in the main window's search over 10 000
//     calls, until the grid shows the calls it lets through (mean and worst of a word
//     typed and taken back)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "app/MainFormTestSupport.h"
#include "calls/CallNames.h"
#include "export/CallCsv.h"
#include "export/CallExport.h"
#include "sound/VoiceStream.h"
#include "sound/WavFormat.h"

namespace {
constexpr int kCallSeconds = 3600;
constexpr int kListCalls = 10000;

// Something like speech on a telephone line: a voiced buzz whose pitch wanders, in
// syllables and pauses, over line noise.
QByteArray SpeechLike(uint32_t rate, int seconds) {
  std::mt19937 gen(11);
  std::normal_distribution<double> noise(0, 2);
  QByteArray s(static_cast<qsizetype>(rate) * seconds, '\0');
  double phase = 0;
  for (qsizetype i = 0; i < s.size(); ++i) {
    const double t = double(i) / rate;
    const double pitch = 140 + 40 * std::sin(2 * M_PI * 0.3 * t);
    phase += 2 * M_PI * pitch / rate;
    const double syllable = std::max(0.0, std::sin(2 * M_PI * 3.1 * t));
    const double talking = std::fmod(t, 7.0) < 4.5 ? 1.0 : 0.0;  // turns and pauses
    double v = 0;
    for (int h = 1; h <= 8; ++h) v += std::sin(h * phase) / h;
    s[i] =
        static_cast<char>(std::clamp(128.0 + 45 * v * syllable * talking + noise(gen), 0.0, 255.0));
  }
  return s;
}

QByteArray Wav(const QByteArray& samples, uint32_t rate) {
  TVoiceStream stream;
  stream.Assign(QByteArray(kWavHeaderSize, '\0'));
  WriteWavHeader(stream, static_cast<uint32_t>(samples.size()), rate);
  return stream.Data().left(kWavHeaderSize) + samples;
}

TCallRecord Call(const QString& name, int i) {
  TCallRecord r;
  r.FileName = name;
  const QDateTime at = QDateTime(QDate(2024, 1, 1), QTime(8, 0)).addSecs(600LL * i);
  r.Date = ShortDateText(at.date());
  r.Time = LongTimeText(at.time());
  r.Duration = QStringLiteral("%1:%2").arg(i % 60).arg(i % 59);
  static const char* names[] = {"ANNA SMITH", "BOB JONES", "CLARA, the plumber", "Jürgen"};
  r.Memo = QStringLiteral("555%1 %2").arg(1000 + i % 9000).arg(QString::fromUtf8(names[i % 4]));
  return r;
}

// A Tavrin folder holding a one-hour call.
struct THourFolder {
  QTemporaryDir dir;
  bool ok = false;
  explicit THourFolder(uint32_t rate) {
    QDir(dir.path()).mkpath(QStringLiteral("wav"));
    QFile f(dir.filePath(QStringLiteral("wav/HOURAB.wav")));
    ok = f.open(QIODevice::WriteOnly) && f.write(Wav(SpeechLike(rate, kCallSeconds), rate)) > 0;
  }
};

bool ExportHour(const THourFolder& hour, const QString& label, TExportFormat format,
                bool printSize) {
  const QString out = hour.dir.filePath(QStringLiteral("out-") + label);
  QElapsedTimer t;
  t.start();
  const TExportReport report =
      ExportCalls({Call(QStringLiteral("HOURAB"), 0)}, {hour.dir.path(), out, format});
  const double seconds = t.nsecsElapsed() / 1e9;
  if (!hour.ok || !report.Complete() || report.exported.size() != 1) {
    std::fprintf(stderr, "%s: the export failed\n", qPrintable(label));
    return false;
  }
  std::printf("export_%s_realtime_x: %.1f\n", qPrintable(label), kCallSeconds / seconds);
  if (printSize) {
    const qint64 bytes = QFileInfo(QDir(out).filePath(report.exported[0].file)).size();
    std::printf("export_%s_bytes_per_s: %.0f\n", qPrintable(label), double(bytes) / kCallSeconds);
  }
  return true;
}

bool CsvTime() {
  QTemporaryDir dir;
  std::vector<TCallRecord> calls;
  for (int i = 0; i < kListCalls; ++i) calls.push_back(Call(FileNameFromNumber(i), i));
  std::vector<TSkippedCall> skipped;
  QElapsedTimer t;
  t.start();
  if (WriteCallListCsv(dir.filePath(QStringLiteral("calls.csv")), calls, &skipped) ||
      !skipped.empty()) {
    return false;
  }
  std::printf("csv_10000_ms: %.1f\n", t.nsecsElapsed() / 1e6);
  return true;
}

bool FilterTime() {
  MainFormFixture fx;
  fx.Write(QStringLiteral("Tavrin.ini"), "[Modem]\nport=1\n");
  std::vector<TCallRecord> calls;
  for (int i = 0; i < kListCalls; ++i) calls.push_back(Call(FileNameFromNumber(i), i));
  SaveCallFile(fx.Path(QString::fromLatin1(kCallFileName)), calls);
  TMainForm& form = fx.Start();
  if (form.CallCount() != kListCalls) return false;
  // A word typed and taken back, key by key: the list narrows, then widens again.
  const QString word = QStringLiteral("jones 5553");
  std::vector<double> ms;
  auto key = [&](auto press) {
    QElapsedTimer t;
    t.start();
    press();
    QCoreApplication::processEvents();  // the grid's own updates
    ms.push_back(t.nsecsElapsed() / 1e6);
  };
  // (The field's own editing, as a key press does it.)
  for (const QChar c : word) key([&] { form.SearchEdit1->insert(QString(c)); });
  for (qsizetype i = 0; i < word.size(); ++i) key([&] { form.SearchEdit1->backspace(); });
  if (form.RowCount() != kListCalls + 1) return false;
  double sum = 0;
  for (const double m : ms) sum += m;
  std::printf("filter_ms: %.1f\n", sum / double(ms.size()));
  std::printf("filter_ms_max: %.1f\n", *std::max_element(ms.begin(), ms.end()));
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const THourFolder at8000(8000);
  bool ok = ExportHour(at8000, QStringLiteral("flac"), TExportFormat::kFlac, true) &&
            ExportHour(at8000, QStringLiteral("opus"), TExportFormat::kOpus, true);
  {
    const THourFolder at11025(11025);
    ok = ok && ExportHour(at11025, QStringLiteral("opus_11025"), TExportFormat::kOpus, false);
  }
  ok = ok && CsvTime() && FilterTime();
  return ok ? 0 : 1;
}
