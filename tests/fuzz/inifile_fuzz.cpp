// The settings file parser, through a real temporary file: any content reads without
// harm, and a value written is read back (write-through) while the file stays parseable.
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzCheck.h"

#include "setup/IniFile.h"

namespace {

const QString& Path() {
  static const QString path = [] {
    // In memory where there is a tmpfs: every write of the store syncs the file.
    char pattern[] = "/dev/shm/tavrin-fuzz-ini-XXXXXX";
    char fallback[] = "/tmp/tavrin-fuzz-ini-XXXXXX";
    char* chosen = pattern;
    int fd = ::mkstemp(pattern);
    if (fd < 0) {
      chosen = fallback;
      fd = ::mkstemp(fallback);
    }
    if (fd < 0) std::abort();
    ::close(fd);
    static std::string name = chosen;
    std::atexit([] { ::unlink(name.c_str()); });
    return QString::fromLocal8Bit(chosen);
  }();
  return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    QFile f(Path());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    f.write(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  }
  TIniFile ini(Path());
  const QString before = ini.ReadString(QStringLiteral("Modem"), QStringLiteral("Model"), {});
  ini.ReadInteger(QStringLiteral("Modem"), QStringLiteral("port"), 0);
  ini.ReadBool(QStringLiteral("Params"), QStringLiteral("Voicefeatures"), true);
  ini.WriteInteger(QStringLiteral("params"), QStringLiteral("MainTop"), 146);
  Check(ini.ReadInteger(QStringLiteral("Params"), QStringLiteral("maintop"), 0) == 146);
  ini.WriteString(QStringLiteral("Fuzz"), QStringLiteral("Key"), QStringLiteral("v=1;x"));
  Check(ini.ReadString(QStringLiteral("FUZZ"), QStringLiteral("key"), {}) == "v=1;x");
  // Writing other keys leaves a value that was there alone.
  Check(ini.ReadString(QStringLiteral("Modem"), QStringLiteral("Model"), {}) == before);
  return 0;
}
