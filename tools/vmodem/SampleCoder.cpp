#include "vmodem/SampleCoder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vmodem {
namespace {

constexpr int kImaSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int kImaIndexShift[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

int toPcm(float sample, int fullScale) {
  const float clipped = std::clamp(sample, -1.0f, 1.0f);
  return static_cast<int>(std::lround(clipped * static_cast<float>(fullScale)));
}

void putLe16(int value, std::string& out) {
  const auto v = static_cast<uint16_t>(static_cast<int16_t>(value));
  out += static_cast<char>(v & 0xff);
  out += static_cast<char>(v >> 8);
}

}  // namespace

unsigned char encodeMuLaw(int pcm16) {
  constexpr int kBias = 0x84;
  constexpr int kClip = 32635;
  const int sign = pcm16 < 0 ? 0x80 : 0;
  int magnitude = std::min(std::abs(pcm16), kClip) + kBias;
  int exponent = 7;
  for (int mask = 0x4000; (magnitude & mask) == 0 && exponent > 0; mask >>= 1) --exponent;
  const int mantissa = (magnitude >> (exponent + 3)) & 0x0f;
  return static_cast<unsigned char>(~(sign | (exponent << 4) | mantissa));
}

unsigned char encodeALaw(int pcm16) {
  const int sign = pcm16 >= 0 ? 0x80 : 0;
  int magnitude = std::min(std::abs(pcm16), 32767) >> 3;  // 13-bit
  int code;
  if (magnitude < 32) {
    code = magnitude >> 1;
  } else {
    int exponent = 1;
    while (magnitude >= (64 << (exponent - 1)) && exponent < 7) ++exponent;
    code = (exponent << 4) | ((magnitude >> exponent) & 0x0f);
  }
  return static_cast<unsigned char>((sign | code) ^ 0x55);
}

double SampleCoder::bytesPerSample() const {
  switch (coding_) {
    case Coding::ImaAdpcm:
      return 0.5;
    case Coding::Signed16:
    case Coding::Signed14:
      return 2.0;
    default:
      return 1.0;
  }
}

void SampleCoder::encode(float sample, std::string& out) {
  switch (coding_) {
    case Coding::Unsigned8:
      out += static_cast<char>(128 + toPcm(sample, 127));
      return;
    case Coding::Signed8:
      out += static_cast<char>(static_cast<int8_t>(toPcm(sample, 127)));
      return;
    case Coding::MuLaw:
      out += static_cast<char>(encodeMuLaw(toPcm(sample, 32767)));
      return;
    case Coding::ALaw:
      out += static_cast<char>(encodeALaw(toPcm(sample, 32767)));
      return;
    case Coding::Signed16:
      putLe16(toPcm(sample, 32767), out);
      return;
    case Coding::Signed14:
      putLe16(toPcm(sample, 8191), out);
      return;
    case Coding::ImaAdpcm:
      break;
  }
  const int pcm = toPcm(sample, 32767);
  const int step = kImaSteps[stepIndex_];
  int diff = pcm - predicted_;
  int nibble = 0;
  if (diff < 0) {
    nibble = 8;
    diff = -diff;
  }
  int delta = step >> 3;
  if (diff >= step) {
    nibble |= 4;
    diff -= step;
    delta += step;
  }
  if (diff >= step >> 1) {
    nibble |= 2;
    diff -= step >> 1;
    delta += step >> 1;
  }
  if (diff >= step >> 2) {
    nibble |= 1;
    delta += step >> 2;
  }
  predicted_ = std::clamp(predicted_ + ((nibble & 8) ? -delta : delta), -32768, 32767);
  stepIndex_ = std::clamp(stepIndex_ + kImaIndexShift[nibble & 7], 0, 88);
  if (pendingNibble_ < 0) {
    pendingNibble_ = nibble;
  } else {
    out += static_cast<char>(pendingNibble_ | (nibble << 4));
    pendingNibble_ = -1;
  }
}

}  // namespace vmodem
