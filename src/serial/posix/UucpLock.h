#pragma once
// The UUCP lock file convention (/var/lock/LCK..<device>) honoured by getty-style
// voice tools and terminal programs, so that two programs never share a modem.
#include <string>

namespace posix {

class UucpLock {
 public:
  UucpLock() = default;
  UucpLock(const UucpLock&) = delete;
  UucpLock& operator=(const UucpLock&) = delete;
  ~UucpLock() { Release(); }

  // 0 when the lock is ours (or the lock folder is not writable: nothing to honour),
  // else an OS error number (5 when another live process holds the device).
  int Acquire(const std::string& devicePath);
  void Release();

  // The lock file name for a device path (symlinks resolved, "/dev/" dropped, other
  // slashes as underscores), in the given folder.
  static std::string LockFileFor(const std::string& devicePath, const std::string& folder);
  static const char* DefaultFolder();

 private:
  std::string path_;
};

}  // namespace posix
