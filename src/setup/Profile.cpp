#include "setup/Profile.h"

#include <QFileInfo>

namespace {
const QString kModem = QStringLiteral("Modem");
const QString kParams = QStringLiteral("Params");
constexpr int32_t kDefaultPort = 1;
constexpr int32_t kDefaultSamplingFreq = 8000;
constexpr int32_t kDefaultTimeout = 500;
}  // namespace

void LoadProfile(const TIniFile& ini, TModemParams& p, bool& voicefeatures,
                 int32_t& timeoutFactor) {
  auto text = [&](const char* key) {
    return ini.ReadString(kModem, QLatin1String(key), QString());
  };
  p.DriverDate = text("DriverDate");
  p.Manufacturer = text("Manufacturer");
  p.DeviceDesc = text("DeviceDesc");
  p.Model = text("Model");
  p.Reset = text("Reset");
  p.answer = text("answer");
  p.monitor = text("monitor");
  p.port = ini.ReadInteger(kModem, QStringLiteral("port"), kDefaultPort);
  p.VoiceMode = text("VoiceMode");
  p.InitVoice = text("InitVoice");
  p.DisCallerId = text("DisCallerId");
  p.ForCallerId = text("ForCallerId");
  p.UnfCallerId = text("UnfCallerId");
  p.Distinctive = text("Distinctive");
  p.SpeakerVol = text("SpeakerVol");
  p.VoiceCompression = text("VoiceCompression");
  p.LineSel_T = text("LineSel_T");
  p.LineSel_TRes = text("LineSel_T#");
  p.LineSel_LT = text("LineSel_LT");
  p.LineSel_LTRes = text("LineSel_LT#");
  p.LineSel_ST = text("LineSel_ST");
  p.LineSel_STRes = text("LineSel_ST#");
  p.LineSel_MST = text("LineSel_MST");
  p.LineSel_MSTRes = text("LineSel_MST#");
  p.BeepTone = text("BeepTone");
  p.SilenceTimer = text("SilenceTimer");
  p.ToneGeneration = text("ToneGeneration");
  p.VoiceProcess = text("VoiceProcess");
  p.VoiceTrx = text("VoiceTrx");
  p.VoiceRec = text("VoiceRec");
  p.RecGain = text("RecGain");
  p.SpeakerOn = text("SpeakerOn");
  p.SpeakerOff = text("SpeakerOff");
  p.MicGain = text("MicGain");
  p.SpeakerGain = text("SpeakerGain");
  p.SamplingFreq = ini.ReadInteger(kModem, QStringLiteral("SamplingFreq"), kDefaultSamplingFreq);
  p.Compression = ini.ReadString(kParams, QStringLiteral("Compression"), QString());
  voicefeatures = ini.ReadBool(kParams, QStringLiteral("Voicefeatures"), true);
  p.UseLine = ini.ReadString(kParams, QStringLiteral("UseLine"), QString());
  p.UseLineRes = ini.ReadString(kParams, QStringLiteral("UseLineRes"), QString());
  timeoutFactor = ini.ReadInteger(kParams, QStringLiteral("Timeout"), kDefaultTimeout);
}

bool ModemConfigured(const TIniFile& ini) {
  return QFileInfo::exists(ini.FileName()) &&
         ini.ReadInteger(kModem, QStringLiteral("port"), 0) != 0;
}
