// The call list: load and store, the grid, new records, memos, deletion and navigation.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTableWidget>
#include <algorithm>
#include <utility>

#include "app/MainForm.h"
#include "calls/CallFile.h"
#include "calls/CallNames.h"
#include "calls/JournalFormat.h"
#include "recording/RecorderPanel.h"
#include "setup/Dialogs.h"
#include "setup/PrivateFile.h"
#include "setup/Shared.h"
#include "sound/RecordingFiles.h"

namespace {
// MakeFileName draws from 23^6 names; a draw that is taken is drawn again, and this
// many draws in a row that are all taken cannot happen short of a broken clock.
constexpr int kNameDraws = 1000;

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
  if (WriteCallList().has_value()) {
    return false;
  }
  CallListStored();
  return true;
}

std::optional<QString> TMainForm::WriteCallList() {
  if (auto error = SaveCallFile(QString::fromLatin1(kCallFileName), CallList)) {
    return error;
  }
  if (sideMerged_) {
    // Its calls are in the list now; a side file that came back would only add them again.
    QFile::remove(QString::fromLatin1(kCallSideFileName));
    SyncFolder(QStringLiteral("."));
    sideMerged_ = false;
  }
  return std::nullopt;
}

bool TMainForm::StoreCallList() {
  QString message;
  if (callListLoaded_) {
    if (const auto error = WriteCallList()) {
      message = QStringLiteral(
                    "The call list could not be written to %1: %2. The calls stay in "
                    "memory and are written again at the next change and when Tavrin ends.")
                    .arg(QString::fromLatin1(kCallFileName), *error);
    }
  } else if (QString note; !SaveCallsBesideUnreadList(&note)) {
    message = note;
  }
  if (!message.isEmpty()) {
    // Told once: every change until a store succeeds would fail the same way. The
    // shutdown tells its own failure.
    if (!storeFailed_ && !shutDownDone_) {
      ShowMessage(message);
    }
    storeFailed_ = true;
    return false;
  }
  storeFailed_ = false;
  CallListStored();
  return true;
}

void TMainForm::CallListStored() {
  if (!pendingWavRemovals_.isEmpty()) {
    for (const QString& path : std::as_const(pendingWavRemovals_)) {
      // A file another row still names (a list that held it twice) stays.
      const bool named = std::any_of(CallList.begin(), CallList.end(), [&](const TCallRecord& r) {
        return WavFilePath(r.FileName) == path;
      });
      if (!named) {
        QFile::remove(path);  // a failure to delete is not reported
      }
    }
    pendingWavRemovals_.clear();
    // Durable with the removals of journals before it: a deleted call's journal, gone
    // when its call was saved, never comes back for a recovery to make a call of.
    SyncFolder(QString::fromLatin1(kWavFolder));
  }
  if (Recorder) {
    Recorder->Recorder.CallListStored();
  }
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
  shownCalls_.clear();
  for (size_t i = 0; i < CallList.size(); ++i) {
    if (search_.Matches(CallList[i])) {
      shownCalls_.push_back(i);
    }
  }
  ShowSearchCount();
  if (shownCalls_.empty()) {
    Grid1->setRowCount(1);
    for (int c = 0; c < 4; ++c) {
      SetCell(Grid1, 0, c, QString());
    }
    SelectRow(1);
    return;
  }
  Grid1->setRowCount(static_cast<int>(shownCalls_.size()));
  for (int r = 0; r < Grid1->rowCount(); ++r) {
    const TCallRecord& rec = CallList[shownCalls_[static_cast<size_t>(r)]];
    SetCell(Grid1, r, 0, rec.Date);
    SetCell(Grid1, r, 1, rec.Time);
    SetCell(Grid1, r, 2, rec.Duration);
    SetCell(Grid1, r, 3, rec.Memo);
  }
  SelectRow(std::min(selected, RowCount() - 1));
}

QString TMainForm::NewCallFileName() const {
  QString name;
  for (int draw = 0; draw < kNameDraws; ++draw) {
    name = CutToField(MakeFileName(), kFileNameCapacity);
    const bool listed = std::any_of(CallList.begin(), CallList.end(),
                                    [&](const TCallRecord& r) { return r.FileName == name; });
    if (!listed && !QFile::exists(*WavFilePath(name)) && !QFile::exists(JournalPath(name))) {
      break;
    }
  }
  return name;
}

bool TMainForm::AddCallRecord(const QString& fileName, int64_t voiceStreamSize,
                              const QString& memo) {
  CurrentCall.FileName = CutToField(fileName, kFileNameCapacity);
  CurrentCall.Date = CutToField(ShortDateText(QDate::currentDate()), kDateCapacity);
  CurrentCall.Time = CutToField(LongTimeText(QTime::currentTime()), kTimeCapacity);
  CurrentCall.Memo = CutToField(memo, kMemoCapacity);
  CurrentCall.Duration =
      CutToField(DurationText(voiceStreamSize, CurrentProfile.SamplingFreq), kDurationCapacity);
  CurrentCall.Image.clear();
  ClearSearch();  // the new call is shown and selected
  CallList.push_back(CurrentCall);
  ShowCallList();
  SelectRow(RowCount() - 1);
  CurrentFileName = CurrentCall.FileName;
  return StoreCallList();
}

void TMainForm::Button1Click() {
  CurrentCall.FileName = CutToField(MakeFileName(), kFileNameCapacity);
  CurrentCall.Date = CutToField(ShortDateText(QDate::currentDate()), kDateCapacity);
  CurrentCall.Time = CutToField(LongTimeText(QTime::currentTime()), kTimeCapacity);
  CurrentCall.Memo.clear();
  CurrentCall.Image.clear();
  ClearSearch();
  CallList.push_back(CurrentCall);
  ShowCallList();
  SelectRow(RowCount() - 1);
  StoreCallList();
}

void TMainForm::EditMemo() {
  const std::optional<size_t> asked = SelectedCallIndex();
  if (!asked) {
    return;
  }
  const TCallRecord call = CallList[*asked];
  const QString text = InputBox(QStringLiteral("Comment"), QString(), call.Memo, kMemoCapacity);
  if (text.isEmpty()) {
    return;
  }
  // The box kept the window running: a call added meanwhile may have moved the list.
  TCallRecord* rec = FindCall(call, *asked);
  if (!rec) {
    return;
  }
  rec->Memo = CutToField(text, kMemoCapacity);
  ShowCallList();
  StoreCallList();
}

void TMainForm::DeleteCallRecord() {
  // The call of the selected row, which is not the row's place in the list while a
  // search is on. It is taken before the question: while the box is open a recording
  // may end and add a call, which moves the selection and clears the search.
  const std::optional<size_t> asked = SelectedCallIndex();
  if (!asked) {
    return;
  }
  const TCallRecord call = CallList[*asked];
  if (!ConfirmBox(QStringLiteral("Confirm"), QStringLiteral("Delete record?"))) {
    return;
  }
  const TCallRecord* at = FindCall(call, *asked);
  if (!at) {
    return;
  }
  const QString fileName = at->FileName;
  CallList.erase(CallList.begin() + (at - CallList.data()));
  // The file goes only once the list without its row is on disk: a crash in between
  // must not leave a row whose file is gone. A damaged name (a folder, "..") removes the
  // record only, never a file elsewhere.
  if (const std::optional<QString> path = WavFilePath(fileName)) {
    pendingWavRemovals_ << *path;
  }
  ShowCallList();
  if (CallList.empty()) {
    SetRecordCommandsEnabled(false);
  }
  StoreCallList();
}

TCallRecord* TMainForm::FindCall(const TCallRecord& call, size_t where) {
  if (where < CallList.size() && SameCall(CallList[where], call)) {
    return &CallList[where];
  }
  const auto at = std::find_if(CallList.begin(), CallList.end(),
                               [&](const TCallRecord& r) { return SameCall(r, call); });
  return at == CallList.end() ? nullptr : &*at;
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
