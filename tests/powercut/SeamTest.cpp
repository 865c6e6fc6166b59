// The power-cut seam itself, on shell commands run with it preloaded (the coreutils sync
// command fsyncs, fdatasyncs or syncfs's the files it is given): what it records as
// durable, and the folder it rebuilds for a cut.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "PowerCutLog.h"

namespace {
constexpr int64_t kEnd = INT64_MAX;  // a cut after everything

class SeamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(QDir(base.path()).mkdir("run"));
    run = base.filePath("run");
  }
  // Runs the commands in the folder with the seam.
  void Sh(const QString& commands) {
    QProcess sh;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LD_PRELOAD", TAVRIN_POWER_CUT_LIBRARY);
    env.insert("TAVRIN_POWER_CUT_LOG", base.filePath("log"));
    env.remove("TAVRIN_POWER_CUT_ROOT");  // the current folder
    sh.setProcessEnvironment(env);
    sh.setWorkingDirectory(run);
    sh.start("sh", {"-ec", commands});
    ASSERT_TRUE(sh.waitForFinished(10000));
    ASSERT_EQ(sh.exitCode(), 0) << sh.readAllStandardError().constData();
  }
  // The folder after a cut at `ns`: "path=content" for each file, "path/" for each
  // folder, in order, one blank between.
  std::string After(int64_t ns) {
    TPowerCutLog log;
    QString error;
    EXPECT_TRUE(log.Load(base.filePath("log"), &error)) << qPrintable(error);
    QTemporaryDir cut;
    EXPECT_TRUE(log.Rebuild(ns, cut.path(), &error)) << qPrintable(error);
    QStringList files;
    List(QDir(cut.path()), QString(), &files);
    return files.join(' ').toStdString();
  }
  std::vector<int64_t> Syncs() {
    TPowerCutLog log;
    QString error;
    EXPECT_TRUE(log.Load(base.filePath("log"), &error)) << qPrintable(error);
    return log.SyncTimes();
  }
  static void List(const QDir& dir, const QString& prefix, QStringList* out) {
    for (const QFileInfo& e :
         dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name)) {
      if (e.isDir()) {
        *out << prefix + e.fileName() + "/";
        List(QDir(e.filePath()), prefix + e.fileName() + "/", out);
      } else {
        QFile f(e.filePath());
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        *out << prefix + e.fileName() + "=" + QString::fromLatin1(f.readAll());
      }
    }
  }
  void Write(const QString& name, const QByteArray& bytes) {
    QFile f(QDir(run).filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }

  QTemporaryDir base;
  QString run;
};

TEST_F(SeamTest, TheFolderFoundAtTheStartIsDurableAndAFileWrittenButNotSyncedIsOldOrAbsent) {
  Write("calls", "old");
  ASSERT_TRUE(QDir(run).mkdir("wav"));
  Write("wav/a.wav", "A");
  Sh("printf new > calls; printf x > fresh; printf more >> wav/a.wav");
  EXPECT_EQ(After(kEnd), "calls=old wav/ wav/a.wav=A");
  // Its name made durable, its content not: there, and empty.
  Sh("sync .");
  EXPECT_EQ(After(kEnd), "calls=old fresh= wav/ wav/a.wav=A");
}

TEST_F(SeamTest, ARenameIsUndoneUntilItsFolderIsSynced) {
  Sh("printf v > tmp; sync tmp; sync .; mv tmp calls");
  EXPECT_EQ(After(kEnd), "tmp=v");
  Sh("sync .");
  EXPECT_EQ(After(kEnd), "calls=v");
  // An unlink likewise; and a cut between two syncs sees the first alone.
  Sh("rm calls");
  EXPECT_EQ(After(kEnd), "calls=v");
  Sh("sync .");
  const std::vector<int64_t> syncs = Syncs();
  ASSERT_GE(syncs.size(), 4u);
  EXPECT_EQ(After(kEnd), "");
  EXPECT_EQ(After(syncs.back() - 1), "calls=v");
  EXPECT_EQ(After(syncs[1]), "tmp=v");
  EXPECT_EQ(After(syncs[1] - 1), "");  // its content synced, its name not yet
  EXPECT_EQ(After(syncs[0] - 1), "");
}

TEST_F(SeamTest, FsyncAndFdatasyncBothMakeTheContentDurable) {
  Sh("printf one > f; sync f; printf two > d; sync -d d; sync .; printf three > f; printf 4 > d");
  EXPECT_EQ(After(kEnd), "d=two f=one");
  Sh("sync -d f");
  EXPECT_EQ(After(kEnd), "d=two f=three");
}

TEST_F(SeamTest, ANewFolderNeedsItsOwnSyncAndItsParentsAndSyncfsMakesEverythingDurable) {
  Sh("mkdir wav; printf q > wav/x; sync wav/x; sync wav");
  EXPECT_EQ(After(kEnd), "");  // the parent does not name it yet
  Sh("sync .");
  EXPECT_EQ(After(kEnd), "wav/ wav/x=q");
  Sh("mkdir more; printf y > more/y; printf z > z; sync -f .");
  EXPECT_EQ(After(kEnd), "more/ more/y=y wav/ wav/x=q z=z");
}

}  // namespace
