// The grid's columns and the status bar's panels show their texts whole, at the
// desktop's font and in the user's locale; the window keeps its size.
#include <gtest/gtest.h>
#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTableWidget>

#include "MainFormTestSupport.h"
#include "calls/CallNames.h"
#include "modem/ModemF.h"

namespace {
// The desktop's font and locale for one test, put back afterwards.
struct Desktop {
  Desktop(const QLocale& locale, int pointSize) : font_(QApplication::font()), locale_(QLocale()) {
    QLocale::setDefault(locale);
    QFont f = font_;
    if (pointSize > 0) f.setPointSize(pointSize);
    QApplication::setFont(f);
  }
  ~Desktop() {
    QApplication::setFont(font_);
    QLocale::setDefault(locale_);
  }
  QFont font_;
  QLocale locale_;
};

// Calls of every month, made at the widest hours, in the locale's own texts.
std::vector<TCallRecord> CallsOfAYear() {
  std::vector<TCallRecord> calls;
  for (int month = 1; month <= 12; ++month) {
    TCallRecord r;
    r.FileName = QStringLiteral("ABCDEF");
    r.Date = CutToField(ShortDateText(QDate(2024, month, 28)), kDateCapacity);
    r.Time = CutToField(LongTimeText(QTime(month + 11, 58, 48)), kTimeCapacity);
    r.Duration = QStringLiteral("1234:56");
    calls.push_back(r);
  }
  return calls;
}

// The room the grid's item view gives a cell's text: the text and the style's margins.
int CellNeeds(const QTableWidget& grid, const QString& text) {
  const int margin = grid.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &grid) + 1;
  return QFontMetrics(grid.font()).horizontalAdvance(text) + 2 * margin;
}

// The room a framed label gives its text: the frame on both sides, and the indent of
// half an "x" that such a label puts before it.
int PanelNeeds(const QLabel& panel) {
  const QFontMetrics fm(panel.font());
  return fm.horizontalAdvance(panel.text()) + 2 * panel.frameWidth() +
         fm.horizontalAdvance(QLatin1Char('x')) / 2;
}
}  // namespace

TEST(MainFormTextFitTest, EveryCellAndPanelShowsItsTextWholeAtEachFontAndLocale) {
  for (const char* name : {"C", "en_US", "de_DE", "fr_FR", "hu_HU", "ru_RU"}) {
    for (int pointSize : {0, 14}) {
      SCOPED_TRACE(std::string(name) + " at " + std::to_string(pointSize) + " pt");
      Desktop desktop(QLocale(QLatin1String(name)), pointSize);
      MainFormFixture fx;
      SaveCallFile(fx.Path("Calls.dbt"), CallsOfAYear());
      fx.Write("Tavrin.ini", "[Modem]\nport=50\nModel=CX93001-EIS_V0.2013-V92\n");
      TMainForm& form = fx.Start();
      form.Button1->click();  // a call of today, as the recorder makes one
      ASSERT_EQ(form.CallCount(), 13);
      EXPECT_EQ(form.centralWidget()->size(), QSize(384, 386));

      QTableWidget& grid = *form.Grid1;
      for (int c = 0; c < 3; ++c) {
        const int width = grid.columnWidth(c);
        EXPECT_GE(width, grid.horizontalHeader()->sectionSizeHint(c)) << "header " << c;
        for (int r = 0; r < grid.rowCount(); ++r) {
          const QString text = grid.item(r, c)->text();
          EXPECT_GE(width, CellNeeds(grid, text)) << text.toStdString();
        }
      }
      EXPECT_GE(grid.columnWidth(3), grid.horizontalHeader()->sectionSizeHint(3));

      form.SetStatusPanel(0, QLatin1String(kModemOffText));
      for (int i = 0; i < 2; ++i) {
        const QLabel& panel = *form.StatusPanels[static_cast<size_t>(i)];
        EXPECT_EQ(panel.text(), i == 0 ? " Modem off" : " COM PORT 50");
        EXPECT_GE(panel.width(), PanelNeeds(panel)) << i;
      }
      // The model is longer than the bar has room for: the panel ends with the bar and
      // tells the whole text in its tool tip.
      form.StatusBar1->layout()->activate();
      const QLabel& model = *form.StatusPanels[2];
      EXPECT_EQ(model.text(), " CX93001-EIS_V0.2013-V92");
      if (model.width() < PanelNeeds(model)) {
        EXPECT_EQ(model.toolTip(), "CX93001-EIS_V0.2013-V92");
        EXPECT_LE(model.geometry().right(), form.StatusBar1->width());
      }
      form.SetStatusPanel(2, QStringLiteral(" Virtual"));
      EXPECT_GE(model.width(), PanelNeeds(model));
      EXPECT_GE(model.width(), 50);
      EXPECT_EQ(model.toolTip(), "");
      form.close();
    }
  }
}
