#include "sound/WavFormat.h"

#include <QtEndian>

#include "sound/VoiceStream.h"

namespace {
constexpr uint32_t kFmtChunkSize = 16;
constexpr uint16_t kFormatPcm = 1;
constexpr uint32_t kRiffHeaderRest = 36;  // header bytes after the RIFF size field, minus data

void Put32(TVoiceStream& s, uint32_t v) {
  char b[4];
  qToLittleEndian(v, b);
  s.Write(b, 4);
}
void Put16(TVoiceStream& s, uint16_t v) {
  char b[2];
  qToLittleEndian(v, b);
  s.Write(b, 2);
}
uint32_t Byte(const QByteArray& a, int64_t at) {
  return static_cast<uint8_t>(a.at(static_cast<qsizetype>(at)));
}
uint16_t Get16(const QByteArray& a, int64_t at) {
  return static_cast<uint16_t>(Byte(a, at) | Byte(a, at + 1) << 8);
}
uint32_t Get32(const QByteArray& a, int64_t at) {
  return Get16(a, at) | uint32_t(Get16(a, at + 2)) << 16;
}
}  // namespace

void WriteWavHeaderFields(TVoiceStream& stream, uint32_t riffDataLength, uint32_t dataLength,
                          uint32_t samplesPerSecond) {
  stream.SetPosition(0);
  stream.Write("RIFF", 4);
  Put32(stream, riffDataLength + kRiffHeaderRest);
  stream.Write("WAVE", 4);
  stream.Write("fmt ", 4);
  Put32(stream, kFmtChunkSize);
  Put16(stream, kFormatPcm);
  Put16(stream, 1);                 // channels
  Put32(stream, samplesPerSecond);  // samples per second
  Put32(stream, samplesPerSecond);  // bytes per second: one byte per sample
  Put16(stream, 1);                 // block alignment
  Put16(stream, 8);                 // bits per sample
  stream.Write("data", 4);
  Put32(stream, dataLength);
}

int64_t TWavInfo::LengthMs() const {
  const int64_t bytesPerSecond = int64_t(samplesPerSecond) * blockAlign;
  return bytesPerSecond > 0 ? dataLength * 1000 / bytesPerSecond : 0;
}

std::optional<TWavInfo> ParseWav(const QByteArray& image) {
  const int64_t size = image.size();
  if (size < 12 || image.first(4) != "RIFF" || image.sliced(8, 4) != "WAVE") return std::nullopt;
  TWavInfo info;
  bool haveFmt = false;
  int64_t at = 12;
  while (at + 8 <= size) {
    const QByteArray id = image.sliced(at, 4);
    const int64_t len = Get32(image, at + 4);
    const int64_t body = at + 8;
    if (id == "fmt ") {
      if (len < kFmtChunkSize || body + len > size) return std::nullopt;
      if (Get16(image, body) != kFormatPcm) return std::nullopt;
      info.channels = Get16(image, body + 2);
      info.samplesPerSecond = Get32(image, body + 4);
      info.blockAlign = Get16(image, body + 12);
      info.bitsPerSample = Get16(image, body + 14);
      haveFmt = true;
    } else if (id == "data") {
      if (!haveFmt || body + len > size) return std::nullopt;
      const bool bitsOk =
          info.bitsPerSample == 8 || info.bitsPerSample == 16 || info.bitsPerSample == 32;
      if (!bitsOk || info.channels < 1 || info.channels > 2 || info.samplesPerSecond == 0 ||
          info.blockAlign != info.channels * info.bitsPerSample / 8) {
        return std::nullopt;
      }
      info.dataOffset = body;
      info.dataLength = len - len % info.blockAlign;
      return info;
    }
    at = body + len + (len & 1);  // chunks are padded to even lengths
  }
  return std::nullopt;
}
