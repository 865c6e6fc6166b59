#pragma once
// Line speeds that termios has no constant for (14400 and 56000 bit/s among the
// modem rates), set through the kernel's arbitrary-rate interface.

namespace posix {
// 0 or errno.
int SetCustomBaud(int fd, int baud);
}  // namespace posix
