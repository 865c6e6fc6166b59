#pragma once
// A growable in-memory byte stream with a current position: the WAV image being
// recorded or played. Writing past the end grows it; a gap left by a position beyond
// the end is filled with zeros.
#include <QByteArray>
#include <cstdint>

class TVoiceStream {
 public:
  void Clear();  // empty, position 0
  int64_t Size() const { return data_.size(); }
  int64_t Position() const { return pos_; }
  void SetPosition(int64_t pos);  // clamped at 0; may lie beyond the end

  void WriteByte(uint8_t b);
  void Write(const char* bytes, int64_t n);
  // Reads up to n bytes from the position on; returns how many were read.
  int64_t Read(char* out, int64_t n);

  const QByteArray& Data() const { return data_; }
  // Writable bytes from pos on (pos within the stream).
  char* DataAt(int64_t pos) { return data_.data() + pos; }
  void Assign(QByteArray bytes);  // replaces the content, position 0

 private:
  void Reserve(int64_t end);

  QByteArray data_;
  int64_t pos_ = 0;
};
