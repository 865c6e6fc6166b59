// tavrin-export run as a script runs it: its exit codes, what it names on standard error,
// the files it writes and the ones it must leave alone.
#include <signal.h>

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include "ExportTestSupport.h"
#include "export/ExportCommand.h"

namespace {
const QByteArray kShortTone = WavImage8(Tone8(440, 8000, 0.25), 8000);

struct TRun {
  int code = -1;
  QString out, err;
};

QProcessEnvironment Environment(const QString& lang) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("LC_ALL");
  env.remove("LC_TIME");
  if (!lang.isEmpty()) env.insert("LANG", lang);
  return env;
}

void Start(QProcess& p, const QString& dir, const QStringList& args, const QString& lang = {}) {
  p.setProcessEnvironment(Environment(lang));
  p.setWorkingDirectory(dir);
  p.start(QStringLiteral(TAVRIN_EXPORT_EXE), args);
}

TRun Export(const QString& dir, const QStringList& args, const QString& lang = {}) {
  QProcess p;
  Start(p, dir, args, lang);
  EXPECT_TRUE(p.waitForFinished(60000));
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
          QString::fromUtf8(p.readAllStandardOutput()),
          QString::fromUtf8(p.readAllStandardError())};
}

// The snapshot less what the run was asked to write.
std::map<QString, QByteArray> Without(std::map<QString, QByteArray> files, const QString& folder,
                                      const QString& file = {}) {
  std::erase_if(files, [&](const auto& f) {
    return f.first.startsWith(folder + "/") || (!file.isEmpty() && f.first == file);
  });
  return files;
}
}  // namespace

TEST(ExportCommandTest, SkippedCallsAreNamedWithTheirReasonTheExitIsOneAndTheFolderStaysAsItWas) {
  TavrinFolderFixture fx;
  WriteRaw(fx.Path("Tavrin.ini"), "[Modem]\nport=1\n");
  fx.Add(Call("GOODAB", kMay1, QStringLiteral("Anna, \"A\"")), kShortTone);
  fx.Add(Call("GOODCD", kMay1.addSecs(1)), kShortTone);
  fx.Add(Call("../x", kMay1.addSecs(2)));
  fx.Add(Call("MISSIN", kMay1.addSecs(3)));
  fx.Add(Call("DAMAGE", kMay1.addSecs(4)), "RIFF");
  const auto before = fx.Snapshot();

  const TRun run = Export(
      fx.folder, {"--format", "opus", "--to", fx.target, "--list", fx.root.filePath("calls.csv")});
  EXPECT_EQ(run.code, kExitSomeSkipped) << run.err.toStdString();
  EXPECT_TRUE(run.err.contains("skipped ../x (") && run.err.contains("not a plain name"))
      << run.err.toStdString();
  EXPECT_TRUE(run.err.contains(QRegularExpression("skipped MISSIN .*: the WAV file is missing")));
  EXPECT_TRUE(run.err.contains(QRegularExpression("skipped DAMAGE .*: the WAV file is damaged")));
  EXPECT_EQ(run.out.split('\n', Qt::SkipEmptyParts),
            (QStringList{fx.target + "/2024-05-01_22-03-04.opus",
                         fx.target + "/2024-05-01_22-03-05.opus"}));
  EXPECT_EQ(fx.TargetFiles(),
            (QStringList{"2024-05-01_22-03-04.opus", "2024-05-01_22-03-05.opus"}));
  EXPECT_EQ(Decode(fx.target + "/2024-05-01_22-03-04.opus").tags.at(SF_STR_COMMENT), "Anna, \"A\"");
  // The list holds the calls that can be listed: the missing and damaged WAVs too.
  const QString csv = QString::fromUtf8(ReadAll(fx.root.filePath("calls.csv")));
  EXPECT_EQ(csv.count("\r\n"), 5);
  EXPECT_TRUE(csv.contains("\"Anna, \"\"A\"\"\",GOODAB.wav\r\n"));
  EXPECT_EQ(Without(fx.Snapshot(), fx.target, fx.root.filePath("calls.csv")), before);

  // With only good calls, and nothing to do but the list, the exit is 0.
  TavrinFolderFixture good;
  good.Add(Call("GOODAB", kMay1), kShortTone);
  EXPECT_EQ(Export(good.root.path(), {"--folder", good.folder, "--to", "out"}).code,
            kExitAllExported);
  EXPECT_EQ(QDir(good.root.filePath("out")).entryList(QDir::Files),
            QStringList{"2024-05-01_22-03-04.flac"});
  EXPECT_EQ(Export(good.folder, {"--list", "../list.csv"}).code, kExitAllExported);
  EXPECT_TRUE(QFile::exists(good.root.filePath("list.csv")));
}

TEST(ExportCommandTest, SinceAndUntilTakeInWholeDaysOrMoments) {
  TavrinFolderFixture fx;
  const QDate day(2024, 5, 1);
  fx.Add(Call("APRILA", QDateTime(day.addDays(-1), QTime(23, 59, 59))), kShortTone);
  fx.Add(Call("MAYONE", QDateTime(day, QTime(0, 0, 0))), kShortTone);
  fx.Add(Call("MAYTWO", QDateTime(day, QTime(23, 59, 59))), kShortTone);
  fx.Add(Call("JUNEAB", QDateTime(day.addDays(1), QTime(0, 0, 0))), kShortTone);
  const TRun run = Export(fx.folder, {"--since", "2024-05-01", "--until=2024-05-01", "--to",
                                      fx.target, "--format", "wav", "--list", "../l.csv"});
  EXPECT_EQ(run.code, kExitAllExported) << run.err.toStdString();
  EXPECT_EQ(fx.TargetFiles(), (QStringList{"2024-05-01_00-00-00.wav", "2024-05-01_23-59-59.wav"}));
  const QString csv = QString::fromUtf8(ReadAll(fx.root.filePath("l.csv")));
  EXPECT_TRUE(csv.contains("MAYONE.wav") && csv.contains("MAYTWO.wav"));
  EXPECT_FALSE(csv.contains("APRILA") || csv.contains("JUNEAB"));

  const TRun moments = Export(fx.folder, {"--since", "2024-04-30T23:59:59", "--until",
                                          "2024-05-01 00:00", "--list", "../m.csv"});
  EXPECT_EQ(moments.code, kExitAllExported);
  const QString m = QString::fromUtf8(ReadAll(fx.root.filePath("m.csv")));
  EXPECT_TRUE(m.contains("APRILA") && m.contains("MAYONE"));
  EXPECT_FALSE(m.contains("MAYTWO"));
}

TEST(ExportCommandTest, WrongCommandLinesAndTargetsInTheTavrinFolderAreRefused) {
  TavrinFolderFixture fx;
  fx.Add(Call("GOODAB", kMay1), kShortTone);
  WriteRaw(fx.Path("Tavrin.ini"), "[Modem]\nport=1\n");
  ASSERT_TRUE(QFile::link(fx.Path("Calls.dbt"), fx.root.filePath("link.csv")));
  const auto before = fx.Snapshot();
  const std::vector<QStringList> refused = {
      {},
      {"--format", "mp3", "--to", "x"},
      {"--to"},
      {"--to", "x", "--since", "yesterday"},
      {"--to", "x", "--until", "2024-02-30"},
      {"--bogus"},
      {"--to", "."},
      {"--to", "wav"},
      {"--to", "wav/sub"},
      {"--to", fx.folder + "/../tavrin"},
      {"--list", "Calls.dbt"},
      {"--list", "Tavrin.ini"},
      {"--list", "wav/GOODAB.wav"},
      {"--list", fx.root.filePath("link.csv")},
      {"--folder", fx.root.path(), "--to", "out"},  // no Calls.dbt there
  };
  for (const QStringList& args : refused) {
    const TRun run = Export(fx.folder, args);
    EXPECT_EQ(run.code, kExitFailed) << args.join(' ').toStdString();
    EXPECT_TRUE(run.err.startsWith("tavrin-export: ")) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
  }
  EXPECT_EQ(fx.Snapshot(), before);
  EXPECT_EQ(Export(fx.folder, {"--help"}).code, 0);
}

TEST(ExportCommandTest, DatesAreReadInTheUsersOwnFormats) {
  struct Case {
    const char* lang;
    const char* date;
    const char* time;
  };
  for (const Case c :
       {Case{"en_US.UTF-8", "5/1/24", "10:03:04 PM"}, Case{"de_DE.UTF-8", "01.05.24", "22:03:04"},
        Case{"en_GB.UTF-8", "01/05/2024", "22:03:04"}}) {
    SCOPED_TRACE(c.lang);
    TavrinFolderFixture fx;
    TCallRecord call = Call("GOODAB", kMay1);
    call.Date = QString::fromLatin1(c.date);
    call.Time = QString::fromLatin1(c.time);
    fx.Add(call, kShortTone);
    const TRun run = Export(fx.folder, {"--to", fx.target}, QString::fromLatin1(c.lang));
    EXPECT_EQ(run.code, kExitAllExported) << run.err.toStdString();
    EXPECT_EQ(fx.TargetFiles(), QStringList{"2024-05-01_22-03-04.flac"});
  }
}

TEST(ExportCommandTest, AnInterruptRemovesTheFileInProgressAndKeepsTheFinishedOnes) {
  TavrinFolderFixture fx;
  fx.Add(Call("SHORTA", kMay1), kShortTone);
  // Long enough that the signal comes while it is being encoded.
  fx.Add(Call("LONGAB", kMay1.addSecs(60)), WavImage8(Tone8(300, 8000, 20 * 60), 8000));
  QProcess p;
  Start(p, fx.folder, {"--format", "opus", "--to", fx.target});
  ASSERT_TRUE(p.waitForStarted());
  QElapsedTimer t;
  t.start();
  auto inProgress = [&] {
    return fx.TargetFiles().filter(QStringLiteral(".tavrin-export-")).size() == 1 &&
           fx.TargetFiles().contains("2024-05-01_22-03-04.opus");
  };
  while (!inProgress() && t.elapsed() < 30000 && p.state() == QProcess::Running) {
    QThread::msleep(5);
  }
  ASSERT_TRUE(inProgress());
  ::kill(static_cast<pid_t>(p.processId()), SIGINT);
  ASSERT_TRUE(p.waitForFinished(30000));
  EXPECT_EQ(p.exitCode(), kExitInterrupted);
  EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains("interrupted"));
  EXPECT_EQ(fx.TargetFiles(), QStringList{"2024-05-01_22-03-04.opus"});
  EXPECT_TRUE(Decode(fx.target + "/2024-05-01_22-03-04.opus").ok);
}
