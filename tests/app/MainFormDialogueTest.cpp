// The whole dialogue with the modem, command by command, through the main window on the
// virtual modem: the start, recordings, Settings, Modem Off and On, the diagnostics and
// the first start's scan and probe. Each step's commands are compared with the list that
// step sends, so that a command added to any of them fails here and is named.
#include <gtest/gtest.h>
#include <QAction>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <chrono>

#include "MainFormTestSupport.h"
#include "modem/ModemF.h"
#include "setup/SpecModemForm.h"
#include "sound/WavPlayer.h"
#include "vmodem/VirtualModem.h"

namespace {
using namespace std::chrono_literals;
using Commands = std::vector<std::string>;

const Commands kStart = {"atE0", "ats0=0"};
const Commands kRecord = {"at+fclass=8", "at+vgr=128", "at+vsm=1,8000", "at+vls=1", "at+vrx"};
// Record with the profile that probe stores: the first 8-bit method it lists.
const Commands kRecordProbed = {"at+fclass=8", "at+vgr=128", "at+vsm=0,8000,0,0", "at+vls=1",
                                "at+vrx"};
const Commands kDiagnostics = {
    "ate0",     "at+fclass=8", "at+fclass=?", "at+VNH=?", "at+FMI?",  "at+FMM?",
    "at+FMR?",  "at+GMI?",     "at+GMM?",     "at+GMR?",  "at+FLO=?", "at+VIP=?",
    "at+VTS=?", "at+VXT=?",    "at+VGR=?",    "at+VGT=?", "at+VIT=?", "at+VLS=?",
    "at+VRA=?", "at+VRN=?",    "at+VSD=?",    "at+VSM=?", "at+VTD=?", "at+VDR=?",
    "at+VDT=?", "at+VEM=?",    "at+VBT=?",    "at+VPP=?", "at+VPR=?"};
// The scan of a port with a modem that answers the +G identification queries.
const Commands kScanOnePort = {"ATE0", "AT", "AT+GMM?", "AT+GMI?", "AT+GMR?"};
// The probe of the virtual modem's default profile, which lists the lines T, L, LT, S,
// ST, M and MST and takes each.
const Commands kProbe = {"atE0",      "at+fclass=8", "at+vid",        "at+vcid=0", "at+vcid=1",
                         "at+vcid=2", "at+vdr=0",    "at+vgt=128",    "at+vls=?",  "at+vls=1",
                         "at+vls=0",  "at+vls=3",    "at+vls=0",      "at+vls=5",  "at+vls=0",
                         "at+vls=7",  "at+vls=0",    "at+vsm=?",      "at+vsd=127,50",
                         "at+vgr=128", "at+vsp=1",   "at+vsp=0",      "at+vgm=128", "at+vgs=128"};

std::string Join(const Commands& commands) {
  std::string text;
  for (const std::string& c : commands) text += (text.empty() ? "\"" : ", \"") + c + "\"";
  return text;
}

// Reads the modem's byte log step by step: each step takes the commands that came since
// the step before (or, for steps run by one command, as many as the step sends).
class TDialogue {
 public:
  explicit TDialogue(const vmodem::VirtualModem& modem) : modem_(modem) {}

  void Expect(const std::string& step, const Commands& expected) { Check(step, expected, false); }
  // The step is followed by others that have run already: it takes its own share.
  void ExpectNext(const std::string& step, const Commands& expected) {
    Check(step, expected, true);
  }

 private:
  void Check(const std::string& step, const Commands& expected, bool ownShare) {
    // The last command of a step may still be on its way (Record's "at+vrx" is not
    // answered); one more than expected would be there by then as well.
    const size_t due = seen_ + expected.size();
    modem_.waitFor([due](const vmodem::ModemStatus& s) { return s.commands >= long(due); }, 5s);
    const Commands all = modem_.commands();
    const size_t from = std::min(seen_, all.size());
    const size_t to = ownShare ? std::min(due, all.size()) : all.size();
    const Commands got(all.begin() + static_cast<std::ptrdiff_t>(from),
                       all.begin() + static_cast<std::ptrdiff_t>(to));
    seen_ = to;
    for (size_t i = 0; i < std::max(got.size(), expected.size()); ++i) {
      if (i < got.size() && i < expected.size() && got[i] == expected[i]) continue;
      ADD_FAILURE() << step << ": command " << i + 1 << " is "
                    << (i < got.size() ? "\"" + got[i] + "\"" : "missing") << " where the dialogue has "
                    << (i < expected.size() ? "\"" + expected[i] + "\"" : "nothing more")
                    << "\n  sent:     " << Join(got) << "\n  expected: " << Join(expected);
      return;
    }
  }

  const vmodem::VirtualModem& modem_;
  size_t seen_ = 0;
};

// The main window in a folder of its own, its COM1 the virtual modem and no other port.
struct DialogueRig {
  explicit DialogueRig(vmodem::Options options = {}) : modem(std::move(options)), dialogue(modem) {
    TWavPlayer::SetSilentOutput(true);
    modem.start();
    const std::string path = modem.slavePath();
    SetPortPathSource([path](int n) {
      return std::optional<std::string>(n == 1 ? path : std::string(kNoDevicePath));
    });
  }
  TMainForm& Start(const QByteArray& ini) {
    fx.Write("Tavrin.ini", ini);
    TMainForm& form = fx.Start();
    EXPECT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();
    return form;
  }
  void Record(TMainForm& form) {
    const int calls = form.CallCount();
    form.RecSb1->click();
    ASSERT_TRUE(form.RecordingActive()) << fx.messages.join('\n').toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.ModemF->RecordedBytes >= 800; }, 10000));
    form.StopSb1->click();
    EXPECT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();
    EXPECT_EQ(form.CallCount(), calls + 1);
  }

  MainFormFixture fx;
  vmodem::VirtualModem modem;
  TDialogue dialogue;
};

QByteArray WithCallerId(const QByteArray& ini) {
  QByteArray out = ini;
  out.replace("[Modem]\n", "[Modem]\nForCallerId=at+vcid=1\n");
  return out + "CallerId=1\n";
}
}  // namespace

// Stop closes the port. A modem that resets then comes back with its echo on, one told
// to ignore the port's close keeps it off: the second and third recordings get through
// on both with the same commands as the first.
TEST(MainFormDialogueTest, TheStartAndThreeRecordingsSendTheirCommandsAndNothingElse) {
  for (const bool keepState : {false, true}) {
    SCOPED_TRACE(keepState ? "a modem that keeps its state" : "a modem that resets");
    vmodem::Options options;
    options.keepStateOnClose = keepState;
    DialogueRig rig(options);
    TMainForm& form = rig.Start(kVirtualModemIni);
    rig.dialogue.Expect("the start", kStart);
    for (int n = 1; n <= 3; ++n) {
      rig.Record(form);
      rig.dialogue.Expect("recording " + std::to_string(n), kRecord);
      // Stop has closed the port: the next Record finds the echo as the modem's kind
      // leaves it, on after a reset.
      EXPECT_EQ(rig.modem.status().echo, !keepState) << n;
    }
    EXPECT_EQ(rig.modem.status().closes, 3);
    form.close();
    rig.dialogue.Expect("the shutdown", {});
  }
}

TEST(MainFormDialogueTest, SettingsRunsTheStartAgainAndModemOffAndOnSendNothing) {
  DialogueRig rig;
  TMainForm& form = rig.Start(kVirtualModemIni);
  rig.dialogue.Expect("the start", kStart);
  form.Settings1->trigger();
  EXPECT_EQ(rig.fx.modals, QStringList{"SettingsForm|Settings"});
  rig.dialogue.Expect("Settings", kStart);
  form.Off1->trigger();
  form.On1->trigger();
  ASSERT_TRUE(form.ModemF->PortIsOpen);
  rig.dialogue.Expect("Modem Off and On", {});
  rig.Record(form);  // on the modem that reset when Modem Off closed its port
  rig.dialogue.Expect("a recording after Modem On", kRecord);
  form.close();
  rig.dialogue.Expect("the shutdown", {});
}

// Caller ID's command is the one addition: after the start's two, at Modem On, and at
// every other open: after each Stop (the port is opened again to hear the next call) and
// at Record's own open when the port was off.
TEST(MainFormDialogueTest, CallerIdAddsItsOneCommandToTheStartAndToEveryOpen) {
  DialogueRig rig;
  TMainForm& form = rig.Start(WithCallerId(kVirtualModemIni));
  const Commands withCallerId = {"atE0", "ats0=0", "at+vcid=1"};
  rig.dialogue.Expect("the start", withCallerId);
  form.Off1->trigger();
  form.On1->trigger();
  rig.dialogue.Expect("Modem Off and On", {"at+vcid=1"});
  // Stop closes the port; the program opens it again once Stop is over.
  const auto listeningAgain = [&] {
    const long commands = rig.modem.status().commands;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return form.ModemF->PortIsOpen && rig.modem.status().commands > commands; }, 5000));
  };
  for (int n = 1; n <= 2; ++n) {
    rig.Record(form);
    listeningAgain();
    rig.dialogue.ExpectNext("recording " + std::to_string(n), kRecord);
    rig.dialogue.Expect("listening again after recording " + std::to_string(n), {"at+vcid=1"});
  }
  form.Off1->trigger();
  rig.Record(form);
  listeningAgain();
  rig.dialogue.ExpectNext("Record with the modem off", {"at+vcid=1", "at+fclass=8", "at+vgr=128",
                                                        "at+vsm=1,8000", "at+vls=1", "at+vrx"});
  rig.dialogue.Expect("listening again after it", {"at+vcid=1"});
  form.Settings1->trigger();
  rig.dialogue.Expect("Settings", withCallerId);
  EXPECT_TRUE(rig.fx.messages.isEmpty()) << rig.fx.messages.join('\n').toStdString();
  form.close();
}

TEST(MainFormDialogueTest, DiagnosticsSendTheirTwentyNineQueriesInOrder) {
  DialogueRig rig;
  TMainForm& form = rig.Start(kVirtualModemIni);
  rig.dialogue.Expect("the start", kStart);
  form.Diagnostics1->trigger();
  rig.dialogue.Expect("Diagnostics", kDiagnostics);
  rig.Record(form);  // the diagnostics left the modem in voice mode: Record sets it again
  rig.dialogue.Expect("a recording after the diagnostics", kRecord);
  form.close();
}

TEST(MainFormDialogueTest, TheFirstStartScansProbesAndThenRunsTheStart) {
  DialogueRig rig;
  TMainForm& form = rig.fx.Create();
  ConfirmTheModemFound(form);
  rig.fx.Start();
  ASSERT_TRUE(rig.fx.messages.isEmpty()) << rig.fx.messages.join('\n').toStdString();
  rig.dialogue.ExpectNext("the scan", kScanOnePort);
  rig.dialogue.ExpectNext("the probe", kProbe);
  rig.dialogue.Expect("the start", kStart);
  ASSERT_TRUE(form.ModemF->PortIsOpen);
  rig.Record(form);
  rig.dialogue.Expect("the first recording", kRecordProbed);
  form.close();
}
