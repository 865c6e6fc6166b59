// Help > Contents: Help.chm beside the user's files, else the installed manual, else the
// source tree's, else a message that says where the manual is.
#include <gtest/gtest.h>
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include "MainFormTestSupport.h"
#include "app/HelpContents.h"

namespace {

// Answers for the desktop: records every URL and takes those it is told to.
struct OpenerRecorder {
  QStringList opened;
  bool takes = true;
  QStringList refuses;  // file names it cannot open, whatever `takes` says
  TUrlOpener Opener() {
    return [this](const QUrl& url) {
      opened << url.toLocalFile();
      return takes && !refuses.contains(QFileInfo(url.toLocalFile()).fileName());
    };
  }
};

void Touch(const QString& path) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("<html></html>");
}

// A user folder (the current folder) and two manuals, each made to exist on demand.
struct HelpFixture : ::testing::Test {
  QTemporaryDir user, install, source;
  QString oldDir = QDir::currentPath();
  THelpPlaces places;
  OpenerRecorder desktop;

  void SetUp() override {
    QDir::setCurrent(user.path());
    places = {QStringLiteral("Help.chm"), install.filePath("manual/index.html"),
              source.filePath("doc/manual/index.html")};
  }
  void TearDown() override { QDir::setCurrent(oldDir); }
  QString Open() { return OpenHelpContents(places, desktop.Opener()); }
};

TEST_F(HelpFixture, HelpChmOfTheCurrentFolderComesFirst) {
  Touch(user.filePath("Help.chm"));
  Touch(places.InstalledManual);
  Touch(places.SourceManual);
  EXPECT_TRUE(Open().isEmpty());
  EXPECT_EQ(desktop.opened, QStringList{user.filePath("Help.chm")});

  // Relative to the folder current at the command, not at start.
  QTemporaryDir other;
  Touch(other.filePath("Help.chm"));
  QDir::setCurrent(other.path());
  desktop.opened.clear();
  EXPECT_TRUE(Open().isEmpty());
  EXPECT_EQ(desktop.opened, QStringList{other.filePath("Help.chm")});
}

TEST_F(HelpFixture, WithoutHelpChmTheInstalledManualThenTheSourceManual) {
  Touch(places.InstalledManual);
  Touch(places.SourceManual);
  EXPECT_TRUE(Open().isEmpty());
  EXPECT_EQ(desktop.opened, QStringList{places.InstalledManual});

  QFile::remove(places.InstalledManual);
  desktop.opened.clear();
  EXPECT_TRUE(Open().isEmpty());
  EXPECT_EQ(desktop.opened, QStringList{places.SourceManual});

  // A packaged build knows no source tree.
  QFile::remove(places.SourceManual);
  places.SourceManual.clear();
  Touch(places.InstalledManual);
  desktop.opened.clear();
  EXPECT_TRUE(Open().isEmpty());
  EXPECT_EQ(desktop.opened, QStringList{places.InstalledManual});
}

TEST_F(HelpFixture, AFolderOfThatNameIsNoHelpFile) {
  QDir(user.path()).mkdir("Help.chm");
  Touch(places.InstalledManual);
  EXPECT_TRUE(Open().isEmpty());
  EXPECT_EQ(desktop.opened, QStringList{places.InstalledManual});
}

TEST_F(HelpFixture, AHelpChmNoViewerTakesFallsBackToTheManual) {
  Touch(user.filePath("Help.chm"));
  Touch(places.InstalledManual);
  desktop.refuses << "Help.chm";
  EXPECT_TRUE(Open().isEmpty());
  EXPECT_EQ(desktop.opened, (QStringList{user.filePath("Help.chm"), places.InstalledManual}));
}

TEST_F(HelpFixture, NothingToOpenSaysWhereTheManualIsInstalled) {
  const QString message = Open();
  EXPECT_TRUE(desktop.opened.isEmpty());
  EXPECT_TRUE(message.startsWith("The user manual is not installed.")) << message.toStdString();
  EXPECT_TRUE(message.contains(places.InstalledManual)) << message.toStdString();
  EXPECT_TRUE(message.contains("doc/manual/index.html"));
}

TEST_F(HelpFixture, NoProgramTakingTheManualNamesTheFileToOpen) {
  desktop.takes = false;
  Touch(user.filePath("Help.chm"));
  Touch(places.SourceManual);
  const QString message = Open();
  EXPECT_EQ(desktop.opened, (QStringList{user.filePath("Help.chm"), places.SourceManual}));
  EXPECT_TRUE(message.startsWith("No program could open the user manual."))
      << message.toStdString();
  EXPECT_TRUE(message.contains(places.SourceManual)) << message.toStdString();

  // With the help file alone, the message names it.
  QFile::remove(places.SourceManual);
  EXPECT_TRUE(Open().contains(user.filePath("Help.chm")));
}

TEST(HelpPlacesTest, ManualsAreFoundFromTheProgramAndTheSourceTree) {
  const THelpPlaces places = DefaultHelpPlaces();
  EXPECT_EQ(places.HelpFile, "Help.chm");
  const QString installed = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                            "/../share/tavrin/manual/index.html");
  EXPECT_EQ(places.InstalledManual, installed);
  // Test builds are run from the source tree, whose manual exists.
  EXPECT_EQ(places.SourceManual, QStringLiteral(TAVRIN_SOURCE_DIR "/doc/manual/index.html"));
  EXPECT_TRUE(QFileInfo(places.SourceManual).isFile());
}

TEST(HelpTest, ContentsShowsTheMessageWhenNothingOpens) {
  MainFormFixture fx;
  TMainForm& form = fx.Create();
  OpenerRecorder desktop;
  form.OpenUrl = desktop.Opener();
  QTemporaryDir elsewhere;
  form.HelpPlaces = {"Help.chm", elsewhere.filePath("manual/index.html"), {}};
  form.Contents1->trigger();
  EXPECT_TRUE(desktop.opened.isEmpty());
  ASSERT_EQ(fx.messages.size(), 1);
  EXPECT_TRUE(fx.messages[0].contains(elsewhere.filePath("manual/index.html")));

  // The manual appears: the same command opens it, with no message.
  Touch(form.HelpPlaces.InstalledManual);
  fx.messages.clear();
  form.Contents1->trigger();
  EXPECT_EQ(desktop.opened, QStringList{form.HelpPlaces.InstalledManual});
  EXPECT_TRUE(fx.messages.isEmpty());
}

}  // namespace
