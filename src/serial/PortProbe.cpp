#include "serial/PortProbe.h"

#include "serial/Dispatcher.h"
#include "serial/PortMap.h"
#include "serial/SerialErrors.h"

bool PortAvailable(int portNumber) {
  if (portNumber <= 0) return false;
  const auto path = PortDevicePath(portNumber);
  if (!path) return false;
  const auto dispatcher = TBaseDispatcher::Create();
  const int rc = dispatcher->OpenDevice(*path);
  if (rc == 0) {
    dispatcher->CloseDevice();
    return true;
  }
  return rc == -serial_error::kOsAccessDenied || rc == -serial_error::kOsPermission;
}
