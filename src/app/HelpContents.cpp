#include "app/HelpContents.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

// The build passes where the manual lies, relative to the installed executable, and, in a
// build run from its source tree, the source tree's manual.
#ifndef TAVRIN_MANUAL_FROM_BINDIR
#define TAVRIN_MANUAL_FROM_BINDIR "../share/tavrin/manual"
#endif

namespace {
const QString kHelpFileName = QStringLiteral("Help.chm");
const QString kManualPage = QStringLiteral("index.html");

QString SourceManual() {
#ifdef TAVRIN_SOURCE_MANUAL_DIR
  return QDir(QStringLiteral(TAVRIN_SOURCE_MANUAL_DIR)).filePath(kManualPage);
#else
  return {};
#endif
}
}  // namespace

THelpPlaces DefaultHelpPlaces() {
  const QDir bin(QCoreApplication::applicationDirPath());
  const QString manual = QDir::cleanPath(bin.filePath(QStringLiteral(TAVRIN_MANUAL_FROM_BINDIR)));
  return {kHelpFileName, QDir(manual).filePath(kManualPage), SourceManual()};
}

bool OpenWithDesktop(const QUrl& url) {
  return QDesktopServices::openUrl(url);
}

QString OpenHelpContents(const THelpPlaces& places, const TUrlOpener& open) {
  // The file a failure message names: the first HTML manual found (any web browser opens
  // it), else the help file.
  QString named;
  bool namedIsManual = false;
  const QString* const order[] = {&places.HelpFile, &places.InstalledManual, &places.SourceManual};
  for (const QString* place : order) {
    if (place->isEmpty()) {
      continue;
    }
    const QString path = QDir::current().absoluteFilePath(*place);
    if (!QFileInfo(path).isFile()) {
      continue;
    }
    if (open(QUrl::fromLocalFile(path))) {
      return {};
    }
    if (!namedIsManual) {
      named = path;
      namedIsManual = place != &places.HelpFile;
    }
  }
  if (named.isEmpty()) {
    return QStringLiteral(
               "The user manual is not installed. Tavrin installs it as %1; in Tavrin's source "
               "code it is doc/manual/index.html.")
        .arg(QDir::toNativeSeparators(places.InstalledManual));
  }
  return QStringLiteral("No program could open the user manual. Open the file %1 in a web browser.")
      .arg(QDir::toNativeSeparators(named));
}
