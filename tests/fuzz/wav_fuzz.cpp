// The WAV parser of playback: nothing it accepts points outside the image, and the
// header the recorder writes parses back to what it declares.
#include <QtEndian>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "FuzzCheck.h"

#include "sound/VoiceStream.h"
#include "sound/WavFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray image(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (const auto info = ParseWav(image)) {
    Check(info->dataOffset >= 12 && info->dataLength >= 0);
    Check(info->dataOffset + info->dataLength <= image.size());
    Check(info->blockAlign > 0 && info->dataLength % info->blockAlign == 0);
    Check(info->LengthMs() >= 0);
  }
  if (size >= 4) {
    const uint32_t rate = qFromLittleEndian<uint32_t>(data) | 1;
    TVoiceStream s;
    const auto n = static_cast<uint32_t>(size - 4);
    WriteWavHeader(s, n, rate);
    s.Write(reinterpret_cast<const char*>(data) + 4, n);
    const auto back = ParseWav(s.Data());
    Check(back && back->samplesPerSecond == rate && back->dataLength == n &&
          back->dataOffset == kWavHeaderSize && back->bitsPerSample == 8 && back->channels == 1);
  }
  return 0;
}
