#pragma once
// Program-wide state shared by the windows. Touched by the UI thread only.
#include <QString>
#include <memory>

#include "setup/CallOptions.h"
#include "setup/IniFile.h"
#include "setup/ModemParams.h"

extern QString StartDirectory;                  // current directory when the main window was made
extern std::unique_ptr<TIniFile> SettingsFile;  // Tavrin.ini in StartDirectory
extern TModemParams CurrentProfile;             // the selected modem
extern bool Voicefeatures;                      // the modem accepted voice mode
extern TCallOptions CallOptions;                // read by each start sequence

inline constexpr const char* kSettingsFileName = "Tavrin.ini";
