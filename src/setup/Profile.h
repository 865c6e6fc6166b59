#pragma once
#include <cstdint>

#include "setup/IniFile.h"
#include "setup/ModemParams.h"

// Reads the whole profile from the store: the fields of `profile`, the voice-features
// flag and the modem link's answer time-out factor.
void LoadProfile(const TIniFile& ini, TModemParams& profile, bool& voicefeatures,
                 int32_t& timeoutFactor);

// True when a modem is configured: the file exists and Modem/port (default 0) is not 0.
bool ModemConfigured(const TIniFile& ini);
