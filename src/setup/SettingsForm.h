#pragma once
// "Settings": the configured modem and port, "Find modems", the speaker volume and
// receive gain sliders stored in the profile, and on a page of their own what the
// program does about calls (caller ID, stop when the call ends, tell the desktop).
#include <QDialog>
#include <QString>

class IModemLink;
class TSpecModemForm;
class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;
class QTabWidget;
class QWidget;

class TSettingsForm : public QDialog {
 public:
  TSettingsForm(IModemLink& link, TSpecModemForm& specForm, QWidget* parent = nullptr);

  void FormShow();
  void OkBtnClick();
  void CancelBtnClick();
  void Button1Click();
  void SpkVolTrChange();
  void RecGainTrChange();

  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;
  QWidget* TabSheet2 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QPushButton* Button1 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QSlider* SpkVolTr = nullptr;
  QSlider* RecGainTr = nullptr;
  QWidget* TabSheet3 = nullptr;
  QCheckBox* CallerIdCb = nullptr;
  QCheckBox* StopOnHangUpCb = nullptr;
  QLabel* Label5 = nullptr;  // what ends a call
  QCheckBox* NotifyCallsCb = nullptr;
  QPushButton* OkBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

  IModemLink& link_;
  TSpecModemForm& specForm_;

 private:
  void ShowModem();
  void LoadSlider(const QString& key, QSlider* slider);
  void StoreSlider(const QString& key, const QString& prefix, const QSlider* slider);
  void LoadCallPage();
  void StoreCheckBox(const QString& key, const QCheckBox* box);
};
