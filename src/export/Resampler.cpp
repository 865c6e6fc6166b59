#include "export/Resampler.h"

#include <samplerate.h>

#include <cmath>

namespace {
// The fastest of the library's sinc converters: 97 dB of signal to noise, far more than
// 8-bit recordings of a telephone line hold.
constexpr int kConverter = SRC_SINC_FASTEST;
constexpr long kOutSlack = 64;  // frames beyond the ratio that one call may make
}  // namespace

void TResampler::Free::operator()(SRC_STATE_tag* state) const {
  src_delete(state);
}

TResampler::TResampler(SRC_STATE_tag* state, int channels, double ratio)
    : state_(state), channels_(channels), ratio_(ratio) {}

TResampler::~TResampler() = default;

std::optional<TResampler> TResampler::Create(int channels, int fromRate, int toRate,
                                             QString* error) {
  const double ratio = static_cast<double>(toRate) / fromRate;
  int err = 0;
  SRC_STATE* state = src_new(kConverter, channels, &err);
  if (!state || !src_is_valid_ratio(ratio)) {
    *error = QStringLiteral("Cannot convert %1 Hz to %2 Hz: %3")
                 .arg(fromRate)
                 .arg(toRate)
                 .arg(QString::fromUtf8(src_strerror(err)));
    src_delete(state);
    return std::nullopt;
  }
  return TResampler(state, channels, ratio);
}

bool TResampler::Process(const float* in, long frames, bool last, std::vector<float>* out,
                         QString* error) {
  const long room = static_cast<long>(std::ceil(frames * ratio_)) + kOutSlack;
  std::vector<float> buffer(static_cast<size_t>(room * channels_));
  SRC_DATA data{};
  data.data_in = in;
  data.input_frames = frames;
  data.src_ratio = ratio_;
  data.end_of_input = last ? 1 : 0;
  // The library may take less than all of the input, or hold frames back at the end:
  // call it until the input is used up and, at the end, until nothing more comes.
  for (;;) {
    data.data_out = buffer.data();
    data.output_frames = room;
    if (const int err = src_process(state_.get(), &data)) {
      *error = QStringLiteral("Cannot convert the sampling rate: %1")
                   .arg(QString::fromUtf8(src_strerror(err)));
      return false;
    }
    out->insert(out->end(), buffer.begin(),
                buffer.begin() + static_cast<std::ptrdiff_t>(data.output_frames_gen * channels_));
    if (data.input_frames_used == 0 && data.output_frames_gen == 0 && data.input_frames > 0) {
      *error = QStringLiteral("Cannot convert the sampling rate: the converter stalled");
      return false;
    }
    data.data_in += data.input_frames_used * channels_;
    data.input_frames -= data.input_frames_used;
    if (data.input_frames == 0 && (!last || data.output_frames_gen == 0)) {
      return true;
    }
  }
}
