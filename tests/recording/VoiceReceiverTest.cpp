#include <gtest/gtest.h>
#include <QTest>

#include "common/RecorderRig.h"

namespace {
QByteArray Bytes(std::initializer_list<int> v) {
  QByteArray a;
  for (int b : v) a.append(static_cast<char>(b));
  return a;
}
}  // namespace

TEST(VoiceReceiver, NothingIsStoredWhileNotRecording) {
  RecorderRig rig;
  rig.panel->VoiceStream.Assign("keep");
  rig.link.RecordedBytes = 5;
  rig.Receive(QByteArray(100, 'a'));
  EXPECT_EQ(rig.panel->VoiceStream.Data(), "keep");
  EXPECT_EQ(rig.link.RecordedBytes, 5);
  EXPECT_EQ(rig.link.BlockCount, 0);
}

TEST(VoiceReceiver, SignedSamplesHaveTheirTopBitInvertedOthersAreStoredAsTheyCame) {
  const QByteArray in = Bytes({0x00, 0x7F, 0x80, 0xFF});
  for (const int32_t signedFlag : {1, 0, 2}) {
    RecorderRig rig;
    rig.link.SignedSamples = signedFlag;
    rig.FakeRecording(in);
    const QByteArray stored = rig.panel->VoiceStream.Data().mid(44);
    const QByteArray expected = signedFlag == 1 ? Bytes({0x80, 0xFF, 0x00, 0x7F}) : in;
    EXPECT_EQ(stored, expected) << signedFlag;
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(rig.link.CaptureBuffer[i], static_cast<uint8_t>(expected[i]));
    }
    EXPECT_EQ(rig.link.RecordedBytes, 4);
  }
}

TEST(VoiceReceiver, ChunksOf1000And500And200MakeOneBlockOf1700) {
  RecorderRig rig;
  rig.FakeRecording({});
  rig.Receive(QByteArray(1000, '\x80'));
  rig.Receive(QByteArray(500, '\x80'));
  EXPECT_EQ(rig.link.BlockCount, 1500);
  EXPECT_EQ(rig.panel->Scope.DrawCount, 0);
  rig.Receive(QByteArray(200, '\x80'));
  EXPECT_EQ(rig.panel->Scope.DrawCount, 1);
  EXPECT_EQ(rig.link.BlockCount, 0);
  EXPECT_EQ(rig.link.RecordedBytes, 1700);
  EXPECT_EQ(rig.panel->VoiceStream.Size(), 44 + 1700);
  // The whole block of 1700 was drawn: the trace ends at the right edge.
  EXPECT_EQ(rig.panel->Scope.ScopeBitmap.pixel(375, 73), qRgb(0, 255, 0));
}

TEST(VoiceReceiver, CaptureBufferIsNeverWrittenPastItsEndWhileEverySampleIsKept) {
  RecorderRig rig;
  rig.c.SpinEdit1->setValue(2000);
  rig.FakeRecording({});
  rig.Receive(QByteArray(1999, '\x10'));
  EXPECT_EQ(rig.panel->Scope.DrawCount, 0);
  QByteArray big(4000, '\x20');
  big[1000] = '\x30';  // sample 3000 of the block
  big[1001] = '\x40';  // the first one past the buffer
  rig.now += 1000;
  rig.Receive(big);
  // The full buffer was drawn early; the rest forms the next block, drawn once the
  // frame of the first is over.
  EXPECT_EQ(rig.panel->Scope.DrawCount, 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return rig.panel->Scope.DrawCount == 2; }, 2000));
  EXPECT_EQ(rig.link.BlockCount, 0);
  EXPECT_EQ(rig.link.CaptureBuffer[0], 0x40);
  EXPECT_EQ(rig.link.CaptureBuffer[2999], 0x30);
  EXPECT_EQ(rig.link.RecordedBytes, 5999);
  const QByteArray stored = rig.panel->VoiceStream.Data();
  ASSERT_EQ(stored.size(), 44 + 5999);
  EXPECT_EQ(stored.mid(44, 1999), QByteArray(1999, '\x10'));
  EXPECT_EQ(stored.mid(44 + 1999), big);
}
