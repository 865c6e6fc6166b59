#pragma once
// A modem whose echo came back on (many return to their power-on state when the port
// closes) repeats the command that starts the reception before the first sample. Those
// bytes are not sound: they are passed over when they arrive exactly as the command went
// out, in any chunking; anything else is sound from its first byte.
#include <QByteArray>
#include <QByteArrayView>

class TCommandEcho {
 public:
  // The next bytes may begin with this command's echo.
  void Expect(QByteArray command);
  // Whether bytes are still being compared; when not, the bytes are all sound.
  bool Pending() const { return !command_.isEmpty(); }
  // The sound in `received`: without the echo once it is whole, with the bytes held back
  // from earlier chunks once they turn out not to be it. Empty while all may be the echo.
  QByteArray Sound(QByteArrayView received);

 private:
  QByteArray command_;
  qsizetype matched_ = 0;
};
