// The settings window: what it shows from the settings file and what "Ok" stores.
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "setup/DiscoveryFixture.h"
#include "setup/SettingsForm.h"

namespace {
class Settings : public Discovery {
 protected:
  void Store(const QString& key, const QString& value) {
    SettingsFile->WriteString(QStringLiteral("Modem"), key, value);
  }
  TSettingsForm form{link, spec};
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
  ClickOnShow confirm(spec, spec.OkBtn);  // confirms the modem found
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
