#pragma once
// Serial device paths configured by the user: section [Ports] of Tavrin.ini, keys "COM1",
// "COM2", ... (for example COM1=/dev/ttyUSB0).
#include <QString>
#include <optional>
#include <string>

std::optional<std::string> ConfiguredPortPath(const QString& iniPath, int portNumber);

// Makes the serial layer look paths up in `iniPath` (read afresh on every lookup).
void InstallPortMapSource(const QString& iniPath);
