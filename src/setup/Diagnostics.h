#pragma once
// The diagnostics report: 29 identification and capability queries, shown in the
// monitor and saved as Diagnostics.log.
#include <QString>

class IModemLink;
class TProgressForm;

inline constexpr const char* kDiagnosticsFileName = "Diagnostics.log";

// Runs the report on the open modem. With the port closed it refuses with a message.
void RunDiagnostics(IModemLink& link, TProgressForm& progress);
void DiagnosticQuery(IModemLink& link, const QString& query);
