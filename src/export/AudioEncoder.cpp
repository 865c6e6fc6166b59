#include "export/AudioEncoder.h"

#include <sndfile.h>

#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "export/Resampler.h"

namespace {
constexpr std::array<int, 5> kOpusRates = {8000, 12000, 16000, 24000, 48000};
constexpr long kChunkFrames = 4096;
constexpr int kPcm8Zero = 128;
constexpr double kIntFullScale = 2147483648.0;
// libsndfile sets Opus's bit rate from the compression level, linearly from
// 256 kbit/s per channel at 0 down to 6 kbit/s at 1.
constexpr double kOpusTopBitrate = 256000.0;
constexpr double kOpusLeastBitrate = 6000.0;

struct SndfileClose {
  void operator()(SNDFILE* f) const { sf_close(f); }
};
using TSndfile = std::unique_ptr<SNDFILE, SndfileClose>;

int Subtype(TExportFormat format, int bits) {
  switch (format) {
    case TExportFormat::kFlac:
      return SF_FORMAT_FLAC | (bits > 16 ? SF_FORMAT_PCM_24 : SF_FORMAT_PCM_16);
    case TExportFormat::kOpus:
      return SF_FORMAT_OGG | SF_FORMAT_OPUS;
    case TExportFormat::kWav:
      return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  }
  return 0;
}

// Sample i of the data as a full-scale 32-bit value (libsndfile cuts it to the file's
// width by dropping low bits, so 8- and 16-bit samples come through unchanged).
int32_t FullScale(const uint8_t* data, int bits, int64_t i) {
  switch (bits) {
    case 8:
      return static_cast<int32_t>(static_cast<uint32_t>(data[i] - kPcm8Zero) << 24);
    case 16: {
      const uint32_t v = static_cast<uint32_t>(data[2 * i]) | (uint32_t(data[2 * i + 1]) << 8);
      return static_cast<int32_t>(v << 16);
    }
    default: {
      uint32_t v = 0;
      std::memcpy(&v, data + 4 * i, 4);  // little-endian, as on every machine we run on
      return static_cast<int32_t>(v);
    }
  }
}

bool SetTags(SNDFILE* file, const TExportTags& tags, QString* error) {
  const std::array<std::pair<int, const QString*>, 3> strings = {{
      {SF_STR_TITLE, &tags.title},
      {SF_STR_DATE, &tags.date},
      {SF_STR_COMMENT, &tags.comment},
  }};
  for (const auto& [type, text] : strings) {
    if (text->isEmpty()) {
      continue;
    }
    if (sf_set_string(file, type, text->toUtf8().constData()) != 0) {
      *error = QStringLiteral("Cannot set the tags: %1").arg(QString::fromUtf8(sf_strerror(file)));
      return false;
    }
  }
  return true;
}

bool SetOpusBitrate(SNDFILE* file, int channels, QString* error) {
  double level =
      1.0 - (kOpusBitrate - kOpusLeastBitrate) / (kOpusTopBitrate * channels - kOpusLeastBitrate);
  if (sf_command(file, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level) != SF_TRUE) {
    *error = QStringLiteral("Cannot set the Opus bit rate");
    return false;
  }
  return true;
}

// Where the frames go: straight to the file, or through a change of rate first.
class TFrameSink {
 public:
  TFrameSink(SNDFILE* file, int channels, std::optional<TResampler> resampler)
      : file_(file), channels_(channels), resampler_(std::move(resampler)) {}

  bool Write(const std::vector<int32_t>& frames, bool last, QString* error) {
    const long n = static_cast<long>(frames.size()) / channels_;
    if (!resampler_) {
      return Check(sf_writef_int(file_, frames.data(), n), n, error);
    }
    floats_.resize(frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
      floats_[i] = static_cast<float>(frames[i] / kIntFullScale);
    }
    converted_.clear();
    if (!resampler_->Process(floats_.data(), n, last, &converted_, error)) {
      return false;
    }
    const long made = static_cast<long>(converted_.size()) / channels_;
    return Check(sf_writef_float(file_, converted_.data(), made), made, error);
  }

 private:
  bool Check(sf_count_t written, long wanted, QString* error) const {
    if (written == wanted) {
      return true;
    }
    *error = QStringLiteral("Cannot write: %1").arg(QString::fromUtf8(sf_strerror(file_)));
    return false;
  }

  SNDFILE* file_;
  int channels_;
  std::optional<TResampler> resampler_;
  std::vector<float> floats_, converted_;
};
}  // namespace

int ExportSamplingRate(TExportFormat format, int recordingRate) {
  if (format != TExportFormat::kOpus) {
    return recordingRate;
  }
  for (const int rate : kOpusRates) {
    if (rate >= recordingRate) {
      return rate;
    }
  }
  return kOpusRates.back();
}

TEncodeResult EncodeRecording(const TWavInfo& wav, QByteArrayView image, int fd,
                              TExportFormat format, const TExportTags& tags,
                              const TEncodeProgress& progress, QString* error) {
  const int rate = static_cast<int>(wav.samplesPerSecond);
  SF_INFO info{};
  info.samplerate = ExportSamplingRate(format, rate);
  info.channels = wav.channels;
  info.format = Subtype(format, wav.bitsPerSample);
  TSndfile file(sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE));
  if (!file) {
    *error = QStringLiteral("Cannot write %1: %2")
                 .arg(ExportExtension(format), QString::fromUtf8(sf_strerror(nullptr)));
    return TEncodeResult::kFailed;
  }
  if ((format == TExportFormat::kOpus && !SetOpusBitrate(file.get(), wav.channels, error)) ||
      !SetTags(file.get(), tags, error)) {
    return TEncodeResult::kFailed;
  }
  std::optional<TResampler> resampler;
  if (info.samplerate != rate) {
    resampler = TResampler::Create(wav.channels, rate, info.samplerate, error);
    if (!resampler) {
      return TEncodeResult::kFailed;
    }
  }
  TFrameSink sink(file.get(), wav.channels, std::move(resampler));

  const auto* data = reinterpret_cast<const uint8_t*>(image.data()) + wav.dataOffset;
  const int64_t frames = wav.dataLength / wav.blockAlign;
  std::vector<int32_t> chunk;
  int64_t done = 0;
  do {
    const int64_t n = std::min<int64_t>(kChunkFrames, frames - done);
    chunk.resize(static_cast<size_t>(n * wav.channels));
    for (int64_t i = 0; i < n * wav.channels; ++i) {
      chunk[static_cast<size_t>(i)] = FullScale(data, wav.bitsPerSample, done * wav.channels + i);
    }
    done += n;
    if (!sink.Write(chunk, done == frames, error)) {
      return TEncodeResult::kFailed;
    }
    if (progress && !progress(frames > 0 ? static_cast<double>(done) / frames : 1.0)) {
      return TEncodeResult::kCancelled;
    }
  } while (done < frames);

  if (const int rc = sf_close(file.release()); rc != 0) {
    *error = QStringLiteral("Cannot write: %1").arg(QString::fromUtf8(sf_error_number(rc)));
    return TEncodeResult::kFailed;
  }
  return TEncodeResult::kDone;
}
