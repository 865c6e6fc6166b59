// The search over the call list: the field right of the recorder buttons, the rows it
// lets through, the mapping from a grid row to its call, and the count in the status bar.
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTableWidget>

#include "app/MainForm.h"

namespace {
// Right of the recorder buttons (ToolBar2 ends at 273), on their row, to the grid's right
// edge: the rest of the window keeps its place.
constexpr int kSearchLeft = 281;
constexpr int kSearchTop = 119;
constexpr int kSearchWidth = 96;
constexpr int kSearchHeight = 23;
constexpr int kCountMargin = 6;
}  // namespace

void TMainForm::BuildSearch() {
  SearchEdit1 = new QLineEdit(Client);
  SearchEdit1->setObjectName(QStringLiteral("SearchEdit1"));
  SearchEdit1->setGeometry(kSearchLeft, kSearchTop, kSearchWidth, kSearchHeight);
  SearchEdit1->setPlaceholderText(QStringLiteral("Search"));
  SearchEdit1->setToolTip(QStringLiteral("Find calls by memo, date, time or duration (Ctrl+F)"));
  SearchEdit1->setClearButtonEnabled(true);
  SearchEdit1->installEventFilter(this);
  connect(SearchEdit1, &QLineEdit::textChanged, this, [this] { SearchEdit1Change(); });

  SearchCount1 = new QLabel(StatusBar1);
  SearchCount1->setObjectName(QStringLiteral("SearchCount1"));
  SearchCount1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  // Room for the count of a large list, so that it never shifts as it changes.
  SearchCount1->setMinimumWidth(
      SearchCount1->fontMetrics().horizontalAdvance(QStringLiteral("0000 of 0000 calls")) +
      2 * SearchCount1->frameWidth() + kCountMargin);
  StatusBar1->addPermanentWidget(SearchCount1);
  SearchCount1->setVisible(false);
}

bool TMainForm::SearchKey(QObject* watched, int key, Qt::KeyboardModifiers modifiers) {
  if ((modifiers & ~Qt::KeypadModifier) == Qt::ControlModifier && key == Qt::Key_F) {
    SearchEdit1->setFocus(Qt::ShortcutFocusReason);
    SearchEdit1->selectAll();
    return true;
  }
  if (watched == SearchEdit1 && key == Qt::Key_Escape && modifiers == Qt::NoModifier) {
    // Escape clears the search; on an empty field it goes back to the list.
    if (SearchEdit1->text().isEmpty()) {
      Grid1->setFocus(Qt::OtherFocusReason);
    }
    SearchEdit1->clear();
    return true;
  }
  return false;
}

std::optional<size_t> TMainForm::CallIndexOfRow(int r) const {
  if (r < 1 || r > static_cast<int>(shownCalls_.size())) {
    return std::nullopt;
  }
  return shownCalls_[static_cast<size_t>(r - 1)];
}

std::optional<size_t> TMainForm::SelectedCallIndex() const {
  return CallIndexOfRow(SelectedRow());
}

std::vector<TCallRecord> TMainForm::ShownCalls() const {
  std::vector<TCallRecord> calls;
  calls.reserve(shownCalls_.size());
  for (const size_t i : shownCalls_) {
    calls.push_back(CallList[i]);
  }
  return calls;
}

void TMainForm::SearchEdit1Change() {
  const std::optional<size_t> selected = SelectedCallIndex();
  search_ = TCallFilter(SearchEdit1->text());
  ShowCallList();
  const auto row =
      selected ? std::find(shownCalls_.begin(), shownCalls_.end(), *selected) : shownCalls_.end();
  SelectRow(row == shownCalls_.end() ? 1 : static_cast<int>(row - shownCalls_.begin()) + 1);
}

void TMainForm::ClearSearch() {
  // The caller shows the list again; the field's own signal would do it once more.
  const QSignalBlocker quiet(SearchEdit1);
  SearchEdit1->clear();
  search_ = TCallFilter();
}

void TMainForm::ShowSearchCount() {
  SearchCount1->setText(
      QStringLiteral("%1 of %2 calls").arg(shownCalls_.size()).arg(CallList.size()));
  if (SearchCount1->isVisibleTo(StatusBar1) != search_.IsOn()) {
    SearchCount1->setVisible(search_.IsOn());
    ShowCallerRoom(callerShown_);
  }
}
