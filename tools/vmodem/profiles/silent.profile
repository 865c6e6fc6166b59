# A device that opens like a serial port but never answers anything.
description=Silent device (never answers)
silent=1
