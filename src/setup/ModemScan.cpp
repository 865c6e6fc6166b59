// The scan of COM1 to COM8 for modems and their identification.
#include <QComboBox>
#include <QLabel>
#include <QThread>

#include "serial/SerialPort.h"
#include "setup/ModemLink.h"
#include "setup/ModemText.h"
#include "setup/ProgressForm.h"
#include "setup/SpecModemForm.h"

namespace {
constexpr int kFirstPort = 1;
constexpr int kLastPort = 8;
constexpr unsigned long kSettleMs = 100;  // after opening, before the first command
}  // namespace

void TSpecModemForm::IdentifyField(const QByteArray& first, const QByteArray& second,
                                   const QString& fallback, QString& field) {
  // scanAnswer_ carries over from the query before: a time-out here leaves it as it was.
  if (link_.SendAndRead(first, scanAnswer_) == kExchangeOk) {
    field = QString::fromLatin1(scanAnswer_);
  }
  if (UpperAscii(scanAnswer_) != "ERROR") return;
  if (link_.SendAndRead(second, scanAnswer_) == kExchangeOk) {
    field = QString::fromLatin1(scanAnswer_);
  }
  if (UpperAscii(scanAnswer_) == "ERROR") field = fallback;
}

void TSpecModemForm::FindModems() {
  SetWayOut(false);
  link_.EchoToSpecMemo = false;
  for (QLabel* label : {Label1, Label2, Label3, Label4}) label->clear();
  ComboBox3->clear();
  int32_t count = 0;
  scanAnswer_.clear();

  TSerialPort& port = link_.Port();
  {
    TProgressShown shown(progress_, QStringLiteral("Finding modems..."));
    for (int n = kFirstPort; n <= kLastPort; ++n) {
      progress_.SetPosition(StepPercent(n, kLastPort));
      try {
        port.SetComNumber(static_cast<uint16_t>(n));
        link_.PortIsOpen = false;
        try {
          port.SetOpen(true);
        } catch (const ELockHeld& e) {
          // Held through a lock: the monitor names it, in case its process is long gone
          // and the pid was reused.
          link_.MonitorLog().Add(QString::fromStdString(e.what()));
          continue;
        } catch (const ESerialException&) {
          continue;  // absent or busy: skipped without a word
        }
        QThread::msleep(kSettleMs);
        port.SendString(QByteArrayLiteral("ATE0\r"));
        if (link_.SendAndExpect(QByteArrayLiteral("AT"), QString(), QStringLiteral("ok")) ==
            kExchangeOk) {
          // Filled aside and counted only when complete, so that a device lost halfway
          // never leaves a counted entry without its list line. Fields a query leaves
          // unset keep what an earlier scan put in the slot.
          TModemParams e = FoundModems[count + 1];
          IdentifyField("AT+GMM?", "AT+FMM?", QStringLiteral("Unspecified model"), e.Model);
          IdentifyField("AT+GMI?", "AT+FMI?", QStringLiteral("Unspecified manufacturer"),
                        e.Manufacturer);
          IdentifyField("AT+GMR?", "AT+FMR?", QStringLiteral("Unspecified driver"), e.DriverDate);
          e.PortName = QStringLiteral("com") + QString::number(n);
          e.port = n;
          FoundModems[++count] = e;
          ComboBox3->addItem(e.Model);
        }
      } catch (const ESerialException&) {
        // The device went away in the middle of the dialogue: no modem to list there.
      }
      try {
        if (link_.PortIsOpen || port.Open()) port.SetOpen(false);
      } catch (const ESerialException&) {
        // Closing a device that has gone: nothing left to release.
      }
    }
  }
  FoundCount = count;
}
