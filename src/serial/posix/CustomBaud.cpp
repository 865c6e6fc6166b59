// Kept apart: the kernel's termios2 header cannot share a file with <termios.h>.
#include "serial/posix/CustomBaud.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cerrno>

#include "serial/posix/SysCall.h"

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace posix {

int SetCustomBaud(int fd, int baud) {
  struct termios2 tio {};
  if (RetryEintr([&] { return ::ioctl(fd, TCGETS2, &tio); }) != 0) return errno;
  tio.c_cflag &= ~CBAUD;
  tio.c_cflag |= BOTHER;
  tio.c_ispeed = static_cast<speed_t>(baud);
  tio.c_ospeed = static_cast<speed_t>(baud);
  tio.c_cflag &= ~(CBAUD << IBSHIFT);
  tio.c_cflag |= BOTHER << IBSHIFT;
  if (RetryEintr([&] { return ::ioctl(fd, TCSETS2, &tio); }) != 0) return errno;
  return 0;
}

}  // namespace posix
