#pragma once
// The recording file format: a 44-byte RIFF/WAVE header (8-bit mono PCM) followed by
// the samples, and the reading of PCM WAV files for playback.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

class TVoiceStream;

inline constexpr int kWavHeaderSize = 44;
inline constexpr int kDefaultSamplingRate = 8000;
// The most sample bytes a file can hold: the RIFF chunk size (data + 36) is 32 bits.
inline constexpr int64_t kMaxWavDataLength = int64_t(UINT32_MAX) - 36;
// "Sine create" declares this data length without writing any samples.
inline constexpr uint32_t kSineCreateDataLength = 24000;

// Writes the header for 8-bit mono PCM at `samplesPerSecond` at position 0 of the
// stream and leaves the position at 44. `riffDataLength` goes into the RIFF chunk size
// (plus 36) and `dataLength` into the data chunk's length.
void WriteWavHeaderFields(TVoiceStream& stream, uint32_t riffDataLength, uint32_t dataLength,
                          uint32_t samplesPerSecond);

// The header of a recording of n sample bytes.
inline void WriteWavHeader(TVoiceStream& stream, uint32_t n, uint32_t samplesPerSecond) {
  WriteWavHeaderFields(stream, n, n, samplesPerSecond);
}

// A decoded PCM WAV file: its format and where its samples lie in the file image.
struct TWavInfo {
  uint16_t channels = 0;
  uint32_t samplesPerSecond = 0;
  uint16_t bitsPerSample = 0;
  uint16_t blockAlign = 0;
  int64_t dataOffset = 0;
  int64_t dataLength = 0;  // whole frames only
  int64_t LengthMs() const;
};

// Parses an uncompressed PCM WAV image (8, 16 or 32 bits, 1 or 2 channels). Nothing for
// anything else: no RIFF/WAVE, no or short fmt chunk, another format tag, no data
// chunk, or a data chunk that runs past the end of the image.
std::optional<TWavInfo> ParseWav(const QByteArray& image);
