#include "app/ExportForm.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
const char* ButtonName(TExportFormat format) {
  switch (format) {
    case TExportFormat::kFlac:
      return "FlacBtn1";
    case TExportFormat::kOpus:
      return "OpusBtn1";
    case TExportFormat::kWav:
      return "WavBtn1";
  }
  return "";
}
}  // namespace

TExportForm::TExportForm(size_t count, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ExportForm"));
  setWindowTitle(count == 1 ? QStringLiteral("Export call") : QStringLiteral("Export calls"));
  auto* layout = new QVBoxLayout(this);

  CountLabel1 = new QLabel(count == 1 ? QStringLiteral("1 call, named after its date and time.")
                                      : QStringLiteral("%1 calls, each named after its date "
                                                       "and time.")
                                            .arg(count),
                           this);
  CountLabel1->setObjectName(QStringLiteral("CountLabel1"));
  layout->addWidget(CountLabel1);

  auto* folderRow = new QHBoxLayout;
  FolderEdit1 = new QLineEdit(this);
  FolderEdit1->setObjectName(QStringLiteral("FolderEdit1"));
  FolderEdit1->setMinimumWidth(260);
  BrowseBtn1 = new QPushButton(QStringLiteral("Browse..."), this);
  BrowseBtn1->setObjectName(QStringLiteral("BrowseBtn1"));
  folderRow->addWidget(FolderEdit1);
  folderRow->addWidget(BrowseBtn1);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Folder:"), folderRow);
  layout->addLayout(form);

  auto* box = new QGroupBox(QStringLiteral("Format"), this);
  auto* boxLayout = new QVBoxLayout(box);
  auto* group = new QButtonGroup(this);
  for (const TExportFormat f : kExportFormats) {
    auto* b = new QRadioButton(ExportFormatCaption(f), box);
    b->setObjectName(QLatin1String(ButtonName(f)));
    group->addButton(b);
    boxLayout->addWidget(b);
    FormatButtons[f] = b;
  }
  layout->addWidget(box);

  Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  Buttons->setObjectName(QStringLiteral("Buttons"));
  Buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Export"));
  layout->addWidget(Buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(BrowseBtn1, &QPushButton::clicked, this, [this] { BrowseBtn1Click(); });
  connect(FolderEdit1, &QLineEdit::textChanged, this, [this](const QString& text) {
    Buttons->button(QDialogButtonBox::Ok)->setEnabled(!text.trimmed().isEmpty());
  });
  SetFormat(kDefaultExportFormat);
}

QString TExportForm::Folder() const {
  return FolderEdit1->text().trimmed();
}

void TExportForm::SetFolder(const QString& folder) {
  FolderEdit1->setText(folder);
  Buttons->button(QDialogButtonBox::Ok)->setEnabled(!folder.trimmed().isEmpty());
}

TExportFormat TExportForm::Format() const {
  for (const auto& [format, button] : FormatButtons) {
    if (button->isChecked()) {
      return format;
    }
  }
  return kDefaultExportFormat;
}

void TExportForm::SetFormat(TExportFormat format) {
  FormatButtons.at(format)->setChecked(true);
}

void TExportForm::BrowseBtn1Click() {
  const QString chosen =
      QFileDialog::getExistingDirectory(this, QStringLiteral("Export to"), Folder());
  if (!chosen.isEmpty()) {
    SetFolder(chosen);
  }
}
