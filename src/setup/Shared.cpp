#include "setup/Shared.h"

QString StartDirectory;
std::unique_ptr<TIniFile> SettingsFile;
TModemParams CurrentProfile;
bool Voicefeatures = true;
TCallOptions CallOptions;
