// Load and store times of a large call list, and the cost of one settings write.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

#include "calls/CallFile.h"
#include "setup/IniFile.h"

namespace {
constexpr int kRecords = 10000;
constexpr int kIniWrites = 200;
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  const QString path = dir.filePath(kCallFileName);
  std::vector<TCallRecord> list(kRecords);
  for (int i = 0; i < kRecords; ++i) {
    TCallRecord& r = list[static_cast<size_t>(i)];
    r.FileName = QStringLiteral("ABCDEF");
    r.Date = QStringLiteral("12/8/26");
    r.Time = QStringLiteral("10:15:02");
    r.Duration = QStringLiteral("1:6");
    r.Memo = QStringLiteral("memo number %1").arg(i);
  }
  QElapsedTimer t;
  t.start();
  if (SaveCallFile(path, list)) return 1;
  std::printf("calls_save_10000_ms: %.2f\n", t.nsecsElapsed() / 1e6);
  t.restart();
  const std::vector<TCallRecord> loaded = LoadCallFile(path);
  std::printf("calls_load_10000_ms: %.2f\n", t.nsecsElapsed() / 1e6);
  if (loaded.size() != list.size()) return 1;

  TIniFile ini(dir.filePath(QStringLiteral("Tavrin.ini")));
  for (int i = 0; i < 40; ++i) ini.WriteString("Modem", QStringLiteral("Key%1").arg(i), "none");
  t.restart();
  for (int i = 0; i < kIniWrites; ++i) ini.WriteInteger("params", "MainTop", i);
  std::printf("ini_write_us: %.1f\n", t.nsecsElapsed() / 1e3 / kIniWrites);
  t.restart();
  for (int i = 0; i < kIniWrites; ++i) ini.ReadString("Modem", "Key39", "");
  std::printf("ini_read_us: %.1f\n", t.nsecsElapsed() / 1e3 / kIniWrites);
  return 0;
}
