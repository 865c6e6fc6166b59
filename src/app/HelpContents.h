#pragma once
// Help > Contents: the help file beside the user's files, else the HTML user manual, opened
// in the desktop's viewer for it.
#include <QString>
#include <QUrl>
#include <functional>

// Where Help > Contents looks, in this order.
struct THelpPlaces {
  QString HelpFile;         // relative names are taken in the current folder at opening time
  QString InstalledManual;  // the manual installed beside the program
  QString SourceManual;     // the source tree's manual, in a build run from there; may be empty
};

// "Help.chm"; the manual installed with this executable; the source tree's manual where
// the build knows it.
THelpPlaces DefaultHelpPlaces();

// Hands a URL to the desktop; false when nothing took it.
using TUrlOpener = std::function<bool(const QUrl&)>;
bool OpenWithDesktop(const QUrl& url);

// Opens the first place that exists and that the opener takes. Returns an empty text when
// one was opened, otherwise the message that tells the user where the manual is.
QString OpenHelpContents(const THelpPlaces& places, const TUrlOpener& open);
