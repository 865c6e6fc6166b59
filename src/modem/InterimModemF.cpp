// Interim modem link so that the program builds before the real command channel lands:
// no exchange is ever answered. Replaced by the real link.
#include "modem/ModemF.h"
#include "modem/MonitorForm.h"

TModemF::TModemF(TMonitorForm* monitor, QObject* owner) : QObject(owner), Monitor(monitor) {
  ComPort1.SetBaud(115200);
  ComPort1.SetAutoOpen(false);
  ComPort1.SetTapiMode(tmNone);
  Timer1.SetInterval(10);
  FormCreate();
}
TModemF::~TModemF() = default;
IMonitorLog& TModemF::MonitorLog() { return *Monitor; }
int TModemF::SendAndRead(const QByteArray&, QByteArray&) { return kExchangeTimeout; }
int TModemF::SendAndExpect(const QByteArray&, const QString&, const QString&) { return kExchangeTimeout; }
void TModemF::WaitTicks(int) {}
void TModemF::FormCreate() { BaudRate = 115200; }
void TModemF::ThreadedTimer1Timer() {}
void TModemF::ComPort1TriggerAvail(uint16_t) {}
void TModemF::ComPort1PortOpen() {}
void TModemF::ComPort1PortClose() {}
