#pragma once
// What a text needs of a control to be shown whole, at the control's own font and style,
// and the texts the main window's grid and status bar show in the user's locale.
#include <QString>
#include <QStringList>

class QLabel;
class QTableView;

// The width a label needs to show `text` on one line: text, frame, margin and indent.
int LabelWidthFor(const QLabel& label, const QString& text);
// The width a cell of the table needs to show `text` whole.
int CellWidthFor(const QTableView& table, const QString& text);

// The texts a new call can have in the grid's date, time and duration columns (0 to 2),
// as they are stored: every month, day widths, every hour, the longest recording.
QStringList CallColumnSamples(int column);

// The second status bar panel's text for a port number.
QString PortPanelText(int port);

// What the first two status bar panels show: the port state, and the port numbers the
// port selection offers.
QStringList StatusPanelSamples(int index);
