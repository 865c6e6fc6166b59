#pragma once
// "Modem specification": the list of modems found by the scan; "Ok" probes the chosen
// modem's voice commands and writes its profile to the settings file.
#include <QDialog>
#include <array>
#include <cstdint>

#include "setup/ModemParams.h"

class IModemLink;
class TProgressForm;

class TSpecModemForm : public QDialog {
 public:
  TSpecModemForm(IModemLink& link, TProgressForm& progress, QWidget* parent = nullptr);

  void FindModems();  // the scan of COM1 to COM8; fills FoundModems and FoundCount
  void AddMemoLine(const QByteArray& chunk);  // the link's echo of received chunks

  std::array<TModemParams, 17> FoundModems{};  // entries 1..16; 0 unused
  int32_t FoundCount = 0;

 protected:
  IModemLink& link_;
  TProgressForm& progress_;
};
