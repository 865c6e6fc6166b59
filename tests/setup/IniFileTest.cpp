#include <sys/stat.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "common/FileBytes.h"
#include "setup/IniFile.h"
#include "setup/Profile.h"

namespace {

class IniFileTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString path = dir.filePath(QStringLiteral("Tavrin.ini"));
  TIniFile ini{path};
};
}  // namespace

TEST_F(IniFileTest, MissingFileYieldsDefaultsAndFirstWriteCreatesItPrivate) {
  EXPECT_EQ(ini.ReadString("Modem", "Model", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadInteger("Modem", "port", 7), 7);
  EXPECT_TRUE(ini.ReadBool("Params", "Voicefeatures", true));
  EXPECT_FALSE(QFile::exists(path));  // reading never creates it

  ini.WriteString("Modem", "Model", "US Robotics");
  ASSERT_TRUE(QFile::exists(path));
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadAll(path), QByteArray("[Modem]\nModel=US Robotics\n"));
}

TEST_F(IniFileTest, SectionsAndKeysMatchWithoutCaseSoParamsAndparamsMerge) {
  ini.WriteString("Params", "Compression", "SIGNED PCM");
  ini.WriteString("Params", "Timeout", "500");
  ini.WriteInteger("params", "MainTop", 146);
  ini.WriteInteger("params", "MainLeft", 367);
  EXPECT_EQ(
      ReadAll(path),
      QByteArray("[Params]\nCompression=SIGNED PCM\nTimeout=500\nMainTop=146\nMainLeft=367\n"));
  EXPECT_EQ(ini.ReadInteger("PARAMS", "maintop", 0), 146);
  EXPECT_EQ(ini.ReadString("params", "COMPRESSION", ""), "SIGNED PCM");
}

TEST_F(IniFileTest, AppendOrderReplaceInPlaceAndNewSectionsAtTheEnd) {
  ini.WriteString("Modem", "DriverDate", "1.0");
  ini.WriteString("Modem", "Manufacturer", "Acme");
  ini.WriteString("Params", "Compression", "");
  ini.WriteString("Modem", "port", "1");             // new key: end of [Modem], before [Params]
  ini.WriteString("modem", "MANUFACTURER", "Zeta");  // replaced in place, stored spelling kept
  ini.WriteBool("Params", "Voicefeatures", false);
  ini.WriteBool("Params", "Other", true);
  EXPECT_EQ(ReadAll(path), QByteArray("[Modem]\n"
                                      "DriverDate=1.0\n"
                                      "Manufacturer=Zeta\n"
                                      "port=1\n"
                                      "\n"
                                      "[Params]\n"
                                      "Compression=\n"
                                      "Voicefeatures=0\n"
                                      "Other=1\n"));
}

TEST_F(IniFileTest, WriteThroughEveryReadSeesTheFileAsItIsNow) {
  ini.WriteInteger("Modem", "port", 3);
  EXPECT_EQ(ini.ReadInteger("Modem", "port", 0), 3);
  // A change made behind the store's back is seen at once: nothing is cached.
  WriteRaw(path, "[Modem]\r\nport=5\r\n");
  EXPECT_EQ(ini.ReadInteger("Modem", "port", 0), 5);
  TIniFile other(path);
  other.WriteInteger("Modem", "port", 6);
  EXPECT_EQ(ini.ReadInteger("Modem", "port", 0), 6);
  // CR LF files stay CR LF.
  EXPECT_EQ(ReadAll(path), QByteArray("[Modem]\r\nport=6\r\n"));
}

TEST_F(IniFileTest, IntegersThatAreNotDecimalYieldTheDefault) {
  WriteRaw(path,
           "[Modem]\nport= 4 \nbad=12abc\nhex=0x10\nempty=\nhuge=99999999999\nneg=-20\n"
           "blank inside=1 2\n[Params]\nVoicefeatures=0\nOn=7\n");
  EXPECT_EQ(ini.ReadInteger("Modem", "port", 1), 4);  // blanks around the value are tolerated
  EXPECT_EQ(ini.ReadInteger("Modem", "bad", 1), 1);
  EXPECT_EQ(ini.ReadInteger("Modem", "hex", 1), 1);
  EXPECT_EQ(ini.ReadInteger("Modem", "empty", 8000), 8000);
  EXPECT_EQ(ini.ReadInteger("Modem", "huge", 2), 2);
  EXPECT_EQ(ini.ReadInteger("Modem", "neg", 0), -20);
  EXPECT_EQ(ini.ReadInteger("Modem", "blank inside", 3), 3);
  EXPECT_FALSE(ini.ReadBool("Params", "Voicefeatures", true));
  EXPECT_TRUE(ini.ReadBool("Params", "On", false));
  EXPECT_TRUE(ini.ReadBool("Params", "absent", true));
  EXPECT_FALSE(ini.ReadBool("Params", "absent", false));
}

TEST_F(IniFileTest, LinesItDoesNotUnderstandAreKeptAndOldLineEndsRead) {
  WriteRaw(path,
           "; written by hand\r\ngarbage line\r\n[Modem]\rModel=Old\r; "
           "note\n\n[Ports]\nCOM1=/dev/ttyUSB3\n");
  EXPECT_EQ(ini.ReadString("Modem", "Model", ""), "Old");
  EXPECT_EQ(ini.ReadString("Ports", "COM1", ""), "/dev/ttyUSB3");
  ini.WriteString("Modem", "port", "2");
  // Every line keeps its own line end; the new one takes the file's CR LF.
  EXPECT_EQ(ReadAll(path),
            QByteArray("; written by hand\r\ngarbage line\r\n[Modem]\rModel=Old\r; note\n"
                       "port=2\r\n\n[Ports]\nCOM1=/dev/ttyUSB3\n"));
}

TEST_F(IniFileTest, ValuesCannotBreakTheLineStructure) {
  ini.WriteString("Modem", "Model", "two\r\nlines");
  ini.WriteString("Modem", "port", "1");
  EXPECT_EQ(ini.ReadString("Modem", "Model", ""), "two  lines");
  EXPECT_EQ(ini.ReadInteger("Modem", "port", 0), 1);
}

TEST_F(IniFileTest, AFailedWriteRaisesUnableToWriteAndKeepsTheFile) {
  TIniFile nowhere(dir.filePath("missing/folder/Tavrin.ini"));
  try {
    nowhere.WriteString("Modem", "port", "1");
    FAIL() << "no error";
  } catch (const EIniWriteError& e) {
    EXPECT_EQ(QString::fromUtf8(e.what()),
              "Unable to write to " + dir.filePath("missing/folder/Tavrin.ini"));
  }
  // A folder in the way of the file: the write fails and nothing else changes.
  ASSERT_TRUE(QDir(dir.path()).mkdir("Tavrin.ini"));
  EXPECT_THROW(ini.WriteString("Modem", "port", "1"), EIniError);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

TEST_F(IniFileTest, AFileThatCannotBeReadIsAnErrorAndNothingIsWrittenOnIt) {
  ASSERT_TRUE(QDir(dir.path()).mkdir("Tavrin.ini"));  // opens, but every read fails
  try {
    ini.ReadString("Modem", "Model", "dflt");
    FAIL() << "no error";
  } catch (const EIniReadError& e) {
    EXPECT_TRUE(QString::fromUtf8(e.what()).startsWith("Unable to read " + path + ": "))
        << e.what();
  }
  EXPECT_THROW(ini.ReadInteger("Modem", "port", 0), EIniReadError);
  EXPECT_THROW(ini.WriteInteger("params", "MainTop", 1), EIniReadError);
  EXPECT_TRUE(QFileInfo(path).isDir());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

TEST_F(IniFileTest, EachLineIsDecodedOnItsOwnAndUnwrittenLinesKeepTheirBytes) {
  // One Windows-1252 value among UTF-8 ones.
  const QByteArray old = "[Modem]\nModel=Caf\xe9 \x80\nManufacturer=K\xc3\xb6ln\nport=1";
  WriteRaw(path, old);
  EXPECT_EQ(ini.ReadString("Modem", "Model", ""), QString::fromUtf8("Caf\u00e9 \u20ac"));
  EXPECT_EQ(ini.ReadString("Modem", "Manufacturer", ""), QString::fromUtf8("K\u00f6ln"));
  ini.WriteInteger("Modem", "port", 2);
  ini.WriteString("Modem", "DeviceDesc", QString::fromUtf8("\u00e9"));
  EXPECT_EQ(ReadAll(path), QByteArray("[Modem]\nModel=Caf\xe9 \x80\nManufacturer=K\xc3\xb6ln\n"
                                      "port=2\nDeviceDesc=\xc3\xa9\n"));
  EXPECT_EQ(ini.ReadString("Modem", "Model", ""), QString::fromUtf8("Caf\u00e9 \u20ac"));
}

TEST_F(IniFileTest, AReadOnlyFileIsNotRewrittenALinkIsWrittenThroughToItsTarget) {
  WriteRaw(path, "[Modem]\nport=1\n");
  ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadUser));
  EXPECT_THROW(ini.WriteInteger("Modem", "port", 2), EIniWriteError);
  EXPECT_EQ(ReadAll(path), "[Modem]\nport=1\n");
  ASSERT_TRUE(QFile::remove(path));

  ASSERT_TRUE(QDir(dir.path()).mkdir("real"));
  const QString target = dir.filePath("real/settings.ini");
  WriteRaw(target, "[Modem]\nport=1\n");
  ASSERT_TRUE(
      QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
  ASSERT_TRUE(QFile::link("real/settings.ini", path));
  ini.WriteInteger("Modem", "port", 3);
  EXPECT_TRUE(QFileInfo(path).isSymLink());
  EXPECT_EQ(ReadAll(target), "[Modem]\nport=3\n");
  EXPECT_EQ(QFile::permissions(target) & (QFile::ReadGroup | QFile::ReadOther), QFile::ReadGroup);
  EXPECT_EQ(QDir(dir.filePath("real")).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(ProfileTest, LoadProfileWithoutModemSectionGivesTheDefaults) {
  QTemporaryDir dir;
  const QString path = dir.filePath("Tavrin.ini");
  WriteRaw(path, "[params]\nMainTop=10\n");
  TIniFile ini(path);
  TModemParams p;
  p.Model = "stale";
  bool voice = false;
  int32_t timeout = 0;
  LoadProfile(ini, p, voice, timeout);
  EXPECT_EQ(p.port, 1);
  EXPECT_EQ(p.SamplingFreq, 8000);
  EXPECT_TRUE(voice);
  EXPECT_EQ(timeout, 500);
  EXPECT_EQ(p.Model, "");
  EXPECT_FALSE(ModemConfigured(ini));  // no port entry: not configured, although port reads 1
}

TEST(ProfileTest, LoadProfileReadsEveryKeyIntoItsField) {
  QTemporaryDir dir;
  const QString path = dir.filePath("Tavrin.ini");
  WriteRaw(path,
           "[Modem]\nModel=V.92\nport=3\nVoiceMode=at+fclass=8\nRecGain=at+vgr=128\n"
           "VoiceCompression=at+vsm=1,8000\nSamplingFreq=7200\nLineSel_T=at+vls=1\n"
           "LineSel_T#=vcon\nLineSel_MST#=none\nSpeakerGain=at+vgs=128\n"
           "[Params]\nCompression=SIGNED PCM\nVoicefeatures=0\nUseLine=at+vls=1\n"
           "UseLineRes=vcon\nTimeout=250\n");
  TIniFile ini(path);
  TModemParams p;
  bool voice = true;
  int32_t timeout = 0;
  LoadProfile(ini, p, voice, timeout);
  EXPECT_EQ(p.Model, "V.92");
  EXPECT_EQ(p.port, 3);
  EXPECT_EQ(p.VoiceMode, "at+fclass=8");
  EXPECT_EQ(p.RecGain, "at+vgr=128");
  EXPECT_EQ(p.VoiceCompression, "at+vsm=1,8000");
  EXPECT_EQ(p.SamplingFreq, 7200);
  EXPECT_EQ(p.LineSel_T, "at+vls=1");
  EXPECT_EQ(p.LineSel_TRes, "vcon");
  EXPECT_EQ(p.LineSel_MSTRes, "none");
  EXPECT_EQ(p.SpeakerGain, "at+vgs=128");
  EXPECT_EQ(p.Compression, "SIGNED PCM");
  EXPECT_FALSE(voice);
  EXPECT_EQ(p.UseLine, "at+vls=1");
  EXPECT_EQ(p.UseLineRes, "vcon");
  EXPECT_EQ(timeout, 250);
  EXPECT_TRUE(ModemConfigured(ini));
  TIniFile(path).WriteInteger("Modem", "port", 0);
  EXPECT_FALSE(ModemConfigured(ini));
}
