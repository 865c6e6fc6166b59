#include "app/PortMapSource.h"

#include <QFile>

#include "serial/PortMap.h"
#include "setup/IniFile.h"

std::optional<std::string> ConfiguredPortPath(const QString& iniPath, int portNumber) {
  QString path;
  try {
    path = TIniFile(iniPath).ReadString(QStringLiteral("Ports"),
                                        QStringLiteral("COM%1").arg(portNumber), QString());
  } catch (const EIniError&) {
    return std::nullopt;  // the start sequence tells the user about the file
  }
  if (path.isEmpty()) {
    return std::nullopt;
  }
  return QFile::encodeName(path).toStdString();
}

void InstallPortMapSource(const QString& iniPath) {
  SetPortPathSource([iniPath](int n) { return ConfiguredPortPath(iniPath, n); });
}
