// The input box holds no more than the field it fills can store, counted in bytes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>

#include "setup/ByteLimitValidator.h"
#include "setup/Dialogs.h"

namespace {
// Runs `user` on the input box once it is open, then presses OK (or Cancel).
QString AnswerInputBox(const QString& def, qsizetype maxBytes,
                       const std::function<void(QLineEdit&)>& user, bool ok = true) {
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    auto* edit = box->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    user(*edit);
    ok ? box->accept() : box->reject();
  });
  return InputBox(QStringLiteral("Comment"), QString(), def, maxBytes);
}

// A key press that types `text`, as a keyboard of any layout sends it.
void Type(QLineEdit& edit, const QString& text) {
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(&edit, &press);
  }
}

int StoredSize(const QString& text) {
  return static_cast<int>(text.toUtf8().size());
}
}  // namespace

TEST(InputBoxTest, TypingAndPastingStopWhereTheStoredBytesEnd) {
  const QString e = QString::fromUtf8("é");  // two bytes
  // Typed into a box that is one byte short of full: the two-byte letter does not fit.
  QString got = AnswerInputBox(QString(254, 'a'), 255, [&](QLineEdit& edit) {
    edit.end(false);
    Type(edit, e + "b");
  });
  EXPECT_EQ(got, QString(254, 'a') + "b");
  // A paste keeps as much as fits, in whole characters.
  got = AnswerInputBox(QString(), 255, [&](QLineEdit& edit) { edit.insert(e.repeated(200)); });
  EXPECT_EQ(got, e.repeated(127));
  EXPECT_LE(StoredSize(got), 255);
  // Into the middle of a full box nothing goes, and nothing at the end is pushed out.
  got = AnswerInputBox(e.repeated(127), 255, [&](QLineEdit& edit) {
    edit.setCursorPosition(10);
    edit.insert(QStringLiteral("xy"));
    Type(edit, QStringLiteral("z"));
  });
  EXPECT_EQ(got, e.repeated(10) + "x" + e.repeated(117));
  EXPECT_EQ(StoredSize(got), 255);
  // Cancel gives the default back; without a limit the box takes any length.
  EXPECT_EQ(AnswerInputBox("old", 255, [](QLineEdit& edit) { edit.insert("new"); }, false), "old");
  EXPECT_EQ(AnswerInputBox(QString(), 0, [&](QLineEdit& edit) { edit.insert(e.repeated(300)); }),
            e.repeated(300));
}

TEST(InputBoxTest, TheLimitKeepsLettersWithTheirAccentsWhole) {
  TByteLimitValidator limit(10);
  QString text = QStringLiteral("abc");
  int pos = 3;
  ASSERT_EQ(limit.validate(text, pos), QValidator::Acceptable);
  const QString accented = QString::fromUtf8("e\xcc\x81");  // e + combining acute, 3 bytes
  text = "abc" + accented.repeated(3);                      // 12 bytes
  pos = static_cast<int>(text.size());
  ASSERT_EQ(limit.validate(text, pos), QValidator::Acceptable);
  EXPECT_EQ(text, "abc" + accented.repeated(2));
  EXPECT_EQ(pos, text.size());
  text += QStringLiteral("de");  // 11 bytes: one letter fits
  pos = static_cast<int>(text.size());
  ASSERT_EQ(limit.validate(text, pos), QValidator::Acceptable);
  EXPECT_EQ(text, "abc" + accented.repeated(2) + "d");
  text += QStringLiteral("f");  // full
  EXPECT_EQ(limit.validate(text, pos), QValidator::Invalid);
}
