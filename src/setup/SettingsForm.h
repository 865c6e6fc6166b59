#pragma once
// "Settings": the configured modem and port, "Find modems", and the speaker volume and
// receive gain sliders stored in the profile.
#include <QDialog>

class IModemLink;
class TSpecModemForm;

class TSettingsForm : public QDialog {
 public:
  TSettingsForm(IModemLink& link, TSpecModemForm& specForm, QWidget* parent = nullptr);

 protected:
  IModemLink& link_;
  TSpecModemForm& specForm_;
};
