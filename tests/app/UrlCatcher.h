#pragma once
// Takes the URLs the program asks the desktop to open, instead of starting a viewer.
#include <QDesktopServices>
#include <QObject>
#include <QUrl>

class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  explicit UrlCatcher(const QString& scheme) : scheme_(scheme) {
    QDesktopServices::setUrlHandler(scheme_, this, "Open");
  }
  ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(scheme_); }
  QList<QUrl> urls;

 public slots:
  void Open(const QUrl& url) { urls << url; }

 private:
  QString scheme_;
};
