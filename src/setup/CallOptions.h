#pragma once
// What the program does about the calls themselves, beyond recording them: all off
// unless the user turns them on in the settings window.
#include <QString>
#include <cstdint>

class TIniFile;

struct TCallOptions {
  static constexpr int32_t kDefaultSilenceSeconds = 5;
  static constexpr int32_t kMaxSilenceSeconds = 3600;

  bool CallerId = false;      // Params/CallerId: show and store the caller's number
  bool StopOnHangUp = false;  // Params/StopOnHangUp: a recording ends when the call does
  bool NotifyCalls = false;   // Params/NotifyCalls: the desktop is told of each call
  // Params/SilenceSeconds: this much silence on the line ends the call (1 to 3600).
  int32_t SilenceSeconds = kDefaultSilenceSeconds;
};

// The keys of section Params; an absent or malformed one reads as its default, a
// silence outside 1..3600 s as the nearest bound.
TCallOptions LoadCallOptions(const TIniFile& ini);

struct TModemParams;
class IModemLink;

// The profile's command that switches caller ID reporting on (Modem/ForCallerId), when
// caller ID is in use and the modem has one; empty otherwise.
QString CallerIdCommand(const TCallOptions& options, const TModemParams& profile);

// Whether the lines the modem sends about calls are to be read: for the caller ID (the
// modem has the command to switch it on), or for the desktop's notice.
bool WatchesCalls(const TCallOptions& options, const TModemParams& profile);

// Sends that command, when there is one, as an exchange logged "Setting caller ID..";
// the exchange's result, or kExchangeOk when nothing was to be sent.
int SwitchCallerIdOn(IModemLink& link, const TCallOptions& options, const TModemParams& profile);
