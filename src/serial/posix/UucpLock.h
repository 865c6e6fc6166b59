#pragma once
// The UUCP lock file convention (/var/lock/LCK..<device>) honoured by getty-style
// voice tools and terminal programs, so that two programs never share a modem:
//  - a lock of a live process refuses the open, also where we may not write locks, and
//    the refusal names the lock file and the process (its pid may have been reused);
//  - a lock whose process is gone is stale and removed; an empty or half-written one
//    only once it is older than a few seconds (its writer may be at work right now);
//  - the pid is the leading number of a text lock, whatever follows it ("%10d\n",
//    "%10d NAME USER\n", no newline at all), or the old 4-byte binary form;
//  - a stale lock is removed so that a fresh lock of someone else never goes with it:
//    the remover holds a flock on the stale file, checks under it that the name still
//    holds that very file and that it is still stale, renames it to a name of its own
//    and unlinks it only when the file it moved is the one it checked (see Acquire);
//  - our lock is written under a temporary name created exclusively (never through a
//    symbolic link) and linked into place; release removes it only while it is ours.
#include <sys/types.h>

#include <string>

namespace posix {

class UucpLock {
 public:
  UucpLock() = default;
  UucpLock(const UucpLock&) = delete;
  UucpLock& operator=(const UucpLock&) = delete;
  ~UucpLock() { Release(); }

  // 0 when the lock is ours, or when nobody holds the device and the lock folder does not
  // let us write one; else an OS error number (5 when another live process holds it).
  int Acquire(const std::string& devicePath);
  void Release();
  // After an Acquire that the lock of another process refused, with its pid readable:
  // "LOCKFILE is held by process PID"; empty otherwise.
  const std::string& Refusal() const { return refusal_; }

  // The lock file name for a device path (symlinks resolved, "/dev/" dropped, other
  // slashes as underscores), in the given folder.
  static std::string LockFileFor(const std::string& devicePath, const std::string& folder);
  // The temporary name under which a lock file is written before it is linked.
  static std::string TempFileFor(const std::string& lockPath);
  // The name a stale lock is renamed to before it is unlinked.
  static std::string AsideFileFor(const std::string& lockPath);
  // The folder locks are looked for and written in: /var/lock, unless tests point it at
  // a scratch folder (empty: back to /var/lock). Main thread, while no port is open.
  static const std::string& Folder();
  static void SetFolder(const std::string& folder);

 private:
  std::string path_;
  dev_t device_ = 0;  // the identity of our lock file while we hold it
  ino_t inode_ = 0;
  std::string refusal_;
};

}  // namespace posix
