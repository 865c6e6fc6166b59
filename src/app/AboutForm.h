#pragma once
// "About": the program's name and version and two links.
#include <QDialog>

class QLabel;
class QPushButton;

class TAboutForm : public QDialog {
 public:
  explicit TAboutForm(QWidget* parent = nullptr);

  QLabel* ProductName = nullptr;
  QLabel* Version = nullptr;
  QLabel* HomeLink = nullptr;
  QLabel* MailLink = nullptr;
  QPushButton* OKButton = nullptr;
};
