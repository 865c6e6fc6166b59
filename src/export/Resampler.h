#pragma once
// A change of sampling rate for a stream of float frames, in pieces, through
// libsamplerate (band-limited sinc interpolation).
#include <QString>
#include <memory>
#include <optional>
#include <vector>

struct SRC_STATE_tag;

class TResampler {
 public:
  // Nothing, with *error set, when the library refuses the rates or channels.
  static std::optional<TResampler> Create(int channels, int fromRate, int toRate, QString* error);
  TResampler(TResampler&&) noexcept = default;
  TResampler& operator=(TResampler&&) noexcept = default;
  ~TResampler();

  // Converts `frames` frames (interleaved); `last` ends the stream and flushes what the
  // filter still holds. The frames made are appended to *out. False, with *error set,
  // on a failure of the library.
  bool Process(const float* in, long frames, bool last, std::vector<float>* out, QString* error);

 private:
  struct Free {
    void operator()(SRC_STATE_tag* state) const;
  };
  TResampler(SRC_STATE_tag* state, int channels, double ratio);

  std::unique_ptr<SRC_STATE_tag, Free> state_;
  int channels_;
  double ratio_;
};
