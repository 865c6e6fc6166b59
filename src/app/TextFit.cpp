#include "app/TextFit.h"

#include <QDate>
#include <QFontMetrics>
#include <QLabel>
#include <QStyle>
#include <QTableView>
#include <algorithm>
#include <cstdint>
#include <limits>

#include "calls/CallNames.h"
#include "calls/CallRecord.h"
#include "modem/ModemF.h"
#include "sound/WavFormat.h"

namespace {
constexpr int kMonths = 12;
constexpr int kHours = 24;
constexpr int kSampleDays[] = {1, 10, 22, 28};
constexpr int kHighestListedPort = 50;  // the port selection dialog offers COM1 to COM50

// Wide enough for the text however the font measures it (overhanging glyphs included).
int TextWidth(const QFontMetrics& fm, const QString& text) {
  const QRect box = fm.boundingRect(QRect(0, 0, std::numeric_limits<int>::max() / 2, 1000),
                                    Qt::AlignLeft | Qt::TextSingleLine, text);
  return std::max(fm.horizontalAdvance(text), box.width());
}
}  // namespace

int LabelWidthFor(const QLabel& label, const QString& text) {
  // Measured by a label like it, as the toolkit lays labels out.
  QLabel probe;
  probe.setFont(label.font());
  probe.setFrameStyle(label.frameStyle());
  probe.setLineWidth(label.lineWidth());
  probe.setMargin(label.margin());
  probe.setIndent(label.indent());
  probe.setText(text);
  return probe.sizeHint().width();
}

int CellWidthFor(const QTableView& table, const QString& text) {
  // The item view draws a cell's text this far in from each side.
  const int margin = table.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &table) + 1;
  return TextWidth(QFontMetrics(table.font()), text) + 2 * margin;
}

QStringList CallColumnSamples(int column) {
  QStringList samples;
  const int year = QDate::currentDate().year();
  switch (column) {
    case 0:
      for (int month = 1; month <= kMonths; ++month) {
        for (int day : kSampleDays) {
          samples << CutToField(ShortDateText(QDate(year, month, day)), kDateCapacity);
        }
      }
      break;
    case 1:
      for (int hour = 0; hour < kHours; ++hour) {
        for (const QTime& t : {QTime(hour, 0, 0), QTime(hour, 58, 48)}) {
          samples << CutToField(LongTimeText(t), kTimeCapacity);
        }
      }
      break;
    case 2:
      samples << CutToField(DurationText(std::numeric_limits<uint32_t>::max(), kDefaultSamplingRate),
                            kDurationCapacity);
      break;
    default:
      break;
  }
  return samples;
}

QString PortPanelText(int port) {
  return QStringLiteral(" COM PORT ") + QString::number(port);
}

QStringList StatusPanelSamples(int index) {
  QStringList samples;
  if (index == 0) {
    samples << QLatin1String(kModemOnText) << QLatin1String(kModemOffText);
  } else if (index == 1) {
    for (int n = 1; n <= kHighestListedPort; ++n) {
      samples << PortPanelText(n);
    }
  }
  return samples;
}
