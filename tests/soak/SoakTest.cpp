// A day of calls in fast forward on the real program, on a private X server with the
// virtual modem: each call rings with the caller ID of a caller of its own, is recorded,
// ends with the far end hanging up (stop on hang-up) or a Stop, gets a memo, is sometimes
// deleted, and is played. Along the way come the settings, one unplug and replug of the
// modem, and kills (SIGKILL) at random moments, each followed by a new start. After every
// step the files must keep the rules of common/CallInvariants.h, each row's memo must be
// its caller's or the one typed, no journal is left, and the program's descriptors,
// threads and memory stay flat.
//
// TAVRIN_SOAK_CALLS and TAVRIN_SOAK_SEED choose the number of calls (default 30) and the
// seed (printed with every failure); scripts/soak runs a longer day.
#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <numeric>
#include <random>
#include <set>

#include "app/ProgramSupport.h"
#include "common/CallInvariants.h"
#include "common/RecorderUser.h"
#include "calls/RecordingRecovery.h"
#include "sound/RecordingFiles.h"

namespace {
constexpr int kDefaultCalls = 30;
constexpr unsigned kDefaultSeed = 1919;
constexpr int kKills = 5;
// A step's files are written within this; a violation must last past it to count.
constexpr int kSettleMs = 2000;
// Once a violation is known, looking longer at each later step only costs time.
constexpr int kSettleAfterViolationMs = 200;
// The descriptors and threads of an idle program are the same after every call; its
// memory may grow a little (allocator caches, the sanitizer's quarantine).
constexpr int64_t kRssGrowthKbMax = 16 * 1024;

int EnvInt(const char* name, int fallback) {
  bool ok = false;
  const int v = qEnvironmentVariableIntValue(name, &ok);
  return ok && v > 0 ? v : fallback;
}

// Where a kill strikes in its call.
enum class TKillAt { kRinging, kRecording, kAfterStop, kAfterMemo };

class Soak {
 public:
  Soak(const XServer& x, const QString& folder, unsigned seed)
      : user_(x, folder), random_(seed), seed_(seed) {
    // The sanitizer holds freed memory back in a quarantine of 256 MB by default, which
    // would read as growth; a small one keeps the figures meaningful.
    QString asan = qEnvironmentVariable("ASAN_OPTIONS");
    user_.options.Environment("ASAN_OPTIONS",
                              asan + (asan.isEmpty() ? "" : ":") + "quarantine_size_mb=16");
  }

  // The whole day; false when a step could not be done (the program went astray).
  bool Day(int calls) {
    Plan(calls);
    if (!Step("start", user_.Start())) return false;
    for (int call = 0; call < calls; ++call) {
      if (!Call(call)) return false;
    }
    if (!Step("shutdown", user_.Shutdown())) return false;
    Check("after the shutdown", MonotonicNs());
    return true;
  }

  void Print() const {
    std::printf("soak seed %u: calls %d, kills %d, deletes %d, steps %d, violations %d\n", seed_,
                callsDone_, killsDone_, deletes_, steps_, int(violations_.size()));
    if (first_ && last_) {
      std::printf(
          "soak figures (idle, after call %d and after call %d of one run): fds %d -> %d, "
          "threads %d -> %d, rss %lld -> %lld kB\n",
          firstCall_ + 1, lastCall_ + 1, first_->fds, last_->fds, first_->threads, last_->threads,
          (long long)first_->rssKb, (long long)last_->rssKb);
      std::printf("soak_fds_growth: %d\nsoak_threads_growth: %d\nsoak_rss_growth_kb: %lld\n",
                  last_->fds - first_->fds, last_->threads - first_->threads,
                  (long long)(last_->rssKb - first_->rssKb));
    }
    for (const QString& m : user_.Messages()) std::printf("  message: %s\n", qPrintable(m));
    for (int i = 0; i < std::min<int>(20, int(violations_.size())); ++i) {
      std::printf("  %s\n", qPrintable(violations_[size_t(i)]));
    }
  }

  const std::vector<QString>& Violations() const { return violations_; }
  QStringList Flatness() const { return flatness_; }
  QString Failure() const { return user_.Failure(); }

 private:
  void Plan(int calls) {
    // The kills fall in the first two thirds, so that the last run is long enough to
    // see whether its figures stay flat.
    const int killable = std::max(kKills, calls * 2 / 3);
    std::vector<int> order(static_cast<size_t>(killable));
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), random_);
    for (int i = 0; i < kKills; ++i) {
      kills_[order[size_t(i)]] = TKillAt(std::uniform_int_distribution<int>(0, 3)(random_));
    }
    settingsAt_ = calls / 3;
    unplugAt_ = calls / 2;
    while (kills_.count(unplugAt_)) ++unplugAt_;
  }

  bool Step(const char* what, bool done) {
    ++steps_;
    if (!done) {
      std::printf("soak seed %u: step %s of call %d failed: %s\n", seed_, what, callsDone_ + 1,
                  qPrintable(user_.Failure()));
    }
    return done;
  }

  // The rules, after a step (cutNs: now) or a kill (cutNs: the kill).
  void Check(const QString& after, int64_t cutNs) {
    const int settle = violations_.empty() ? kSettleMs : kSettleAfterViolationMs;
    for (const QString& v : user_.CheckFiles(cutNs, settle)) {
      violations_.push_back(QStringLiteral("call %1, %2: %3").arg(callsDone_ + 1).arg(after, v));
    }
    CheckMemos(after);
  }

  // The memo typed last for a call is in its row; before one is typed the row holds the
  // memo of its own caller (or, killed in the middle of it, the recovered recording's).
  void CheckMemos(const QString& after) {
    QString error;
    const auto rows = RowsOnDisk(user_.Folder(), &error);
    if (!rows) return;  // CheckFiles has said so
    for (const TCallRecord& row : *rows) {
      const std::optional<QString> path = WavFilePath(row.FileName);
      const auto samples = path ? SamplesOfWav(user_.Folder() + "/" + *path) : std::nullopt;
      const std::vector<size_t> calls =
          samples ? CallsOfSamples(*samples, user_.Calls()) : std::vector<size_t>();
      if (calls.size() != 1) continue;
      const size_t call = calls.front();
      const auto typed = memos_.find(call);
      QString expected = user_.CallerMemo(call), whose = QStringLiteral("its caller's");
      if (typed != memos_.end()) {
        expected = typed->second;
        whose = QStringLiteral("as typed");
      } else if (user_.Calls()[call].killedNs) {
        expected = kRecoveredMemo;
        whose = QStringLiteral("as recovered");
      }
      if (row.Memo != expected) {
        violations_.push_back(QStringLiteral("call %1, %2: the memo of recording %3 is \"%4\", "
                                             "not \"%5\" %6")
                                  .arg(callsDone_ + 1)
                                  .arg(after)
                                  .arg(call + 1)
                                  .arg(row.Memo, expected, whose));
      }
    }
  }

  bool KillAndStart(const QString& where) {
    const int64_t cut = MonotonicNs();
    if (!Step("kill", user_.Kill()) || !Step("start", user_.Start())) return false;
    ++killsDone_;
    // A new run: its figures begin anew.
    first_.reset();
    last_.reset();
    callsInRun_ = 0;
    Check("after a kill " + where, cut);
    return true;
  }

  bool Call(int call) {
    const auto kill = kills_.find(call);
    const auto killAt = [&](TKillAt at) { return kill != kills_.end() && kill->second == at; };
    const auto done = [&] {
      ++callsDone_;
      return true;
    };
    if (!Step("ring", user_.Ring())) return false;
    if (killAt(TKillAt::kRinging)) return KillAndStart("while ringing") && done();
    if (!Step("record", user_.Record())) return false;
    QTest::qWait(std::uniform_int_distribution<int>(800, 1800)(random_));
    if (killAt(TKillAt::kRecording)) return KillAndStart("in a recording") && done();
    if (call == unplugAt_) {
      if (!Step("unplug", user_.Unplug())) return false;
    } else if (random_() % 2) {
      if (!Step("hang-up", user_.HangUp())) return false;
    } else if (!Step("stop", user_.Stop())) {
      return false;
    }
    if (!user_.NoteSavedRecording(kSettleMs)) {
      violations_.push_back(QStringLiteral("call %1: no WAV file holds recording %2 after its stop")
                                .arg(callsDone_ + 1)
                                .arg(user_.Calls().size()));
    }
    Check("after the stop", MonotonicNs());
    if (killAt(TKillAt::kAfterStop)) {
      QTest::qWait(std::uniform_int_distribution<int>(0, 300)(random_));
      return KillAndStart("after a stop") && done();
    }
    const QString memo = QStringLiteral("call %1 of the day").arg(call + 1);
    if (!Step("memo", user_.EditMemo(memo))) return false;
    memos_[user_.Calls().size() - 1] = memo;
    Check("after the memo", MonotonicNs());
    if (killAt(TKillAt::kAfterMemo)) return KillAndStart("after a memo") && done();
    if (random_() % 4 == 0) {
      if (!Step("delete", user_.Delete())) return false;
      ++deletes_;
      Check("after a delete", MonotonicNs());
    }
    if (!Step("play", user_.Play(400))) return false;
    if (call == settingsAt_) {
      if (!Step("settings", user_.Settings())) return false;
      Check("after the settings", MonotonicNs());
    }
    Figures(call);
    return done();
  }

  // The figures of the idle program after a call; the first of a run is taken after its
  // second call, once everything a call uses has been made once.
  void Figures(int call) {
    const std::optional<TProcessFigures> f = user_.Figures();
    if (!f) return;
    if (!first_ && ++callsInRun_ >= 2) {
      first_ = f;
      firstCall_ = call;
    } else if (first_) {
      last_ = f;
      lastCall_ = call;
      flatness_.clear();
      if (last_->fds != first_->fds) {
        flatness_ << QStringLiteral("descriptors %1 -> %2").arg(first_->fds).arg(last_->fds);
      }
      if (last_->threads != first_->threads) {
        flatness_ << QStringLiteral("threads %1 -> %2").arg(first_->threads).arg(last_->threads);
      }
      if (last_->rssKb - first_->rssKb > kRssGrowthKbMax) {
        flatness_ << QStringLiteral("rss %1 -> %2 kB").arg(first_->rssKb).arg(last_->rssKb);
      }
    }
  }

  TRecorderUser user_;
  std::mt19937 random_;
  unsigned seed_;
  std::map<int, TKillAt> kills_;
  int settingsAt_ = -1;
  int unplugAt_ = -1;
  std::map<size_t, QString> memos_;  // by call: the memo typed last
  std::vector<QString> violations_;
  QStringList flatness_;
  std::optional<TProcessFigures> first_, last_;
  int firstCall_ = 0, lastCall_ = 0, callsInRun_ = 0;
  int callsDone_ = 0, killsDone_ = 0, deletes_ = 0, steps_ = 0;
};

TEST(SoakTest, ADayOfCallsWithKillsAnUnplugAndTheSettingsLosesNothing) {
  const int calls = EnvInt("TAVRIN_SOAK_CALLS", kDefaultCalls);
  const unsigned seed = unsigned(EnvInt("TAVRIN_SOAK_SEED", int(kDefaultSeed)));
  SCOPED_TRACE(testing::Message() << "soak seed " << seed << ", " << calls << " calls");
  if (const QString why = WhyNoRestartAfterAKill(); !why.isEmpty()) GTEST_SKIP() << qPrintable(why);
  XServer x;
  ASSERT_FALSE(x.display.isEmpty()) << "no X server (Xvfb) could be started";
  QTemporaryDir folder;
  Soak soak(x, folder.path(), seed);
  const auto began = std::chrono::steady_clock::now();
  const bool whole = soak.Day(calls);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  soak.Print();
  std::printf("soak_seconds: %.0f\n", seconds);
  ASSERT_TRUE(whole) << "the day stopped: " << qPrintable(soak.Failure());
  // The program's own resources hold now already.
  EXPECT_TRUE(soak.Flatness().isEmpty()) << qPrintable(soak.Flatness().join(", "));
  const auto& v = soak.Violations();
  EXPECT_TRUE(v.empty()) << v.size()
                         << " violations, first: " << qPrintable(v.empty() ? QString() : v.front());
}

}  // namespace
