#pragma once
// Turns linear samples (-1..1) into the bytes of a compression method.
#include <string>

#include "vmodem/Profile.h"

namespace vmodem {

class SampleCoder {
 public:
  explicit SampleCoder(Coding coding) : coding_(coding) {}
  // Appends the coded form of one sample to out (ADPCM: a byte every second sample).
  void encode(float sample, std::string& out);
  // Bytes on the wire per sample, before DLE doubling.
  double bytesPerSample() const;

 private:
  Coding coding_;
  // IMA ADPCM state.
  int predicted_ = 0;
  int stepIndex_ = 0;
  int pendingNibble_ = -1;
};

unsigned char encodeMuLaw(int pcm16);
unsigned char encodeALaw(int pcm16);

}  // namespace vmodem
