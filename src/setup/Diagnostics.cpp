#include "setup/Diagnostics.h"

#include <iterator>

#include "serial/SerialErrors.h"
#include "setup/Dialogs.h"
#include "setup/ModemLink.h"
#include "setup/ModemText.h"
#include "setup/ProgressForm.h"

namespace {
const char* const kQueries[] = {"ate0",     "at+fclass=8", "at+fclass=?", "at+VNH=?", "at+FMI?",
                                "at+FMM?",  "at+FMR?",     "at+GMI?",     "at+GMM?",  "at+GMR?",
                                "at+FLO=?", "at+VIP=?",    "at+VTS=?",    "at+VXT=?", "at+VGR=?",
                                "at+VGT=?", "at+VIT=?",    "at+VLS=?",    "at+VRA=?", "at+VRN=?",
                                "at+VSD=?", "at+VSM=?",    "at+VTD=?",    "at+VDR=?", "at+VDT=?",
                                "at+VEM=?", "at+VBT=?",    "at+VPP=?",    "at+VPR=?"};
constexpr int kQueryCount = static_cast<int>(std::size(kQueries));
}  // namespace

void DiagnosticQuery(IModemLink& link, const QString& query) {
  IMonitorLog& monitor = link.MonitorLog();
  monitor.Add(query);
  QByteArray answer;
  if (link.SendAndRead(query.toLatin1(), answer) != kExchangeOk) return;
  monitor.Add(QString::fromLatin1(answer));
  monitor.Add(QString());
}

void RunDiagnostics(IModemLink& link, TProgressForm& progress) {
  if (!link.PortIsOpen) {
    ShowMessage(QStringLiteral("The modem is off. Switch it on to run the diagnostics."));
    return;
  }
  IMonitorLog& monitor = link.MonitorLog();
  monitor.Clear();
  QString failure;
  {
    TProgressShown shown(progress, QStringLiteral("Progress..."));
    try {
      for (int k = 1; k <= kQueryCount; ++k) {
        DiagnosticQuery(link, QLatin1String(kQueries[k - 1]));
        progress.SetPosition(StepPercent(k, kQueryCount));
        if (!link.PortIsOpen) {
          // The port closed under the query (the modem went away, or Modem Off).
          failure = link.PortLost ? QStringLiteral("the modem was disconnected.")
                                  : SerialErrorMessage(serial_error::kCommNotOpen);
          break;
        }
      }
    } catch (const ESerialException& e) {
      // The port went away in the middle: stop, keep what was gathered, and say so.
      failure = QString::fromLocal8Bit(e.what());
    }
  }
  const bool saved = monitor.SaveToFile(QLatin1String(kDiagnosticsFileName));
  if (!failure.isEmpty()) {
    ShowMessage(QStringLiteral("Diagnostics stopped: ") + failure);
  }
  if (!saved) {
    ShowMessage(QStringLiteral("Unable to write to ") + QLatin1String(kDiagnosticsFileName));
  }
}
