#include "sound/VoiceStream.h"

#include <algorithm>
#include <cstring>

void TVoiceStream::Clear() {
  data_.clear();
  pos_ = 0;
}

void TVoiceStream::SetPosition(int64_t pos) {
  pos_ = std::max<int64_t>(pos, 0);
}

void TVoiceStream::Reserve(int64_t end) {
  if (end <= data_.size()) return;
  // Grow geometrically: a recording appends one byte at a time.
  if (end > data_.capacity()) data_.reserve(std::max<int64_t>(end, data_.capacity() * 2));
  data_.resize(end, '\0');
}

void TVoiceStream::WriteByte(uint8_t b) {
  if (pos_ >= data_.size()) Reserve(pos_ + 1);
  data_.data()[pos_++] = static_cast<char>(b);
}

void TVoiceStream::Write(const char* bytes, int64_t n) {
  if (n <= 0) return;
  Reserve(pos_ + n);
  std::memcpy(data_.data() + pos_, bytes, static_cast<size_t>(n));
  pos_ += n;
}

int64_t TVoiceStream::Read(char* out, int64_t n) {
  const int64_t avail = std::max<int64_t>(0, data_.size() - pos_);
  const int64_t got = std::min(n, avail);
  if (got <= 0) return 0;
  std::memcpy(out, data_.constData() + pos_, static_cast<size_t>(got));
  pos_ += got;
  return got;
}

void TVoiceStream::Assign(QByteArray bytes) {
  data_ = std::move(bytes);
  pos_ = 0;
}
