#pragma once
// Whether COMn exists on this machine, for the port selection dialog: the device is
// opened through a temporary dispatcher (no threads, no line settings) and closed at
// once. A device held by someone else, or one the user may not open, still exists and
// counts as available; a missing one does not.

bool PortAvailable(int portNumber);
