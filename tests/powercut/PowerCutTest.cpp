// Power cuts at random moments of a day's work: in a recording, at Stop, at a hang-up, in
// a memo edit, a Delete, the settings and the shutdown.
//
// The real program runs once through the steps on a private X server with the power-cut
// seam, which logs what it made durable. Each cut then rebuilds the folder as a cut at
// that moment would have left it, runs the next start on it in this process (the same
// start sequence the program runs: the recovery of journals, the loading and merging of
// the call list) and checks the rules of common/CallInvariants.h on the list it shows
// and the files. A real start of the program per cut would cost a second or more under
// the sanitizers; this costs some milliseconds. A few real kills of the real program,
// each followed by a real start, check the same rules the slow way.
#include <gtest/gtest.h>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <map>
#include <random>

#include "PowerCutLog.h"
#include "app/MainFormTestSupport.h"
#include "app/ProgramSupport.h"
#include "common/CallInvariants.h"
#include "common/RecorderUser.h"

namespace {
constexpr int kCutsPerRun = 110;  // two runs: more than 200 cuts
// Cuts in the steps themselves; the rest fall anywhere in the run.
constexpr double kShareInSteps = 0.8;
constexpr int64_t kNsPerMs = 1000000;
constexpr int kSettleMs = 3000;
const QStringList kCutSteps = {"record", "stop",     "hang-up", "memo",
                               "delete", "settings", "shutdown"};

struct TCut {
  int64_t ns = 0;
  QString step;  // the step the cut fell in
  bool insideDelete = false;
};

struct TCutReport {
  int cuts = 0;
  int violated = 0;
  std::map<QString, std::pair<int, int>> bySteps;  // step: cuts, cuts with violations
  QStringList first;                               // the first violations, with their cuts
  std::map<QString, int> kinds;                    // each rule broken: how often
};

// A violation without its numbers and names: the rule it breaks.
QString KindOf(QString violation) {
  static const QRegularExpression names(QStringLiteral("\\(\\w+\\)|wav/\\S+|\\d+"));
  return violation.replace(names, QStringLiteral("#"));
}

int Ms(int64_t ns, int64_t from) {
  return int((ns - from) / kNsPerMs);
}

// The span of each step: from its start to the next step's (the program may still be
// writing when the user's part is done); the last one ends a second after its end.
std::vector<TUserStep> Spans(const std::vector<TUserStep>& steps) {
  std::vector<TUserStep> spans = steps;
  for (size_t i = 0; i + 1 < spans.size(); ++i) spans[i].endNs = spans[i + 1].startNs;
  if (!spans.empty()) spans.back().endNs += 1000 * kNsPerMs;
  return spans;
}

// Where the cuts fall: in each step, half on its syncs (at one, or just before it) and
// half anywhere in it; the others anywhere in the run.
std::vector<TCut> ChooseCuts(const TPowerCutLog& log, const std::vector<TUserStep>& steps,
                             std::mt19937& random, int count) {
  const std::vector<TUserStep> spans = Spans(steps);
  const std::vector<int64_t> syncs = log.SyncTimes();
  const auto syncsIn = [&](const TUserStep& s) {
    std::vector<int64_t> in;
    for (int64_t t : syncs) {
      if (t >= s.startNs && t < s.endNs) in.push_back(t);
    }
    return in;
  };
  const auto anywhere = [&](int64_t from, int64_t to) {
    return std::uniform_int_distribution<int64_t>(from, std::max(from, to - 1))(random);
  };
  std::vector<int64_t> times;
  std::vector<TUserStep> cutSpans;
  for (const TUserStep& s : spans) {
    if (kCutSteps.contains(s.kind)) cutSpans.push_back(s);
  }
  const int perSpan = cutSpans.empty() ? 0 : int(count * kShareInSteps) / int(cutSpans.size());
  for (const TUserStep& s : cutSpans) {
    const std::vector<int64_t> in = syncsIn(s);
    for (int i = 0; i < perSpan; ++i) {
      if (i % 2 == 0 && !in.empty()) {
        const int64_t t = in[std::uniform_int_distribution<size_t>(0, in.size() - 1)(random)];
        times.push_back(random() % 2 ? t : t - 1);
      } else {
        times.push_back(anywhere(s.startNs, s.endNs));
      }
    }
  }
  while (int(times.size()) < count) times.push_back(anywhere(log.StartNs(), spans.back().endNs));

  std::vector<TCut> cuts;
  for (int64_t t : times) {
    TCut cut{t, QStringLiteral("start"), false};
    for (const TUserStep& s : spans) {
      if (t < s.startNs || t >= s.endNs) continue;
      cut.step = s.kind;
      // A Delete lasts until the last sync it made.
      if (s.kind == "delete") {
        const std::vector<int64_t> in = syncsIn(s);
        cut.insideDelete = !in.empty() && t < in.back();
      }
    }
    cuts.push_back(cut);
  }
  return cuts;
}

// The next start after the cut, in this process, and the rules checked on what it shows.
QStringList StartAfterCut(const TPowerCutLog& log, const TCut& cut,
                          const std::vector<THeardCall>& calls) {
  MainFormFixture next;
  QString error;
  if (!log.Rebuild(cut.ns, next.dir.path(), &error)) return {error};
  next.Start();
  TCallCheck check;
  check.folder = next.dir.path();
  check.rows = next.form->CallList;
  check.calls = calls;
  check.cutNs = cut.ns;
  check.insideDelete = cut.insideDelete;
  return CheckCalls(check);
}

TCutReport CutEverywhere(const TPowerCutLog& log, const TRecorderUser& user, unsigned seed) {
  std::mt19937 random(seed);
  TCutReport report;
  for (const TCut& cut : ChooseCuts(log, user.Steps(), random, kCutsPerRun)) {
    const QStringList violations = StartAfterCut(log, cut, user.Calls());
    ++report.cuts;
    auto& step = report.bySteps[cut.step];
    ++step.first;
    if (violations.isEmpty()) continue;
    ++report.violated;
    ++step.second;
    for (const QString& v : violations) ++report.kinds[cut.step + ": " + KindOf(v)];
    if (report.first.size() < 12) {
      report.first << QStringLiteral("cut at %1 ms (%2%3): %4")
                          .arg(Ms(cut.ns, log.StartNs()))
                          .arg(cut.step, cut.insideDelete ? QStringLiteral(", inside") : QString(),
                               violations.join(QStringLiteral("; ")));
    }
  }
  return report;
}

void Report(const char* run, unsigned seed, const TCutReport& r, const TRecorderUser& user) {
  std::printf("%s seed %u: cuts %d, cuts with violations %d\n", run, seed, r.cuts, r.violated);
  for (const auto& [step, counts] : r.bySteps) {
    std::printf("  %-9s cuts %3d, violated %3d\n", qPrintable(step), counts.first, counts.second);
  }
  for (const auto& [kind, n] : r.kinds) std::printf("  %4d x %s\n", n, qPrintable(kind));
  for (const QString& line : r.first) std::printf("  %s\n", qPrintable(line));
  for (const QString& line : user.Messages()) std::printf("  message: %s\n", qPrintable(line));
  std::printf("powercut_cuts: %d\npowercut_violations: %d\n", r.cuts, r.violated);
}

class PowerCutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(x.display.isEmpty()) << "no X server (Xvfb) could be started";
    ASSERT_TRUE(QDir(base.path()).mkdir("run"));
    user = std::make_unique<TRecorderUser>(x, base.filePath("run"));
    user->options.Preload(QStringLiteral(TAVRIN_POWER_CUT_LIBRARY))
        .Environment("TAVRIN_POWER_CUT_LOG", base.filePath("log"))
        .Environment("TAVRIN_POWER_CUT_ROOT", base.filePath("run"));
  }
  // A recording of one to three seconds, from the ring on.
  void Call(std::mt19937& random) {
    ASSERT_TRUE(user->Ring()) << qPrintable(user->Failure());
    ASSERT_TRUE(user->Record()) << qPrintable(user->Failure());
    QTest::qWait(std::uniform_int_distribution<int>(1000, 3000)(random));
  }
  void Saved() { EXPECT_TRUE(user->NoteSavedRecording(kSettleMs)) << "no WAV file came"; }
  void CutAndJudge(const char* run, unsigned seed) {
    TPowerCutLog log;
    QString error;
    ASSERT_TRUE(log.Load(base.filePath("log"), &error)) << qPrintable(error);
    const TCutReport report = CutEverywhere(log, *user, seed);
    Report(run, seed, report, *user);
    EXPECT_EQ(report.violated, 0) << "seed " << seed << "\n" << qPrintable(report.first.join('\n'));
    if (report.violated > 0) {
      // The run's folder as it ended and the seam's log, to rebuild any cut by hand.
      base.setAutoRemove(false);
      std::printf("the run and its log are kept in %s\n", qPrintable(base.path()));
    }
  }

  XServer x;
  QTemporaryDir base;
  std::unique_ptr<TRecorderUser> user;
};

TEST_F(PowerCutTest, CutsInRecordingsStopHangUpMemoDeleteSettingsAndAShutdownWhileRecording) {
  constexpr unsigned kSeed = 19001;
  std::mt19937 random(kSeed);
  ASSERT_TRUE(user->Start()) << qPrintable(user->Failure());
  Call(random);
  ASSERT_TRUE(user->Stop()) << qPrintable(user->Failure());
  Saved();
  Call(random);
  ASSERT_TRUE(user->HangUp()) << qPrintable(user->Failure());
  Saved();
  ASSERT_TRUE(user->EditMemo(QStringLiteral("the plumber"))) << qPrintable(user->Failure());
  ASSERT_TRUE(user->Delete()) << qPrintable(user->Failure());
  ASSERT_TRUE(user->Settings()) << qPrintable(user->Failure());
  Call(random);
  ASSERT_TRUE(user->Shutdown()) << qPrintable(user->Failure());
  user->NoteSavedRecording(500);  // a shutdown saves the recording (once that has landed)
  CutAndJudge("recordings, hang-up, memo, delete, settings, shutdown while recording", kSeed);
}

TEST_F(PowerCutTest, CutsInADeleteBeforeAMemoEditAndAQuietShutdown) {
  constexpr unsigned kSeed = 19002;
  std::mt19937 random(kSeed);
  ASSERT_TRUE(user->Start()) << qPrintable(user->Failure());
  for (int i = 0; i < 2; ++i) {
    Call(random);
    ASSERT_TRUE(user->Stop()) << qPrintable(user->Failure());
    Saved();
  }
  ASSERT_TRUE(user->Delete()) << qPrintable(user->Failure());
  ASSERT_TRUE(user->EditMemo(QStringLiteral("call back on Monday"))) << qPrintable(user->Failure());
  Call(random);
  ASSERT_TRUE(user->HangUp()) << qPrintable(user->Failure());
  Saved();
  ASSERT_TRUE(user->Settings()) << qPrintable(user->Failure());
  ASSERT_TRUE(user->Shutdown()) << qPrintable(user->Failure());
  CutAndJudge("recordings, delete, memo, hang-up, settings, quiet shutdown", kSeed);
}

// The real thing, a few times: SIGKILL at a random moment (in a recording, just after a
// Stop, after a memo edit), then a real start, which must find everything owed.
TEST(PowerCutKillTest, ARealKillAtRandomMomentsAndARealStartLoseNothing) {
  constexpr unsigned kSeed = 19003;
  constexpr int kKills = 3;
  if (const QString why = WhyNoRestartAfterAKill(); !why.isEmpty()) GTEST_SKIP() << qPrintable(why);
  std::mt19937 random(kSeed);
  XServer x;
  ASSERT_FALSE(x.display.isEmpty()) << "no X server (Xvfb) could be started";
  QTemporaryDir folder;
  TRecorderUser user(x, folder.path());
  QStringList found;
  for (int kill = 0; kill < kKills; ++kill) {
    ASSERT_TRUE(user.Start()) << qPrintable(user.Failure());
    if (kill > 0) {
      const int64_t cut = user.Steps()[user.Steps().size() - 2].startNs;  // the kill's
      for (const QString& v : user.CheckFiles(cut, kSettleMs)) {
        found << QStringLiteral("after kill %1: %2").arg(kill).arg(v);
      }
    }
    ASSERT_TRUE(user.Ring()) << qPrintable(user.Failure());
    ASSERT_TRUE(user.Record()) << qPrintable(user.Failure());
    QTest::qWait(std::uniform_int_distribution<int>(1200, 2500)(random));
    switch (kill % 3) {
      case 0:  // in the recording
        break;
      case 1:  // just after a Stop
        ASSERT_TRUE(user.Stop()) << qPrintable(user.Failure());
        user.NoteSavedRecording(kSettleMs);
        QTest::qWait(std::uniform_int_distribution<int>(0, 600)(random));
        break;
      case 2:  // after a memo edit
        ASSERT_TRUE(user.HangUp()) << qPrintable(user.Failure());
        user.NoteSavedRecording(kSettleMs);
        ASSERT_TRUE(user.EditMemo(QStringLiteral("kill %1").arg(kill)))
            << qPrintable(user.Failure());
        break;
    }
    ASSERT_TRUE(user.Kill()) << qPrintable(user.Failure());
  }
  ASSERT_TRUE(user.Start()) << qPrintable(user.Failure());
  const int64_t cut = user.Steps()[user.Steps().size() - 2].startNs;
  for (const QString& v : user.CheckFiles(cut, kSettleMs)) {
    found << QStringLiteral("after kill %1: %2").arg(kKills).arg(v);
  }
  ASSERT_TRUE(user.Shutdown()) << qPrintable(user.Failure());
  std::printf("real kills %d, violations %lld (seed %u)\n", kKills, (long long)found.size(), kSeed);
  for (const QString& line : found) std::printf("  %s\n", qPrintable(line));
  EXPECT_TRUE(found.isEmpty()) << "seed " << kSeed << "\n" << qPrintable(found.join('\n'));
}

}  // namespace
