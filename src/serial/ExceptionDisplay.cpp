#include "serial/ExceptionDisplay.h"

#include <QCoreApplication>
#include <QDebug>
#include <QThread>
#include <utility>

#include "serial/UiDelivery.h"

namespace {
ExceptionDisplay& Display() {
  static ExceptionDisplay display;
  return display;
}

void ShowNow(const QString& message) {
  if (Display()) {
    Display()(message);
  } else {
    qWarning().noquote() << "Tavrin serial:" << message;
  }
}
}  // namespace

void SetExceptionDisplay(ExceptionDisplay display) {
  Display() = std::move(display);
}

void ShowSerialException(const QString& message) {
  auto* app = QCoreApplication::instance();
  if (app == nullptr || QThread::currentThread() == app->thread()) {
    ShowNow(message);
  } else {
    ui_delivery::Post([message] { ShowNow(message); });
  }
}
