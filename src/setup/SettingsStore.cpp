#include "setup/SettingsStore.h"

#include <QDir>

#include "setup/Shared.h"

TIniFile& OpenSettingsStore() {
  if (!SettingsFile) {
    SettingsFile =
        std::make_unique<TIniFile>(QDir(StartDirectory).filePath(QLatin1String(kSettingsFileName)));
  }
  return *SettingsFile;
}
