// "Ok" in the modem list window: the probe of each kind of modem and the
// whole settings file it writes.
#include <QComboBox>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "setup/DiscoveryFixture.h"
#include "setup/Profile.h"

using testmodem::Chunks;

namespace {

class Commit : public Discovery {
 protected:
  // Scans with the modem on COM1 and confirms it.
  void ScanAndCommit() {
    modemList.FindModems();
    ASSERT_GE(modemList.FoundCount, 1);
    modemList.show();
    modemList.OkBtnClick();
  }

  // Lists one modem on COMn without scanning.
  void ListModem(int n) {
    modemList.FoundCount = 1;
    modemList.FoundModems[1].Model = QStringLiteral("Test");
    modemList.FoundModems[1].port = n;
    modemList.FoundModems[1].PortName = QStringLiteral("com") + QString::number(n);
    modemList.ComboBox3->clear();
    modemList.ComboBox3->addItem(QStringLiteral("Test"));
    modemList.show();
  }

  static QStringList Header(const QString& model, const QString& maker, const QString& driver) {
    return {"Modem/DriverDate=" + driver,
            "Modem/Manufacturer=" + maker,
            "Modem/DeviceDesc=",
            "Modem/Model=" + model,
            "Modem/Reset=",
            "Modem/answer=",
            "Modem/monitor=",
            "Modem/port=1"};
  }
};

// A voice modem whose range answers the test gives; it accepts every other command.
testmodem::Script VoiceScript(std::string lines, std::string methods) {
  return [lines, methods](const std::string& c) {
    if (c == "at+vls=?") return Chunks({"\r\n" + lines + "\r\n\r\nOK\r\n"}, 5);
    if (c == "at+vsm=?") return Chunks({"\r\n" + methods + "\r\n\r\nOK\r\n"}, 5);
    return Chunks({"\r\nOK\r\n"}, 5);
  };
}

}  // namespace

TEST_F(Commit, ConexantStyleModemWritesTheWholeProfileInOrder) {
  AddModem(1, "conexant");
  QList<int> gauge;
  QObject::connect(modemList.Gauge1, &QProgressBar::valueChanged, [&](int v) { gauge << v; });
  ScanAndCommit();
  EXPECT_FALSE(modemList.isVisible());
  EXPECT_FALSE(link.ComPort1.Open());
  EXPECT_FALSE(modemList.Gauge1->isVisible());
  EXPECT_TRUE(modemList.OkBtn->isEnabled());
  EXPECT_TRUE(modemList.VoiceCapable);
  EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
  QStringList expected = Header("CX93001-EIS_V0.2013-V92", "CONEXANT", "CX93001-EIS_V0.2013-V92");
  expected << "Modem/VoiceMode=at+fclass=8"
           << "Modem/InitVoice=at+vid"
           << "Modem/DisCallerId=at+vcid=0"
           << "Modem/ForCallerId=at+vcid=1"
           << "Modem/UnfCallerId=at+vcid=2"
           << "Modem/Distinctive=at+vdr=0"
           << "Modem/SpeakerVol=at+vgt=128"
           << "Modem/LineSel_T=at+vls=1"
           << "Modem/LineSel_T#=ok"
           << "Modem/LineSel_LT=at+vls=3"
           << "Modem/LineSel_LT#=ok"
           << "Modem/LineSel_ST=at+vls=5"
           << "Modem/LineSel_ST#=ok"
           << "Modem/LineSel_MST=at+vls=7"
           << "Modem/LineSel_MST#=ok"
           << "Modem/VoiceCompression=at+vsm=0,8000,0,0"
           << "Modem/SamplingFreq=8000"
           << "Modem/SilenceTimer=at+vsd=127,50"
           << "Modem/ToneGeneration=at+vts="
           << "Modem/VoiceProcess=at+vtr"
           << "Modem/VoiceTrx=at+vtx"
           << "Modem/VoiceRec=at+vrx"
           << "Modem/RecGain=at+vgr=128"
           << "Modem/SpeakerOn=at+vsp=1"
           << "Modem/SpeakerOff=at+vsp=0"
           << "Modem/MicGain=at+vgm=128"
           << "Modem/SpeakerGain=at+vgs=128"
           << "Params/Compression=SIGNED PCM"
           << "Params/Voicefeatures=1"
           << "Params/UseLine=at+vls=1"
           << "Params/UseLineRes=ok"
           << "Params/Timeout=500";
  EXPECT_EQ(IniEntries(), expected);
  EXPECT_EQ(gauge, QList<int>({0, 7, 14, 21, 29, 36, 43, 50, 57, 64, 71, 79, 86, 93, 100}));
  EXPECT_EQ(CurrentProfile.Model, "CX93001-EIS_V0.2013-V92");
  EXPECT_EQ(CurrentProfile.VoiceCompression, "at+vsm=0,8000,0,0");
}

TEST_F(Commit, DataOnlyModemGetsTheNoVoiceProfile) {
  AddModem(1, "dataonly");
  ScanAndCommit();
  EXPECT_FALSE(modemList.isVisible());
  EXPECT_FALSE(modemList.VoiceCapable);
  QStringList expected = Header("V.92 Data/Fax Modem", "GENERIC", "1.02");
  for (const char* key :
       {"VoiceMode",   "InitVoice",    "DisCallerId",    "ForCallerId",  "UnfCallerId",
        "Distinctive", "SpeakerVol",   "LineSel_T",      "LineSel_T#",   "LineSel_LT",
        "LineSel_LT#", "LineSel_ST",   "LineSel_ST#",    "LineSel_MST",  "LineSel_MST#",
        "BeepTone",    "SilenceTimer", "ToneGeneration", "VoiceProcess", "VoiceTrx",
        "VoiceRec",    "RecGain",      "SpeakerOn",      "SpeakerOff",   "MicGain",
        "SpeakerGain"}) {
    expected << QStringLiteral("Modem/%1=none").arg(QLatin1String(key));
  }
  expected << "Params/Voicefeatures=0"
           << "Params/Timeout=500";
  EXPECT_EQ(IniEntries(), expected);
  EXPECT_FALSE(link.ComPort1.Open());
}

TEST_F(Commit, LineSelectionAnsweredWithVcon) {
  link.TimeoutFactor = 100;  // the first try of each line waits for "ok" in vain
  AddModem(1, "vcon");
  ScanAndCommit();
  EXPECT_EQ(Ini("Modem", "LineSel_T"), "at+vls=1");
  EXPECT_EQ(Ini("Modem", "LineSel_T#"), "vcon");
  EXPECT_EQ(Ini("Modem", "LineSel_LT"), "at+vls=3");
  EXPECT_EQ(Ini("Modem", "LineSel_LT#"), "vcon");
  EXPECT_EQ(Ini("Modem", "LineSel_ST"), "<absent>");
  EXPECT_EQ(Ini("Params", "UseLine"), "at+vls=1");
  EXPECT_EQ(Ini("Params", "UseLineRes"), "vcon");
  EXPECT_EQ(Ini("Modem", "VoiceCompression"), "at+vsm=128,11025,0,0");
  EXPECT_EQ(Ini("Params", "Compression"), "UNSIGNED PCM");
}

TEST_F(Commit, CompressionOfEachModemKind) {
  struct Case {
    const char* profile;
    const char* command;
    const char* rate;
    const char* coding;
  };
  const Case cases[] = {
      {"lucent", "at+vsm=128,11025", "11025", "UNSIGNED PCM"},
      {"linear7", "at+vsm=128,11025,0,0", "11025", "UNSIGNED PCM"},
      {"semicolon", "at+vsm=128;8000;0;0", "8000", "UNSIGNED PCM"},
      {"signedpcm", "at+vsm=1,8000,0,0", "8000", "SIGNED PCM"},
      {"nogmm", "at+vsm=128,11025,0,0", "11025", "UNSIGNED PCM"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.profile);
    modems.clear();
    QFile::remove(dir.filePath(QLatin1String(kSettingsFileName)));
    AddModem(1, c.profile);
    ScanAndCommit();
    EXPECT_FALSE(modemList.isVisible());
    EXPECT_EQ(Ini("Modem", "VoiceCompression"), c.command);
    EXPECT_EQ(Ini("Modem", "SamplingFreq"), c.rate);
    EXPECT_EQ(Ini("Params", "Compression"), c.coding);
    EXPECT_EQ(Ini("Params", "Voicefeatures"), "1");
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
  }
}

TEST_F(Commit, VoiceModeOnlyModemStoresNoneForEveryTestedCommand) {
  AddModem(1, "voiceonly");
  ScanAndCommit();
  EXPECT_FALSE(modemList.isVisible());
  for (const char* key :
       {"InitVoice", "DisCallerId", "ForCallerId", "UnfCallerId", "Distinctive", "SpeakerVol",
        "SilenceTimer", "RecGain", "SpeakerOn", "SpeakerOff", "MicGain", "SpeakerGain"}) {
    EXPECT_EQ(Ini("Modem", key), "none") << key;
  }
  EXPECT_EQ(Ini("Modem", "VoiceMode"), "at+fclass=8");
  EXPECT_EQ(Ini("Params", "Voicefeatures"), "1");
  EXPECT_EQ(Ini("Modem", "ToneGeneration"), "at+vts=");
  EXPECT_EQ(Ini("Modem", "VoiceProcess"), "at+vtr");
  EXPECT_EQ(Ini("Modem", "VoiceTrx"), "at+vtx");
  EXPECT_EQ(Ini("Modem", "VoiceRec"), "at+vrx");
  EXPECT_EQ(Ini("Params", "UseLine"), "at+vls=1");
  EXPECT_EQ(Ini("Params", "UseLineRes"), "ok");
  EXPECT_EQ(Ini("Modem", "VoiceCompression"), "at+vsm=none");
  EXPECT_EQ(Ini("Modem", "SamplingFreq"), "0");
  EXPECT_EQ(Ini("Params", "Compression"), "");
  EXPECT_EQ(messages, QStringList({"Voice Compression codec can not be recognized"}));
}

TEST_F(Commit, RateThatIsNoNumberSkipsToTheNextMethod) {
  AddScripted(1, VoiceScript("0,\"\",0\r\n1,\"T\",0",
                             "1,\"UNSIGNED PCM\",8,0,(9600,16000),0,0\r\n"
                             "2,\"SIGNED PCM\",8,0,(7200),0,0"));
  ScanAndCommit();
  EXPECT_FALSE(modemList.isVisible());
  EXPECT_EQ(Ini("Modem", "VoiceCompression"), "at+vsm=2,7200,0,0");
  EXPECT_EQ(Ini("Modem", "SamplingFreq"), "7200");
  EXPECT_EQ(Ini("Params", "Compression"), "SIGNED PCM");
  EXPECT_FALSE(link.ComPort1.Open());
  EXPECT_TRUE(modemList.OkBtn->isEnabled());
}

TEST_F(Commit, OnlyUnusableRatesGiveNoCodecAndTheCommitStillEnds) {
  AddScripted(1, VoiceScript("1,\"T\",0", "1,\"UNSIGNED PCM\",8,0,(9600),0,0"));
  ScanAndCommit();
  EXPECT_FALSE(modemList.isVisible());
  EXPECT_EQ(messages, QStringList({"Voice Compression codec can not be recognized"}));
  EXPECT_EQ(Ini("Modem", "VoiceCompression"), "at+vsm=none");
  EXPECT_EQ(Ini("Modem", "SamplingFreq"), "0");
  EXPECT_FALSE(link.ComPort1.Open());
}

TEST_F(Commit, SixteenBitMethodFirstThenEightBitUnsigned) {
  AddScripted(1, VoiceScript("1,\"T\",0",
                             "129,\"16-BIT LINEAR\",16,0,(8000),0,0\r\n"
                             "130,\"UNSIGNED PCM\",8,0,(8000),0,0"));
  ScanAndCommit();
  EXPECT_EQ(Ini("Modem", "VoiceCompression"), "at+vsm=130,8000,0,0");
  EXPECT_EQ(Ini("Params", "Compression"), "UNSIGNED PCM");
}

TEST_F(Commit, PortThatCannotOpenKeepsTheWindowAndWritesNothing) {
  ListModem(6);  // nothing on COM6
  modemList.OkBtnClick();
  EXPECT_TRUE(modemList.isVisible());
  EXPECT_EQ(messages, QStringList({"No valid com port specified for this modem"}));
  EXPECT_TRUE(modemList.OkBtn->isEnabled());
  EXPECT_TRUE(modemList.ComboBox3->isEnabled());
  EXPECT_FALSE(QFile::exists(dir.filePath(QLatin1String(kSettingsFileName))));
  modemList.hide();
}

TEST_F(Commit, ModemThatDoesNotAnswerKeepsTheWindowAndWritesNothing) {
  link.TimeoutFactor = 20;
  AddModem(2, "silent");
  ListModem(2);
  modemList.OkBtnClick();
  EXPECT_TRUE(modemList.isVisible());
  EXPECT_EQ(messages, QStringList({"No valid modem on this port"}));
  EXPECT_TRUE(modemList.OkBtn->isEnabled());
  EXPECT_FALSE(QFile::exists(dir.filePath(QLatin1String(kSettingsFileName))));
  modemList.hide();
}

TEST_F(Commit, ModalWindowClosesThroughOkOnly) {
  AddModem(1, "lucent");
  modemList.FindModems();
  ASSERT_EQ(modemList.FoundCount, 1);
  bool escapeIgnored = false;
  QTimer::singleShot(0, [&] {
    QTest::keyClick(&modemList, Qt::Key_Escape);
    escapeIgnored = modemList.isVisible();
    QTest::mouseClick(modemList.OkBtn, Qt::LeftButton);
  });
  modemList.exec();  // the scan is over: the first event of this loop is the timer's
  EXPECT_TRUE(escapeIgnored);
  EXPECT_EQ(Ini("Modem", "Model"), "LT V.92 Data+Fax Modem");
  EXPECT_EQ(Ini("Modem", "port"), "1");
}

TEST_F(Commit, SettingsFileThatCannotBeWrittenStopsTheCommitCleanly) {
  AddModem(1, "conexant");
  // A read-only file: every write fails. (A folder in its place would fail the read.)
  {
    QFile ini(dir.filePath(QLatin1String(kSettingsFileName)));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  }
  ASSERT_TRUE(QFile::setPermissions(dir.filePath(QLatin1String(kSettingsFileName)),
                                    QFile::ReadOwner | QFile::ReadUser));
  modemList.FindModems();
  ASSERT_EQ(modemList.FoundCount, 1);
  modemList.show();
  modemList.OkBtnClick();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].startsWith("Unable to write to")) << messages[0].toStdString();
  EXPECT_TRUE(modemList.isVisible());  // the user may try again
  EXPECT_TRUE(modemList.OkBtn->isEnabled());
  EXPECT_TRUE(modemList.ComboBox3->isEnabled());
  EXPECT_FALSE(link.ComPort1.Open());
  EXPECT_FALSE(link.EchoToSpecMemo);
  modemList.hide();
}

TEST_F(Commit, LineRefusedAloneIsNotTheRecordingLine) {
  AddModem(1, "speakerline");
  ScanAndCommit();
  EXPECT_EQ(Ini("Modem", "LineSel_T"), "at+vls=1");
  EXPECT_EQ(Ini("Modem", "LineSel_T#"), "error");
  EXPECT_EQ(Ini("Modem", "LineSel_ST"), "at+vls=5");
  EXPECT_EQ(Ini("Modem", "LineSel_ST#"), "ok");
  EXPECT_EQ(Ini("Modem", "LineSel_MST#"), "ok");
  EXPECT_EQ(Ini("Params", "UseLine"), "at+vls=5");
  EXPECT_EQ(Ini("Params", "UseLineRes"), "ok");
  EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
}

TEST_F(Commit, NoLineTheModemTakesIsSaidAndNoneIsStored) {
  // An earlier modem's line keys stay in the file; this modem never answered them.
  QFile ini(dir.filePath(QLatin1String(kSettingsFileName)));
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write("[Modem]\nLineSel_LT=at+vls=3\nLineSel_LT#=ok\n");
  ini.close();
  AddScripted(1, [](const std::string& c) {
    if (c == "at+vls=?") return Chunks({"\r\n1,\"T\",0\r\n5,\"ST\",0\r\n\r\nOK\r\n"}, 5);
    if (c == "at+vls=1" || c == "at+vls=5") return Chunks({"\r\nERROR\r\n"}, 5);
    if (c == "at+vsm=?") return Chunks({"\r\n1,\"UNSIGNED PCM\",8,0,(8000),0,0\r\n\r\nOK\r\n"}, 5);
    return Chunks({"\r\nOK\r\n"}, 5);
  });
  ScanAndCommit();
  EXPECT_FALSE(modemList.isVisible());
  EXPECT_EQ(Ini("Modem", "LineSel_T#"), "error");
  EXPECT_EQ(Ini("Modem", "LineSel_ST#"), "error");
  EXPECT_EQ(Ini("Params", "UseLine"), "<absent>");
  EXPECT_EQ(Ini("Params", "UseLineRes"), "<absent>");
  EXPECT_EQ(Ini("Params", "Timeout"), "500");
  EXPECT_EQ(messages, QStringList({"The modem accepted none of its line selections: recording "
                                   "cannot select the telephone line"}));
  EXPECT_FALSE(link.ComPort1.Open());
}

TEST_F(Commit, LinesComingLongAfterTheQueryAreReadUpToTheFinalResult) {
  AddScripted(1, [](const std::string& c) {
    if (c == "at+vls=?") {
      return std::vector<testmodem::Chunk>{
          {"\r\n1,\"T\",0\r\n", 5}, {"5,\"ST\",0\r\n", 300}, {"\r\nOK\r\n", 5}};
    }
    if (c == "at+vsm=?") {
      return std::vector<testmodem::Chunk>{{"\r\n129,\"16-BIT LINEAR\",16,0,(8000),0,0\r\n", 5},
                                           {"130,\"UNSIGNED PCM\",8,0,(80", 300},
                                           {"00),0,0\r\n\r\nOK\r\n", 100}};
    }
    return Chunks({"\r\nOK\r\n"}, 5);
  });
  ScanAndCommit();
  EXPECT_EQ(Ini("Modem", "LineSel_ST"), "at+vls=5");
  EXPECT_EQ(Ini("Modem", "LineSel_ST#"), "ok");
  EXPECT_EQ(Ini("Modem", "VoiceCompression"), "at+vsm=130,8000,0,0");
  EXPECT_EQ(Ini("Modem", "SamplingFreq"), "8000");
  EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
  EXPECT_GT(modemList.AnswerTicks, 20);  // the window outlasted its 19 ticks
}

TEST_F(Commit, RangeQueryWithoutAnyAnswerEndsAfterNineteenTicks) {
  AddScripted(1, [](const std::string& c) {
    if (c == "at+vsm=?") return std::vector<testmodem::Chunk>{};
    return Chunks({"\r\nOK\r\n"}, 5);
  });
  ScanAndCommit();
  EXPECT_EQ(modemList.AnswerTicks, 20);
  EXPECT_EQ(messages, QStringList({"Voice Compression codec can not be recognized"}));
  EXPECT_EQ(Ini("Params", "UseLine"), "at+vls=1");
}

TEST_F(Commit, AnswerWithoutFinalResultIsCollectedForAtLeastNineteenTicks) {
  AddScripted(1, [](const std::string& c) {
    if (c == "at+vsm=?") {
      // The rest of the line after a short pause, and no result at all.
      return std::vector<testmodem::Chunk>{{"\r\n130,\"UNSIGNED PC", 5},
                                           {"M\",8,0,(8000),0,0", 50}};
    }
    return Chunks({"\r\nOK\r\n"}, 5);
  });
  ScanAndCommit();
  EXPECT_EQ(Ini("Modem", "VoiceCompression"), "at+vsm=130,8000,0,0");
  EXPECT_GE(modemList.AnswerTicks, 20);
  EXPECT_EQ(modemList.MemoLines().last(), "130,\"UNSIGNED PCM\",8,0,(8000),0,0");
}

TEST_F(Commit, AFailedOkOffersAWayOutUntilTheNextScan) {
  ListModem(6);  // nothing on COM6: the modem went away after the scan
  EXPECT_FALSE(modemList.WayOutOffered());
  modemList.OkBtnClick();
  EXPECT_EQ(messages, QStringList({"No valid com port specified for this modem"}));
  ASSERT_TRUE(modemList.isVisible());
  EXPECT_TRUE(modemList.WayOutOffered());
  EXPECT_TRUE(modemList.windowFlags() & Qt::WindowCloseButtonHint);
  bool left = false;
  QTimer::singleShot(0, [&] {
    QTest::keyClick(&modemList, Qt::Key_Escape);
    left = !modemList.isVisible();
  });
  EXPECT_EQ(modemList.exec(), QDialog::Rejected);
  EXPECT_TRUE(left);
  EXPECT_TRUE(modemList.LeftWithoutProfile());
  EXPECT_FALSE(QFile::exists(dir.filePath(QLatin1String(kSettingsFileName))));

  // A new scan starts without the way out: "Ok" alone again.
  modemList.FindModems();
  EXPECT_FALSE(modemList.WayOutOffered());
  EXPECT_FALSE(modemList.LeftWithoutProfile());
  EXPECT_FALSE(modemList.windowFlags() & Qt::WindowCloseButtonHint);
}

TEST_F(Commit, AModemUnpluggedDuringTheProbeStopsItWithoutAConfiguredProfile) {
  vmodem::VirtualModem& modem = AddModem(1, "conexant");
  modemList.FindModems();
  ASSERT_EQ(modemList.FoundCount, 1);
  modemList.show();
  // Pulled out once the probe is under way (the identification keys are written by then).
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!QFile::exists(dir.filePath(QLatin1String(kSettingsFileName)))) return;
    watch.stop();
    modem.unplug();
  });
  watch.start(5);
  QElapsedTimer clock;
  clock.start();
  modemList.OkBtnClick();
  // Each exchange would otherwise wait for its time-out (5 s) and store "none".
  EXPECT_LT(clock.elapsed(), 4000);
  ASSERT_EQ(messages.size(), 1) << messages.join('|').toStdString();
  EXPECT_TRUE(messages[0].startsWith("The modem was disconnected.")) << messages[0].toStdString();
  EXPECT_TRUE(modemList.isVisible());
  EXPECT_TRUE(modemList.WayOutOffered());
  EXPECT_TRUE(modemList.OkBtn->isEnabled());
  EXPECT_FALSE(modemList.Gauge1->isVisible());
  EXPECT_FALSE(link.ComPort1.Open());
  EXPECT_FALSE(link.EchoToSpecMemo);
  EXPECT_FALSE(ModemConfigured(*SettingsFile));
  EXPECT_FALSE(IniEntries().contains("Modem/InitVoice=none"));
  modemList.hide();
}
