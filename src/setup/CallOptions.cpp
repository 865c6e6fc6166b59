#include "setup/CallOptions.h"

#include <algorithm>

#include "setup/IniFile.h"
#include "setup/ModemLink.h"
#include "setup/ModemParams.h"
#include "setup/SettingsStore.h"

TCallOptions LoadCallOptions(const TIniFile& ini) {
  TCallOptions o;
  o.CallerId = ini.ReadBool(kParamsSection, kCallerIdKey, false);
  o.StopOnHangUp = ini.ReadBool(kParamsSection, kStopOnHangUpKey, false);
  o.NotifyCalls = ini.ReadBool(kParamsSection, kNotifyCallsKey, false);
  o.SilenceSeconds = std::clamp(ini.ReadInteger(kParamsSection, QStringLiteral("SilenceSeconds"),
                                                TCallOptions::kDefaultSilenceSeconds),
                                1, TCallOptions::kMaxSilenceSeconds);
  return o;
}

QString CallerIdCommand(const TCallOptions& options, const TModemParams& profile) {
  const QString command = profile.ForCallerId.trimmed();
  if (!options.CallerId || command.isEmpty() ||
      command.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0) {
    return QString();
  }
  return command;
}

bool WatchesCalls(const TCallOptions& options, const TModemParams& profile) {
  return options.NotifyCalls || !CallerIdCommand(options, profile).isEmpty();
}

int SwitchCallerIdOn(IModemLink& link, const TCallOptions& options, const TModemParams& profile) {
  const QString command = CallerIdCommand(options, profile);
  if (command.isEmpty()) return kExchangeOk;
  return link.SendAndExpect(command.toLatin1(), QStringLiteral("Setting caller ID.."),
                            QStringLiteral("OK"));
}
