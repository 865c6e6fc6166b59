#pragma once
// One modem's profile: one text per settings key, plus the port number and the
// sampling rate. The fields ending in Res hold the keys ending in "#".
#include <QString>
#include <cstdint>

struct TModemParams {
  QString DriverDate, Manufacturer, DeviceDesc, Model, Reset, answer, monitor;
  QString PortName;  // "com" + port, shown by the modem list; never stored
  int32_t port = 0;
  int32_t SamplingFreq = 0;
  QString VoiceMode, InitVoice, DisCallerId, ForCallerId, UnfCallerId, Distinctive, SpeakerVol;
  QString LineSel_T, LineSel_TRes, LineSel_LT, LineSel_LTRes, LineSel_ST, LineSel_STRes,
      LineSel_MST, LineSel_MSTRes;
  QString BeepTone, SilenceTimer, ToneGeneration, VoiceProcess, VoiceTrx, VoiceRec,
      VoiceCompression, RecGain, SpeakerOn, SpeakerOff, MicGain, Compression, SpeakerGain, UseLine,
      UseLineRes;
};
