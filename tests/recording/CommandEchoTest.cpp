#include <gtest/gtest.h>

#include "recording/CommandEcho.h"

namespace {
const QByteArray kCommand = QByteArrayLiteral("at+vrx\r");

// Feeds `in` cut at `cut` and returns all the sound that came out.
QByteArray SoundOf(const QByteArray& in, qsizetype cut) {
  TCommandEcho echo;
  echo.Expect(kCommand);
  QByteArray sound = echo.Sound(QByteArrayView(in).first(cut));
  sound += echo.Pending() ? echo.Sound(QByteArrayView(in).sliced(cut))
                          : QByteArrayView(in).sliced(cut).toByteArray();
  EXPECT_FALSE(echo.Pending());
  return sound;
}
}  // namespace

TEST(CommandEcho, TheEchoIsPassedOverAndEverythingElseKeptWhereverTheChunksAreCut) {
  const QByteArray connect = QByteArrayLiteral("\r\nCONNECT\r\n\x80\x7f");
  for (qsizetype cut = 0; cut <= kCommand.size() + connect.size(); ++cut) {
    EXPECT_EQ(SoundOf(kCommand + connect, cut), connect) << "echo, cut at " << cut;
    EXPECT_EQ(SoundOf(connect + kCommand, std::min(cut, connect.size() + kCommand.size())),
              connect + kCommand)
        << "no echo, cut at " << cut;
  }
  // Almost the echo, to its last byte: all of it is sound, the held bytes first.
  const QByteArray almost = QByteArrayLiteral("at+vrx\n\x80");
  for (qsizetype cut = 0; cut <= almost.size(); ++cut)
    EXPECT_EQ(SoundOf(almost, cut), almost) << "almost, cut at " << cut;
}

TEST(CommandEcho, OnlyTheStartOfAReceptionIsCompared) {
  TCommandEcho echo;
  echo.Expect(kCommand);
  EXPECT_EQ(echo.Sound("\x80"), QByteArray("\x80"));
  EXPECT_FALSE(echo.Pending());  // an echo later in the stream is sound
  echo.Expect(kCommand);
  EXPECT_EQ(echo.Sound("at+"), QByteArray());
  EXPECT_TRUE(echo.Pending());
  echo.Expect(kCommand);  // a new reception forgets what the last one held
  EXPECT_EQ(echo.Sound("vrx\r"), QByteArray("vrx\r"));
}
