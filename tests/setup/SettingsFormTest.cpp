// The settings window: what it shows from the settings file and what "Ok" stores.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "common/FileBytes.h"
#include "setup/CallOptions.h"
#include "setup/DiscoveryFixture.h"
#include "setup/ModemParams.h"
#include "setup/SettingsForm.h"

namespace {
class Settings : public Discovery {
 protected:
  void Store(const QString& key, const QString& value) {
    SettingsFile->WriteString(QStringLiteral("Modem"), key, value);
  }
  TSettingsForm form{link, modemList};
};
}  // namespace

TEST_F(Settings, ShowsModemPortAndStoredSliderValues) {
  Store("Model", "CX93001");
  SettingsFile->WriteInteger("Modem", "port", 3);
  Store("SpeakerVol", "at+vgt=128");
  Store("RecGain", "at+vgr=90");
  form.show();
  EXPECT_EQ(form.windowTitle(), "Settings");
  EXPECT_EQ(form.PageControl1->currentWidget(), form.TabSheet1);
  EXPECT_EQ(form.Label1->text(), "CX93001");
  EXPECT_EQ(form.Label2->text(), "Com 3");
  EXPECT_EQ(form.SpkVolTr->value(), 128);
  EXPECT_EQ(form.Label3->text(), "Speaker volume");  // same position: caption unchanged
  EXPECT_EQ(form.RecGainTr->value(), 90);
  EXPECT_EQ(form.Label4->text(), "Receive gain 90");
  EXPECT_TRUE(form.CancelBtn->isEnabled());
  EXPECT_TRUE(form.SpkVolTr->isEnabled());
  form.SpkVolTr->setValue(200);
  EXPECT_EQ(form.Label3->text(), "Speaker volume 200");
  QTest::mouseClick(form.OkBtn, Qt::LeftButton);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(Ini("Modem", "SpeakerVol"), "at+vgs=200");
  EXPECT_EQ(Ini("Modem", "RecGain"), "at+vgr=90");  // unmoved: the same text again
}

TEST_F(Settings, CancelWritesNothing) {
  Store("SpeakerVol", "at+vgt=128");
  Store("RecGain", "at+vgr=128");
  form.show();
  form.SpkVolTr->setValue(10);
  form.RecGainTr->setValue(20);
  QTest::mouseClick(form.CancelBtn, Qt::LeftButton);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(Ini("Modem", "SpeakerVol"), "at+vgt=128");
  EXPECT_EQ(Ini("Modem", "RecGain"), "at+vgr=128");
}

TEST_F(Settings, NoneDisablesTheSliderAndOkLeavesTheKey) {
  Store("SpeakerVol", "none");
  Store("RecGain", "none");
  form.show();
  EXPECT_FALSE(form.SpkVolTr->isEnabled());
  EXPECT_FALSE(form.RecGainTr->isEnabled());
  form.OkBtnClick();
  EXPECT_EQ(Ini("Modem", "SpeakerVol"), "none");
  EXPECT_EQ(Ini("Modem", "RecGain"), "none");
  // A later probe stored commands again: the sliders come back.
  Store("SpeakerVol", "at+vgt=128");
  Store("RecGain", "at+vgr=60");
  form.show();
  EXPECT_TRUE(form.SpkVolTr->isEnabled());
  EXPECT_TRUE(form.RecGainTr->isEnabled());
  EXPECT_EQ(form.RecGainTr->value(), 60);
  form.hide();
}

TEST_F(Settings, UpperCaseNoneIsNotNoneAndKeepsTheSliderUsable) {
  Store("SpeakerVol", "NONE");
  form.show();
  EXPECT_TRUE(form.SpkVolTr->isEnabled());
  EXPECT_EQ(form.SpkVolTr->value(), 128);
  form.OkBtnClick();
  EXPECT_EQ(Ini("Modem", "SpeakerVol"), "at+vgs=128");
}

TEST_F(Settings, FindModemsWithNoneFoundClosesTheWindow) {
  Store("Model", "Old");
  form.show();
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  EXPECT_EQ(messages, QStringList({"No modems found on your system"}));
  EXPECT_FALSE(form.isVisible());
  EXPECT_FALSE(form.CancelBtn->isEnabled());
  EXPECT_EQ(Ini("Modem", "Model"), "Old");
}

TEST_F(Settings, FindModemsProbesTheChosenModemAndShowsIt) {
  AddModem(2, "signedpcm");
  form.show();
  ClickOnShow confirm(modemList, modemList.OkBtn);  // confirms the modem found
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  EXPECT_TRUE(form.isVisible());
  EXPECT_FALSE(form.CancelBtn->isEnabled());
  EXPECT_EQ(form.Label1->text(), "SL-56 Voice");
  EXPECT_EQ(form.Label2->text(), "Com 2");
  EXPECT_EQ(Ini("Modem", "VoiceCompression"), "at+vsm=1,8000,0,0");
  form.hide();
  // Every showing enables Cancel again.
  form.show();
  EXPECT_TRUE(form.CancelBtn->isEnabled());
  form.hide();
}

TEST_F(Settings, TheCallsPageShowsAndStoresCallerIdStopOnHangUpAndTheNotice) {
  Store("SpeakerVol", "none");  // so that the sliders write nothing either
  Store("RecGain", "none");
  const QRect ok = form.OkBtn->geometry();
  const QRect pages = form.PageControl1->geometry();
  form.show();
  ASSERT_EQ(form.PageControl1->count(), 3);
  EXPECT_EQ(form.PageControl1->tabText(2), "Calls");
  EXPECT_EQ(form.CallerIdCb->parentWidget(), form.TabSheet3);
  EXPECT_EQ(form.StopOnHangUpCb->parentWidget(), form.TabSheet3);
  EXPECT_FALSE(form.CallerIdCb->isChecked());
  EXPECT_FALSE(form.StopOnHangUpCb->isChecked());
  EXPECT_EQ(form.NotifyCallsCb->parentWidget(), form.TabSheet3);
  EXPECT_EQ(form.NotifyCallsCb->text(), "Notify me of incoming calls");
  EXPECT_FALSE(form.NotifyCallsCb->isChecked());
  EXPECT_FALSE(form.NotifyCallsCb->geometry().intersects(form.Label5->geometry()));
  EXPECT_TRUE(form.Label5->text().contains("5 s of silence"));
  EXPECT_EQ(form.OkBtn->geometry(), ok);  // the window's own controls stay where they were
  EXPECT_EQ(form.PageControl1->geometry(), pages);

  // Ok with both left off writes neither key: the file stays byte for byte as it was.
  const QByteArray before = ReadAll(SettingsFile->FileName());
  form.OkBtnClick();
  EXPECT_EQ(ReadAll(SettingsFile->FileName()), before);

  SettingsFile->WriteInteger("Params", "SilenceSeconds", 9);
  form.show();
  EXPECT_TRUE(form.Label5->text().contains("9 s of silence"));
  form.CallerIdCb->setChecked(true);
  form.StopOnHangUpCb->setChecked(true);
  form.CancelBtnClick();
  EXPECT_EQ(Ini("Params", "CallerId"), "<absent>");
  form.show();
  EXPECT_FALSE(form.CallerIdCb->isChecked());
  form.CallerIdCb->setChecked(true);
  form.OkBtnClick();
  EXPECT_EQ(Ini("Params", "CallerId"), "1");
  EXPECT_EQ(Ini("Params", "StopOnHangUp"), "<absent>");
  form.show();
  EXPECT_TRUE(form.CallerIdCb->isChecked());
  form.CallerIdCb->setChecked(false);
  form.StopOnHangUpCb->setChecked(true);
  form.OkBtnClick();
  EXPECT_EQ(Ini("Params", "CallerId"), "0");
  EXPECT_EQ(Ini("Params", "StopOnHangUp"), "1");
  EXPECT_EQ(Ini("Params", "NotifyCalls"), "<absent>");
  form.show();
  form.NotifyCallsCb->setChecked(true);
  form.OkBtnClick();
  EXPECT_EQ(Ini("Params", "NotifyCalls"), "1");
  EXPECT_TRUE(LoadCallOptions(*SettingsFile).NotifyCalls);
  form.show();
  EXPECT_TRUE(form.NotifyCallsCb->isChecked());
}

TEST(CallOptions, ReadFromParamsWithDefaultsAndBounds) {
  QTemporaryDir dir;
  TIniFile ini(dir.filePath("Tavrin.ini"));
  TCallOptions o = LoadCallOptions(ini);
  EXPECT_FALSE(o.CallerId);
  EXPECT_FALSE(o.StopOnHangUp);
  EXPECT_EQ(o.SilenceSeconds, 5);
  ini.WriteString("params", "callerid", "1");  // any case, as every key
  ini.WriteString("Params", "StopOnHangUp", "2");
  ini.WriteString("Params", "SilenceSeconds", "0");
  o = LoadCallOptions(ini);
  EXPECT_TRUE(o.CallerId);
  EXPECT_TRUE(o.StopOnHangUp);
  EXPECT_EQ(o.SilenceSeconds, 1);
  ini.WriteString("Params", "SilenceSeconds", "99999");
  EXPECT_EQ(LoadCallOptions(ini).SilenceSeconds, 3600);
  ini.WriteString("Params", "SilenceSeconds", "ten");
  EXPECT_EQ(LoadCallOptions(ini).SilenceSeconds, 5);

  TModemParams p;
  p.ForCallerId = "at+vcid=1";
  EXPECT_EQ(CallerIdCommand(o, p), "at+vcid=1");
  for (const char* none : {"none", "NONE", "", "  "}) {
    p.ForCallerId = QString::fromLatin1(none);
    EXPECT_EQ(CallerIdCommand(o, p), "") << none;
  }
  p.ForCallerId = "at+vcid=1";
  o.CallerId = false;
  EXPECT_EQ(CallerIdCommand(o, p), "");
}
