#pragma once
// The port selection dialog, shown when a port is opened with no port number set.
#include <QDialog>
#include <cstdint>
#include <functional>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

class TComSelectForm : public QDialog {
 public:
  explicit TComSelectForm(QWidget* parent = nullptr);

  // The number of the selected entry ("COM12" gives 12); 0 when nothing is selected.
  uint16_t SelectedPort() const;

  QLabel* Label1;
  QLabel* Label2;
  QFrame* Bevel1;
  QComboBox* PortsComboBox;
  QPushButton* OkBtn;
  QPushButton* AbortBtn;

 private:
  void FillList();
};

// Makes the port component show this dialog when it opens with ComNumber 0, modally, as
// child of parent, through exec (empty: QDialog::exec). The choice holds for that open.
void InstallComSelectPrompt(QWidget* parent = nullptr, std::function<int(QDialog&)> exec = nullptr);
