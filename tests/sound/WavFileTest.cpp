#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include "calls/CallWav.h"
#include "common/RecorderRig.h"
#include "sound/RecordingFiles.h"
#include "sound/VoiceStream.h"
#include "sound/WavFormat.h"

namespace {
uint32_t U32(const QByteArray& a, int at) {
  return qFromLittleEndian<uint32_t>(a.constData() + at);
}
uint16_t U16(const QByteArray& a, int at) {
  return qFromLittleEndian<uint16_t>(a.constData() + at);
}
// Owner, group and other bits; the "user" bits repeat the owner's.
constexpr int kModeBits = 0x7077;
}  // namespace

TEST(VoiceStream, WritesFromAPositionBeyondTheEndAndOverwritesInside) {
  TVoiceStream s;
  s.SetPosition(44);
  s.WriteByte(7);
  ASSERT_EQ(s.Size(), 45);
  EXPECT_EQ(s.Data().left(44), QByteArray(44, '\0'));
  s.SetPosition(0);
  s.Write("RIFF", 4);
  EXPECT_EQ(s.Position(), 4);
  EXPECT_EQ(s.Size(), 45);
  char out[8];
  s.SetPosition(43);
  EXPECT_EQ(s.Read(out, 8), 2);
  EXPECT_EQ(out[1], 7);
  EXPECT_EQ(s.Read(out, 8), 0);
}

TEST(WavHeader, DescribesEightBitMonoPcmOfTheRecordedBytes) {
  for (const uint32_t rate : {8000u, 7200u}) {
    TVoiceStream s;
    s.SetPosition(44);
    for (int i = 0; i < 300; ++i) s.WriteByte(static_cast<uint8_t>(i));
    WriteWavHeader(s, 300, rate);
    const QByteArray& a = s.Data();
    ASSERT_EQ(a.size(), 344);
    EXPECT_EQ(s.Position(), 44);
    EXPECT_EQ(a.left(4), "RIFF");
    EXPECT_EQ(U32(a, 4), 336u);
    EXPECT_EQ(a.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(U32(a, 16), 16u);
    EXPECT_EQ(U16(a, 20), 1);
    EXPECT_EQ(U16(a, 22), 1);
    EXPECT_EQ(U32(a, 24), rate);
    EXPECT_EQ(U32(a, 28), rate);
    EXPECT_EQ(U16(a, 32), 1);
    EXPECT_EQ(U16(a, 34), 8);
    EXPECT_EQ(a.mid(36, 4), "data");
    EXPECT_EQ(U32(a, 40), 300u);
    EXPECT_EQ(static_cast<uint8_t>(a[44 + 299]), 299 % 256);  // samples untouched
    const auto info = ParseWav(a);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->dataOffset, 44);
    EXPECT_EQ(info->dataLength, 300);
    EXPECT_EQ(info->LengthMs(), 300 * 1000 / rate);
  }
}

TEST(WavHeader, EmptyRecordingIsHeaderOnly) {
  TVoiceStream s;
  s.SetPosition(44);
  WriteWavHeader(s, 0, 8000);
  ASSERT_EQ(s.Size(), 44);
  EXPECT_EQ(U32(s.Data(), 4), 36u);
  EXPECT_EQ(U32(s.Data(), 40), 0u);
}

TEST(WavHeader, SineCreateWritesAHeaderDeclaring24000Bytes) {
  RecorderRig rig;
  rig.panel->VoiceStream.Assign(QByteArray(5000, 'x'));
  rig.link.RecordedBytes = 77;
  rig.panel->Recorder.Button3Click();
  const QByteArray& a = rig.panel->VoiceStream.Data();
  ASSERT_EQ(a.size(), 44);
  EXPECT_EQ(rig.link.RecordedBytes, 0);
  EXPECT_EQ(U32(a, 4), 36u);
  EXPECT_EQ(U32(a, 40), 24000u);
  EXPECT_EQ(U32(a, 24), 8000u);
  EXPECT_FALSE(QFileInfo::exists(QStringLiteral("wav")));  // nothing saved
}

TEST(WavParse, RefusesWhatIsNotPlayablePcm) {
  TVoiceStream s;
  WriteWavHeader(s, 100, 8000);
  s.Write(QByteArray(100, '\x80').constData(), 100);
  const QByteArray good = s.Data();
  ASSERT_TRUE(ParseWav(good));
  EXPECT_FALSE(ParseWav(QByteArray()));
  EXPECT_FALSE(ParseWav(good.left(30)));   // header cut short
  EXPECT_FALSE(ParseWav(good.left(120)));  // data shorter than declared
  QByteArray wrongMagic = good;
  wrongMagic[0] = 'X';
  EXPECT_FALSE(ParseWav(wrongMagic));
  QByteArray compressed = good;
  compressed[20] = 2;  // not PCM
  EXPECT_FALSE(ParseWav(compressed));
  QByteArray noRate = good;
  noRate[24] = noRate[25] = 0;
  EXPECT_FALSE(ParseWav(noRate));
  // A chunk before the data chunk is skipped.
  QByteArray withList = good.left(36) + QByteArray("LIST\x03\0\0\0abc\0", 12) + good.mid(36);
  const auto info = ParseWav(withList);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->dataOffset, 56);
}

TEST(RecordingFiles, FolderAndFilesArePrivateAndSavesReplaceWhole) {
  RecorderRig rig;
  QString error;
  bool created = false;
  ASSERT_TRUE(EnsureWavFolder(&error, &created)) << error.toStdString();
  EXPECT_TRUE(created);  // the caller makes the new folder's name durable
  EXPECT_TRUE(EnsureWavFolder(&error, &created));  // an existing folder is no error
  EXPECT_FALSE(created);
  EXPECT_EQ(QFile::permissions(QStringLiteral("wav")) & kModeBits,
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  const QString path = *WavFilePath(QStringLiteral("ABCDEF"));
  EXPECT_EQ(path, QStringLiteral("wav/ABCDEF.wav"));
  ASSERT_FALSE(SaveCallWav(QStringLiteral("ABCDEF"), QByteArray(100, 'a')));
  ASSERT_FALSE(SaveCallWav(QStringLiteral("ABCDEF"), QByteArray(10, 'b')));
  EXPECT_EQ(QDir(QStringLiteral("wav")).entryList(QDir::Files), QStringList{"ABCDEF.wav"});
  EXPECT_EQ(*LoadRecordingFile(path), QByteArray(10, 'b'));
  EXPECT_EQ(QFile::permissions(path) & kModeBits, QFile::ReadOwner | QFile::WriteOwner);
  EXPECT_FALSE(LoadRecordingFile(QStringLiteral("wav/none.wav")));
}
