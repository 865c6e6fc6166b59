#pragma once
// The export dialog: the folder the calls go to and the format they are written in.
#include <QDialog>
#include <QString>
#include <map>

#include "export/ExportFormat.h"

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class TExportForm : public QDialog {
 public:
  // `count` calls are to be exported.
  TExportForm(size_t count, QWidget* parent = nullptr);

  QString Folder() const;
  void SetFolder(const QString& folder);
  TExportFormat Format() const;
  void SetFormat(TExportFormat format);

  QLabel* CountLabel1 = nullptr;
  QLineEdit* FolderEdit1 = nullptr;
  QPushButton* BrowseBtn1 = nullptr;
  std::map<TExportFormat, QRadioButton*> FormatButtons;  // FlacBtn1, OpusBtn1, WavBtn1
  QDialogButtonBox* Buttons = nullptr;

 private:
  void BrowseBtn1Click();
};
