#include "vmodem/LineSource.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <numbers>
#include <stdexcept>

namespace vmodem {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Small deterministic generator, so that every run of a call sounds the same.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed != 0 ? seed : 1) {}  // 0 would stay 0
  double uniform(double low, double high) {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return low + (high - low) * (state_ / 4294967296.0);
  }

 private:
  uint32_t state_;
};

class SilenceSource : public LineSource {
 public:
  void start(int, long) override {}
  float next() override { return 0.0f; }
};

class ToneSource : public LineSource {
 public:
  explicit ToneSource(double hz) : hz_(hz) {}
  void start(int rate, long) override {
    rate_ = rate;
    n_ = 0;
  }
  float next() override {
    return static_cast<float>(0.5 * std::sin(kTwoPi * hz_ * static_cast<double>(n_++) / rate_));
  }

 private:
  double hz_;
  int rate_ = 8000;
  long long n_ = 0;
};

class WavSource : public LineSource {
 public:
  explicit WavSource(WavData data) : data_(std::move(data)) {
    if (data_.samples.empty()) throw std::runtime_error("the WAV file holds no samples");
  }
  void start(int rate, long) override {
    step_ = static_cast<double>(data_.rate) / rate;
    position_ = 0.0;
  }
  float next() override {
    const auto size = data_.samples.size();
    const auto i = static_cast<size_t>(position_);
    const double frac = position_ - static_cast<double>(i);
    const float a = data_.samples[i % size];
    const float b = data_.samples[(i + 1) % size];
    position_ += step_;
    if (position_ >= static_cast<double>(size)) position_ -= static_cast<double>(size);
    return static_cast<float>(a + (b - a) * frac);
  }

 private:
  WavData data_;
  double step_ = 1.0;
  double position_ = 0.0;
};

// Two-pole resonator, the formant filter of the voice.
class Resonator {
 public:
  void tune(double hz, double bandwidth, int rate) {
    const double r = std::exp(-std::numbers::pi * bandwidth / rate);
    b1_ = 2.0 * r * std::cos(kTwoPi * hz / rate);
    b2_ = -r * r;
    gain_ = 1.0 - r;
  }
  double process(double x) {
    const double y = gain_ * x + b1_ * y1_ + b2_ * y2_;
    y2_ = y1_;
    y1_ = y;
    return y;
  }

 private:
  double b1_ = 0, b2_ = 0, gain_ = 0, y1_ = 0, y2_ = 0;
};

// A call as heard from the line: two rings of ringback, the pick-up, then a voice-like
// signal (voiced syllables shaped by formants, words, phrases and pauses) over a
// little line noise.
class SyntheticCall : public LineSource {
 public:
  explicit SyntheticCall(bool varied) : varied_(varied) {}
  void start(int rate, long call) override {
    rate_ = rate;
    n_ = 0;
    // The golden-ratio step spreads the seeds of successive calls over the whole range.
    const auto callSeed = static_cast<uint32_t>(varied_ ? call - 1 : 0) * 0x9e3779b9u;
    random_ = Random(kSeed + callSeed);
    segmentLeft_ = 0;
    syllablesLeft_ = 0;
    wordsLeft_ = 0;
    phase_ = 0.0;
  }

  float next() override {
    const double t = static_cast<double>(n_++) / rate_;
    double s = random_.uniform(-kNoise, kNoise);
    if (t < kVoiceStart) {
      const bool ringing = t < kRingLength || (t >= kSecondRing && t < kSecondRing + kRingLength);
      if (ringing) s += 0.2 * (std::sin(kTwoPi * 440.0 * t) + std::sin(kTwoPi * 480.0 * t));
      return static_cast<float>(s);
    }
    if (segmentLeft_ <= 0) nextSegment();
    --segmentLeft_;
    if (voiced_) {
      const double progress = 1.0 - static_cast<double>(segmentLeft_) / segmentLength_;
      const double envelope = std::sin(std::numbers::pi * progress);
      const double pitch = pitch_ * (1.0 + 0.08 * std::sin(std::numbers::pi * progress));
      phase_ += pitch / rate_;
      if (phase_ >= 1.0) phase_ -= 1.0;
      const double glottal = 2.0 * phase_ - 1.0;
      const double voice = f1_.process(glottal) * 3.0 + f2_.process(glottal) * 2.0;
      s += loudness_ * envelope * voice;
    }
    return static_cast<float>(std::clamp(s, -1.0, 1.0));
  }

 private:
  static constexpr uint32_t kSeed = 0x5eed1234u;
  static constexpr double kNoise = 0.01;
  static constexpr double kRingLength = 1.5;
  static constexpr double kSecondRing = 3.0;
  static constexpr double kVoiceStart = 5.0;
  static constexpr double kVowels[5][2] = {
      {730, 1090}, {270, 2290}, {300, 870}, {530, 1840}, {570, 840}};

  void nextSegment() {
    if (voiced_) {
      // A gap after every syllable: short within a word, longer between words and phrases.
      voiced_ = false;
      double gap = random_.uniform(0.02, 0.06);
      if (syllablesLeft_ == 0) gap = random_.uniform(0.08, 0.2);
      if (syllablesLeft_ == 0 && wordsLeft_ == 0) gap = random_.uniform(0.7, 1.6);
      setLength(gap);
      return;
    }
    if (wordsLeft_ == 0 && syllablesLeft_ == 0) {
      wordsLeft_ = static_cast<int>(random_.uniform(3, 9));
      basePitch_ = random_.uniform(110, 180);
    }
    if (syllablesLeft_ == 0) {
      syllablesLeft_ = static_cast<int>(random_.uniform(1, 4));
      --wordsLeft_;
    }
    --syllablesLeft_;
    voiced_ = true;
    pitch_ = basePitch_ * random_.uniform(0.85, 1.2);
    loudness_ = random_.uniform(0.5, 0.9);
    const auto& vowel = kVowels[static_cast<int>(random_.uniform(0, 5)) % 5];
    const double nyquistGuard = 0.45 * rate_;
    f1_.tune(std::min(vowel[0], nyquistGuard), 90, rate_);
    f2_.tune(std::min(vowel[1], nyquistGuard), 120, rate_);
    setLength(random_.uniform(0.12, 0.3));
  }

  void setLength(double seconds) {
    segmentLength_ = std::max(1L, std::lround(seconds * rate_));
    segmentLeft_ = segmentLength_;
  }

  bool varied_;
  int rate_ = 8000;
  long long n_ = 0;
  Random random_{kSeed};
  bool voiced_ = false;
  long segmentLength_ = 1, segmentLeft_ = 0;
  int syllablesLeft_ = 0, wordsLeft_ = 0;
  double basePitch_ = 140, pitch_ = 140, loudness_ = 0.7, phase_ = 0.0;
  Resonator f1_, f2_;
};

uint32_t le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t le16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace

WavData readWav(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
  auto fail = [&](const char* why) { return std::runtime_error(path + ": " + why); };
  if (bytes.size() < 12 || std::string(bytes.begin(), bytes.begin() + 4) != "RIFF" ||
      std::string(bytes.begin() + 8, bytes.begin() + 12) != "WAVE")
    throw fail("not a WAV file");
  int channels = 0, bits = 0;
  WavData wav;
  size_t pos = 12;
  while (pos + 8 <= bytes.size()) {
    const std::string id(bytes.begin() + static_cast<long>(pos),
                         bytes.begin() + static_cast<long>(pos) + 4);
    const size_t size = std::min<size_t>(le32(&bytes[pos + 4]), bytes.size() - pos - 8);
    const unsigned char* body = &bytes[pos + 8];
    if (id == "fmt " && size >= 16) {
      if (le16(body) != 1) throw fail("only PCM WAV files can be played to the line");
      channels = le16(body + 2);
      wav.rate = static_cast<int>(le32(body + 4));
      bits = le16(body + 14);
    } else if (id == "data") {
      if (channels <= 0 || (bits != 8 && bits != 16) || wav.rate <= 0)
        throw fail("unsupported WAV format (8- or 16-bit PCM expected)");
      const size_t frame = static_cast<size_t>(channels) * (bits / 8);
      for (size_t f = 0; f + frame <= size; f += frame) {
        float sum = 0;
        for (int c = 0; c < channels; ++c) {
          const unsigned char* s = body + f + static_cast<size_t>(c) * (bits / 8);
          sum += bits == 8 ? (s[0] - 128) / 128.0f : static_cast<int16_t>(le16(s)) / 32768.0f;
        }
        wav.samples.push_back(sum / static_cast<float>(channels));
      }
      return wav;
    }
    pos += 8 + size + (size & 1);
  }
  throw fail("no sample data");
}

std::unique_ptr<LineSource> makeLineSource(const LineOptions& options) {
  switch (options.kind) {
    case LineOptions::Kind::Tone:
      return std::make_unique<ToneSource>(options.toneHz);
    case LineOptions::Kind::Wav:
      return std::make_unique<WavSource>(readWav(options.wavPath));
    case LineOptions::Kind::Silence:
    case LineOptions::Kind::Pattern:
      return std::make_unique<SilenceSource>();
    case LineOptions::Kind::Synthetic:
      break;
  }
  return std::make_unique<SyntheticCall>(options.variedCalls);
}

}  // namespace vmodem
