// File > Export call..., Export calls shown... and Export list...: the export dialog,
// the progress of an export of several calls, and what came of it.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QProgressDialog>
#include <QStandardPaths>

#include "app/ExportForm.h"
#include "app/MainForm.h"
#include "export/CallCsv.h"
#include "export/CallExport.h"
#include "export/ExportTexts.h"
#include "export/TavrinFolder.h"
#include "setup/Dialogs.h"

namespace {
constexpr int kProgressSteps = 1000;  // per call
constexpr size_t kListedSkips = 10;   // skipped calls named in the message; the rest counted
const QString kHere = QStringLiteral(".");

// The music folder's "Calls": where exported calls go unless the user chose elsewhere.
QString DefaultExportFolder() {
  QString base = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
  if (base.isEmpty()) {
    base = QDir::homePath();
  }
  return QDir(base).filePath(QStringLiteral("Calls"));
}

QString SkippedText(const std::vector<TSkippedCall>& skipped) {
  QString text;
  for (size_t i = 0; i < skipped.size() && i < kListedSkips; ++i) {
    text += QStringLiteral("\n%1: %2").arg(CallLabel(skipped[i].call), skipped[i].reason);
  }
  if (skipped.size() > kListedSkips) {
    text += QStringLiteral("\nand %1 more.").arg(skipped.size() - kListedSkips);
  }
  return text;
}

// The wait cursor for as long as an export of one call runs.
struct TBusyCursor {
  TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
};
}  // namespace

void TMainForm::ExportCall1Click() {
  if (const std::optional<size_t> index = SelectedCallIndex()) {
    ExportCalls({CallList[*index]});
  }
}

void TMainForm::ExportShown1Click() {
  if (!shownCalls_.empty()) {
    ExportCalls(ShownCalls());
  }
}

void TMainForm::ExportCalls(const std::vector<TCallRecord>& calls) {
  // The calls are copied: the list may change while the export runs (a recording that
  // ends at a hang-up adds a call).
  TExportForm form(calls.size(), this);
  form.SetFolder(exportFolder_.isEmpty() ? DefaultExportFolder() : exportFolder_);
  form.SetFormat(exportFormat_);
  if (ExecModal(form) != QDialog::Accepted) {
    return;
  }
  exportFolder_ = form.Folder();
  exportFormat_ = form.Format();
  if (TouchesTavrinFiles(kHere, exportFolder_)) {
    ShowMessage(
        QStringLiteral("Calls cannot be exported into Tavrin's own folder or its "
                       "wav folder. Choose a folder of their own."));
    return;
  }
  const TExportRequest request{kHere, exportFolder_, exportFormat_};
  TExportReport report;
  if (calls.size() == 1) {
    const TBusyCursor busy;
    report = ::ExportCalls(calls, request);
  } else {
    QProgressDialog progress(QStringLiteral("Exporting calls..."), QStringLiteral("Cancel"), 0,
                             static_cast<int>(calls.size()) * kProgressSteps, this);
    progress.setObjectName(QStringLiteral("ExportProgress1"));
    progress.setWindowTitle(QStringLiteral("Export calls"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.show();  // at once: the export of several calls takes a while
    size_t labelled = calls.size();
    report = ::ExportCalls(calls, request, [&](size_t index, size_t count, double fraction) {
      if (index != labelled) {
        labelled = index;
        progress.setLabelText(
            QStringLiteral("Exporting call %1 of %2...").arg(index + 1).arg(count));
      }
      progress.setValue(static_cast<int>(index) * kProgressSteps +
                        static_cast<int>(fraction * kProgressSteps));
      // The dialog's Cancel, and the rest of the program, run between two pieces.
      QCoreApplication::processEvents();
      return !progress.wasCanceled();
    });
  }
  QString text;
  if (!report.failure.isEmpty()) {
    text = QStringLiteral("The export stopped: %1\n").arg(report.failure);
  } else if (report.cancelled) {
    text = QStringLiteral("The export was cancelled.\n");
  }
  text += QStringLiteral("%1 of %2 calls exported to %3.")
              .arg(report.exported.size())
              .arg(calls.size())
              .arg(QDir::toNativeSeparators(exportFolder_));
  if (!report.skipped.empty()) {
    text += QStringLiteral("\n\nNot exported:") + SkippedText(report.skipped);
  }
  ShowMessage(text);
}

void TMainForm::ExportList1Click() {
  if (shownCalls_.empty()) {
    return;
  }
  const std::vector<TCallRecord> calls = ShownCalls();
  QFileDialog dialog(this, QStringLiteral("Export list"));
  dialog.setObjectName(QStringLiteral("ExportListDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(QStringLiteral("CSV files (*.csv)"));
  dialog.setDefaultSuffix(QStringLiteral("csv"));
  dialog.setDirectory(exportFolder_.isEmpty() ? QDir::homePath() : exportFolder_);
  dialog.selectFile(QStringLiteral("calls.csv"));
  if (ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return;
  }
  const QString path = dialog.selectedFiles().first();
  if (TouchesTavrinFiles(kHere, path)) {
    ShowMessage(
        QStringLiteral("The list cannot be written over Tavrin's own files. Choose "
                       "another name or folder."));
    return;
  }
  std::vector<TSkippedCall> skipped;
  if (const auto error = WriteCallListCsv(path, calls, &skipped)) {
    ShowMessage(QStringLiteral("The list could not be written to %1: %2")
                    .arg(QDir::toNativeSeparators(path), *error));
    return;
  }
  if (!skipped.empty()) {
    ShowMessage(QStringLiteral("%1 of %2 calls listed in %3.\n\nNot listed:")
                    .arg(calls.size() - skipped.size())
                    .arg(calls.size())
                    .arg(QDir::toNativeSeparators(path)) +
                SkippedText(skipped));
  }
}
