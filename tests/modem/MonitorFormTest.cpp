// The monitor window: its lines are what Events.log and Diagnostics.log hold.
#include <gtest/gtest.h>

#include <QFile>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>

#include "modem/MonitorForm.h"

namespace {
QByteArray ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return "<unreadable>";
  return f.readAll();
}
}  // namespace

TEST(MonitorForm, Window) {
  TMonitorForm form;
  EXPECT_EQ(form.windowTitle(), "Monitor");
  EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(form.geometry(), QRect(42, 379, 195, 279));
  EXPECT_TRUE(form.Memo1->isReadOnly());
  EXPECT_EQ(form.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(form.Memo1->objectName(), "Memo1");
  EXPECT_TRUE(form.Lines().isEmpty());
}

TEST(MonitorForm, LinesAndFileBytes) {
  QTemporaryDir dir;
  TMonitorForm form;
  form.Add(QStringLiteral("Com port opened..."));
  form.Add(QString());                           // an empty monitor text is an empty line
  form.AddReceived(QByteArray("\r\nOK\r\n"));      // a received chunk keeps its line breaks
  form.Add(QStringLiteral("a\rb\nc"));
  EXPECT_EQ(form.Lines(), QStringList({"Com port opened...", "", "", "OK", "", "a", "b", "c"}));
  EXPECT_EQ(form.Memo1->toPlainText(), form.Lines().join('\n'));
  const QString path = dir.filePath("Diagnostics.log");
  ASSERT_TRUE(form.SaveToFile(path));
  EXPECT_EQ(ReadAll(path), QByteArray("Com port opened...\r\n\r\n\r\nOK\r\n\r\na\r\nb\r\nc\r\n"));

  // Saving again replaces the file with the current lines only.
  form.Clear();
  EXPECT_TRUE(form.Memo1->toPlainText().isEmpty());
  EXPECT_TRUE(form.EventLogBytes().isEmpty());
  form.Add(QString::fromLatin1("\xe9t\xe9"));  // 8-bit text stays 8-bit
  ASSERT_TRUE(form.SaveToFile(path));
  EXPECT_EQ(ReadAll(path), QByteArray("\xe9t\xe9\r\n"));

  EXPECT_FALSE(form.SaveToFile(dir.filePath("no/such/folder/Events.log")));
}

// The event log holds what the modem sent as it came, whatever its line ends; the
// program's own lines end in CR LF.
TEST(MonitorForm, EventLogWritesReceivedTextAsReceived) {
  QTemporaryDir dir;
  TMonitorForm form;
  form.Add(QStringLiteral("initialization string.."));
  form.AddReceived(QByteArray("\n\r\nOK\r"));  // LF CR framing
  form.Add(QStringLiteral("Setting no autoanswer.."));
  form.AddReceived(QByteArray("\rOK\r"));  // bare CR
  form.AddReceived(QByteArray("\r\nOK\r\n"));
  form.AddReceived(QByteArray("\xff\x10\x03", 3));  // any byte
  form.Add(QStringLiteral("one\ntwo"));
  EXPECT_EQ(form.Lines(), QStringList({"initialization string..", "", "", "OK", "",
                                       "Setting no autoanswer..", "", "OK", "", "", "OK", "",
                                       QString::fromLatin1("\xff\x10\x03"), "one", "two"}));
  const QByteArray expected =
      "initialization string..\r\n\n\r\nOK\r\r\nSetting no autoanswer..\r\n\rOK\r\r\n"
      "\r\nOK\r\n\r\n\xff\x10\x03\r\none\r\ntwo\r\n";
  EXPECT_EQ(form.EventLogBytes(), expected);
  const QString path = dir.filePath("Events.log");
  ASSERT_TRUE(form.SaveEventLog(path));
  EXPECT_EQ(ReadAll(path), expected);
  // The diagnostics transcript stays one memo line per line.
  EXPECT_EQ(form.Text(), form.Lines().join("\r\n") + "\r\n");
  EXPECT_FALSE(form.SaveEventLog(dir.filePath("no/such/folder/Events.log")));
}
