#include "recording/CommandEcho.h"

void TCommandEcho::Expect(QByteArray command) {
  command_ = std::move(command);
  matched_ = 0;
}

QByteArray TCommandEcho::Sound(QByteArrayView received) {
  qsizetype i = 0;
  while (i < received.size() && matched_ < command_.size() && received[i] == command_[matched_]) {
    ++i;
    ++matched_;
  }
  if (matched_ < command_.size() && i == received.size()) return {};  // may still be the echo
  // Either the whole echo has come, or what was held back was sound after all.
  QByteArray sound = matched_ < command_.size() ? command_.first(matched_) : QByteArray();
  sound += received.sliced(i);
  command_.clear();
  matched_ = 0;
  return sound;
}
