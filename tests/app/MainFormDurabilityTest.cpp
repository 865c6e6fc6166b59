// A day of use loses nothing, through the main window on the virtual modem: each call is
// on disk the moment it is made, a shutdown during a recording saves it, Modem Off keeps
// the recording for the next start, and what a kill leaves after Stop is never a second
// call.
#include <unistd.h>

#include <gtest/gtest.h>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <thread>

#include "MainFormTestSupport.h"
#include "calls/CallFile.h"
#include "calls/JournalFormat.h"
#include "calls/RecordingRecovery.h"
#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "recording/RecorderPanel.h"
#include "vmodem/VirtualModem.h"

namespace {
constexpr int kWaitMs = 10000;

struct ModemWindow {
  ModemWindow() {
    TWavPlayer::SetSilentOutput(true);
    vmodem::Options o;
    o.line.kind = vmodem::LineOptions::Kind::Pattern;
    o.line.pattern = std::string("\x80\x10\x90\x03\x7f", 5);
    modem = std::make_unique<vmodem::VirtualModem>(o);
    modem->start();
    fx.portPath = modem->slavePath();
    fx.Write("Tavrin.ini", kVirtualModemIni);
  }
  TMainForm& Start() {
    TMainForm& form = fx.Start();
    EXPECT_TRUE(form.ModemF->PortIsOpen) << fx.messages.join('\n').toStdString();
    return form;
  }
  // Record, and wait until `bytes` samples have come.
  bool Record(TMainForm& form, int64_t bytes) {
    form.RecSb1->click();
    return form.RecordingActive() &&
           QTest::qWaitFor([&] { return form.ModemF->RecordedBytes >= bytes; }, kWaitMs);
  }
  std::vector<TCallRecord> OnDisk() const { return LoadCallFile(fx.Path("Calls.dbt")); }
  QStringList Files(const char* pattern) const {
    return QDir(fx.Path("wav")).entryList({QString::fromLatin1(pattern)}, QDir::Files);
  }

  MainFormFixture fx;
  std::unique_ptr<vmodem::VirtualModem> modem;
};
}  // namespace

TEST(DurabilityTest, StopMemoAndDeleteAreOnDiskAtOnceAndTheJournalGoesLast) {
  ModemWindow w;
  TMainForm& form = w.Start();
  for (int call = 1; call <= 3; ++call) {
    SCOPED_TRACE(call);
    ASSERT_TRUE(w.Record(form, 1600));
    ASSERT_EQ(w.Files("*.journal").size(), 1);
    form.StopSb1->click();
    ASSERT_TRUE(w.fx.messages.isEmpty()) << w.fx.messages.join('\n').toStdString();
    const std::vector<TCallRecord> disk = w.OnDisk();
    ASSERT_EQ(disk.size(), static_cast<size_t>(call));
    EXPECT_EQ(disk.back().FileName, form.CallList.back().FileName);
    EXPECT_EQ(w.fx.Read("wav/" + disk.back().FileName + ".wav").size(),
              44 + form.ModemF->RecordedBytes);
    EXPECT_TRUE(w.Files("*.journal").isEmpty());
    EXPECT_TRUE(w.Files("*.part").isEmpty());
  }
  EXPECT_EQ(w.Files("*.wav").size(), 3);

  w.fx.inputAnswer = "the plumber";
  form.SelectRow(2);
  form.Comment1->trigger();
  EXPECT_EQ(w.OnDisk()[1].Memo, "the plumber");

  const QString gone = form.CallList[0].FileName;
  form.SelectRow(1);
  form.Delete1->trigger();
  const std::vector<TCallRecord> disk = w.OnDisk();
  ASSERT_EQ(disk.size(), 2u);
  EXPECT_EQ(disk[0].Memo, "the plumber");
  EXPECT_FALSE(QFile::exists(w.fx.Path("wav/" + gone + ".wav")));
  EXPECT_EQ(w.Files("*.wav").size(), 2);
  // Three names, all different: a new call never takes another's file.
  EXPECT_NE(disk[0].FileName, disk[1].FileName);
  EXPECT_NE(disk[0].FileName, gone);
  form.close();
}

TEST(DurabilityTest, ClosingTheWindowDuringARecordingSavesItAsStopWould) {
  ModemWindow w;
  TMainForm& form = w.Start();
  ASSERT_TRUE(w.Record(form, 4000));
  form.close();
  ASSERT_TRUE(w.fx.messages.isEmpty()) << w.fx.messages.join('\n').toStdString();
  const std::vector<TCallRecord> disk = w.OnDisk();
  ASSERT_EQ(disk.size(), 1u);
  EXPECT_EQ(disk[0].Memo, "");  // saved, not recovered
  const QByteArray wav = w.fx.Read("wav/" + disk[0].FileName + ".wav");
  ASSERT_EQ(wav.size(), 44 + form.ModemF->RecordedBytes);
  const std::string sent = w.modem->streamed();
  EXPECT_EQ(wav.mid(44), QByteArray::fromStdString(sent).left(wav.size() - 44));
  EXPECT_TRUE(w.Files("*.journal").isEmpty());
  const QByteArray log = w.fx.Read("Events.log");
  EXPECT_TRUE(log.contains("Recording in progress saved at shutdown (0:")) << log.toStdString();

  // The next start finds the call and nothing to recover.
  w.fx.form.reset();
  TMainForm& again = w.fx.Start();
  EXPECT_EQ(again.CallCount(), 1);
  EXPECT_FALSE(again.MonitorForm->Text().contains("recovered"));
}

TEST(DurabilityTest, ModemOffKeepsTheRecordingForTheNextStartWhichRecoversItOnce) {
  ModemWindow w;
  TMainForm& form = w.Start();
  ASSERT_TRUE(w.Record(form, 4000));
  form.Off1->trigger();
  ASSERT_EQ(w.fx.messages.size(), 1);
  EXPECT_TRUE(w.fx.messages[0].contains("not saved")) << w.fx.messages[0].toStdString();
  EXPECT_TRUE(w.fx.messages[0].contains("next start"));
  EXPECT_EQ(form.CallCount(), 0);
  const QByteArray samples = form.Recorder->VoiceStream.Data().mid(44);
  // Settings runs the start sequence again: this run does not take its own recording.
  form.Settings1->trigger();
  EXPECT_EQ(form.CallCount(), 0);
  EXPECT_EQ(w.Files("*.journal").size(), 1);
  form.close();
  EXPECT_EQ(w.Files("*.journal").size(), 1);
  EXPECT_TRUE(w.OnDisk().empty());

  w.fx.form.reset();
  TMainForm& again = w.fx.Start();
  ASSERT_EQ(again.CallCount(), 1);
  EXPECT_EQ(again.CallList[0].Memo, kRecoveredMemo);
  EXPECT_EQ(w.fx.Read("wav/" + again.CallList[0].FileName + ".wav").mid(44), samples);
  EXPECT_TRUE(w.Files("*.journal").isEmpty());
  EXPECT_EQ(w.OnDisk().size(), 1u);
}

TEST(DurabilityTest, AKillAfterTheWavOrTheRowButBeforeTheJournalWentIsNoSecondCall) {
  for (const bool rowOnDisk : {false, true}) {
    SCOPED_TRACE(rowOnDisk ? "after the row" : "after the WAV file");
    ModemWindow w;
    TMainForm& form = w.Start();
    ASSERT_TRUE(w.Record(form, 3000));
    const QString journal = form.Recorder->Recorder.Journal.Path();
    const QByteArray listBefore = w.fx.Read("Calls.dbt");
    const QByteArray header = w.fx.Read(journal).left(kJournalHeaderSize);
    form.StopSb1->click();
    ASSERT_EQ(form.CallCount(), 1);
    const QString name = form.CallList[0].FileName;
    // What the kill leaves: the journal Stop had named after the call, and the list of
    // the moment before the row when the kill came before it.
    const QByteArray wav = w.fx.Read("wav/" + name + ".wav");
    const QByteArray journalBytes = header + wav.mid(44);  // every sample went into it
    w.fx.form.reset();
    if (!rowOnDisk) w.fx.Write("Calls.dbt", listBefore);
    w.fx.Write("wav/" + name + ".journal", journalBytes);
    EXPECT_FALSE(QFile::exists(w.fx.Path(journal)));

    TMainForm& again = w.fx.Start();
    ASSERT_EQ(again.CallCount(), 1) << again.MonitorForm->Text().toStdString();
    EXPECT_EQ(again.CallList[0].FileName, name);
    EXPECT_EQ(w.fx.Read("wav/" + name + ".wav"), wav);
    EXPECT_EQ(w.Files("*.wav"), QStringList{name + ".wav"});
    EXPECT_TRUE(w.Files("*.journal").isEmpty());
    EXPECT_EQ(w.OnDisk().size(), 1u);
  }
}

TEST(DurabilityTest, ASlowDiskNeverHoldsUpTheReception) {
  ModemWindow w;
  TMainForm& form = w.Start();
  std::atomic<int> syncs{0};
  // Every sync of the journal takes a second and a half.
  form.Recorder->Recorder.Journal.SetSync([&](int fd) {
    ++syncs;
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    return ::fdatasync(fd);
  });
  ASSERT_TRUE(w.Record(form, 800));
  const int64_t first = form.ModemF->RecordedBytes;
  // Samples keep coming at the line's pace while the first sync still runs.
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.ModemF->RecordedBytes >= first + 6000; }, 1400));
  EXPECT_EQ(syncs, 1);
  form.StopSb1->click();
  ASSERT_EQ(form.CallCount(), 1);
  const std::string sent = w.modem->streamed();
  const QByteArray wav = w.fx.Read("wav/" + form.CallList[0].FileName + ".wav");
  EXPECT_EQ(wav.mid(44), QByteArray::fromStdString(sent).left(wav.size() - 44));
  EXPECT_TRUE(w.fx.messages.isEmpty()) << w.fx.messages.join('\n').toStdString();
}
