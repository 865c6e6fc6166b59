#include "vmodem/VirtualModem.h"
