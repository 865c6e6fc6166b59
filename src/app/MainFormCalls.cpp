// The call list: load and store, the grid, new records, memos, deletion and navigation.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTableWidget>

#include "calls/CallFile.h"
#include "calls/CallNames.h"
#include "app/MainForm.h"
#include "sound/RecordingFiles.h"
#include "setup/Dialogs.h"
#include "setup/Shared.h"

namespace {
void SetCell(QTableWidget* grid, int row, int column, const QString& text) {
  QTableWidgetItem* item = grid->item(row, column);
  if (!item) {
    item = new QTableWidgetItem;
    grid->setItem(row, column, item);
  }
  item->setText(text);
}
}  // namespace

void TMainForm::LoadCallList() {
  CallList.clear();
  callListLoaded_ = false;
  QString sideError;
  std::optional<std::vector<TCallRecord>> side =
      ReadCallRecords(QString::fromLatin1(kCallSideFileName), &sideError);
  sideReadable_ = side.has_value();
  try {
    CallList = LoadCallFile(QString::fromLatin1(kCallFileName));
  } catch (const ECallFileError&) {
    // The list of this run starts with the calls still waiting beside the file.
    if (side) {
      CallList = std::move(*side);
    }
    ShowCallList();
    throw;
  }
  sideMerged_ = side && !side->empty();
  if (side) {
    MergeCalls(CallList, *side);
  }
  callListLoaded_ = true;
  ShowCallList();
  FitGridColumns(CallList);
}

bool TMainForm::SaveCallList() {
  // A list that could not be read is never written over: the file may still hold it.
  if (!callListLoaded_) {
    return true;
  }
  if (SaveCallFile(QString::fromLatin1(kCallFileName), CallList).has_value()) {
    return false;
  }
  if (sideMerged_) {
    QFile::remove(QString::fromLatin1(kCallSideFileName));
    sideMerged_ = false;
  }
  return true;
}

bool TMainForm::SaveCallsBesideUnreadList(QString* note) {
  const QString side = QString::fromLatin1(kCallSideFileName);
  const QString unread = QStringLiteral(
                             "The call list %1 could not be read at start, so it was "
                             "left as it was. ")
                             .arg(QString::fromLatin1(kCallFileName));
  note->clear();
  if (!sideReadable_) {
    if (CallList.empty()) {
      return true;
    }
    *note = unread + QStringLiteral(
                         "%1 cannot be read either: the %2 calls of this run could "
                         "not be saved.")
                         .arg(side)
                         .arg(CallCount());
    return false;
  }
  if (CallList.empty()) {
    QFile::remove(side);
    return true;
  }
  if (const auto error = SaveCallFile(side, CallList)) {
    *note = unread + QStringLiteral("The %1 calls not in it could not be saved in %2: %3")
                         .arg(CallCount())
                         .arg(side, *error);
    return false;
  }
  *note = unread + QStringLiteral(
                       "The %1 calls not in it were saved in %2; the next start that "
                       "can read the list adds them to it.")
                       .arg(CallCount())
                       .arg(side);
  return true;
}

void TMainForm::ShowCallList() {
  const int selected = SelectedRow();
  Grid1->setHorizontalHeaderLabels({QStringLiteral("Date"), QStringLiteral("Time"),
                                    QStringLiteral("Duration"), QStringLiteral("Memo")});
  if (CallList.empty()) {
    Grid1->setRowCount(1);
    for (int c = 0; c < 4; ++c) {
      SetCell(Grid1, 0, c, QString());
    }
    SelectRow(1);
    return;
  }
  Grid1->setRowCount(CallCount());
  for (int r = 0; r < CallCount(); ++r) {
    const TCallRecord& rec = CallList[static_cast<size_t>(r)];
    SetCell(Grid1, r, 0, rec.Date);
    SetCell(Grid1, r, 1, rec.Time);
    SetCell(Grid1, r, 2, rec.Duration);
    SetCell(Grid1, r, 3, rec.Memo);
  }
  SelectRow(std::min(selected, RowCount() - 1));
}

void TMainForm::AddCallRecord(int64_t voiceStreamSize, const QString& memo) {
  CurrentCall.FileName = CutToField(MakeFileName(), kFileNameCapacity);
  CurrentCall.Date = CutToField(ShortDateText(QDate::currentDate()), kDateCapacity);
  CurrentCall.Time = CutToField(LongTimeText(QTime::currentTime()), kTimeCapacity);
  CurrentCall.Memo = CutToField(memo, kMemoCapacity);
  CurrentCall.Duration =
      CutToField(DurationText(voiceStreamSize, CurrentProfile.SamplingFreq), kDurationCapacity);
  CurrentCall.Image.clear();
  CallList.push_back(CurrentCall);
  ShowCallList();
  SelectRow(RowCount() - 1);
  CurrentFileName = CurrentCall.FileName;
}

void TMainForm::Button1Click() {
  CurrentCall.FileName = CutToField(MakeFileName(), kFileNameCapacity);
  CurrentCall.Date = CutToField(ShortDateText(QDate::currentDate()), kDateCapacity);
  CurrentCall.Time = CutToField(LongTimeText(QTime::currentTime()), kTimeCapacity);
  CurrentCall.Memo.clear();
  CurrentCall.Image.clear();
  CallList.push_back(CurrentCall);
  ShowCallList();
  SelectRow(RowCount() - 1);
}

void TMainForm::EditMemo() {
  if (CallList.empty()) {
    return;
  }
  const int r = SelectedRow();
  if (r < 1 || r > CallCount()) {
    return;
  }
  TCallRecord& rec = CallList[static_cast<size_t>(r - 1)];
  const QString text = InputBox(QStringLiteral("Comment"), QString(), rec.Memo, kMemoCapacity);
  if (text.isEmpty()) {
    return;
  }
  rec.Memo = CutToField(text, kMemoCapacity);
  ShowCallList();
}

void TMainForm::DeleteCallRecord() {
  if (CallList.empty()) {
    return;
  }
  if (!ConfirmBox(QStringLiteral("Confirm"), QStringLiteral("Delete record?"))) {
    return;
  }
  const int r = SelectedRow();
  if (r < 1 || r > CallCount()) {
    return;
  }
  const QString fileName = CallList[static_cast<size_t>(r - 1)].FileName;
  CallList.erase(CallList.begin() + (r - 1));
  // A damaged name (a folder, "..") removes the record only, never a file elsewhere.
  if (const std::optional<QString> path = WavFilePath(fileName)) {
    QFile::remove(*path);
  }
  ShowCallList();
  if (CallList.empty()) {
    SetRecordCommandsEnabled(false);
  }
}

void TMainForm::ToolButton1Click() {
  SelectRow(1);
}

void TMainForm::ToolButton2Click() {
  if (SelectedRow() > 1) {
    SelectRow(SelectedRow() - 1);
  }
}

void TMainForm::ToolButton3Click() {
  if (SelectedRow() <= RowCount() - 2) {
    SelectRow(SelectedRow() + 1);
  }
}

void TMainForm::ToolButton4Click() {
  SelectRow(RowCount() - 1);
}
