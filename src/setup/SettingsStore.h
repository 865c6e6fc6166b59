#pragma once
// The settings store as the discovery windows use it.
#include <QString>

class TIniFile;

inline const QString kModemSection = QStringLiteral("Modem");
inline const QString kParamsSection = QStringLiteral("Params");
inline const QString kCallerIdKey = QStringLiteral("CallerId");
inline const QString kStopOnHangUpKey = QStringLiteral("StopOnHangUp");
inline const QString kNotifyCallsKey = QStringLiteral("NotifyCalls");

// SettingsFile, opened on Tavrin.ini in StartDirectory when nobody has opened it yet.
// The store keeps no cache, so this is always the same file.
TIniFile& OpenSettingsStore();
