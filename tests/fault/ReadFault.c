// A fault seam for the real program, loaded with LD_PRELOAD by the tests only: every
// read of a file whose base name is listed in TAVRIN_FAULT_READ (names separated by
// ':') fails with EIO, as on a failing disk. Opening, stat and writing still work, so
// the program sees a file that exists but cannot be read; file modes cannot do that
// for a test that runs as root.
//
// A descriptor is marked when it is opened on such a file, and a marked read fails only
// while the descriptor still refers to that file (checked with fstat), so a descriptor
// number reused behind our back (a socket, a pipe) is never hit. Files opened through
// the C library's streams are not covered; the program reads its files with open/read.
//
// Each call goes on to the next definition (dlsym RTLD_NEXT): the C library's, or the
// sanitizer runtime's when that is preloaded before this library.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#define kMaxFds 4096

// Per descriptor: the inode + 1 of the faulty file it was opened on (0: unmarked), and
// its device.
static _Atomic unsigned long long marked_ino[kMaxFds];
static _Atomic unsigned long long marked_dev[kMaxFds];

// Declares next_<name>, the definition this one passes the call on to.
#define NEXT(name, result, params)     \
  static result(*next_##name) params; \
  if (!next_##name) next_##name = (result(*) params)dlsym(RTLD_NEXT, #name)

static int IsFaultyName(const char* path) {
  const char* list = getenv("TAVRIN_FAULT_READ");
  if (!list || !path) return 0;
  const char* slash = strrchr(path, '/');
  const char* base = slash ? slash + 1 : path;
  const size_t n = strlen(base);
  while (*list) {
    const char* end = strchr(list, ':');
    const size_t len = end ? (size_t)(end - list) : strlen(list);
    if (len == n && len > 0 && memcmp(list, base, n) == 0) return 1;
    if (!end) break;
    list = end + 1;
  }
  return 0;
}

// After an open: marks or unmarks the descriptor it gave.
static int Opened(int fd, const char* path, int flags) {
  if (fd < 0 || fd >= kMaxFds) return fd;
  const int saved = errno;
  struct stat st;
  if ((flags & O_ACCMODE) != O_WRONLY && IsFaultyName(path) && fstat(fd, &st) == 0) {
    atomic_store(&marked_dev[fd], (unsigned long long)st.st_dev);
    atomic_store(&marked_ino[fd], (unsigned long long)st.st_ino + 1);
  } else {
    atomic_store(&marked_ino[fd], 0);
  }
  errno = saved;
  return fd;
}

// True (errno EIO) when a read of fd must fail.
static int Faulty(int fd) {
  if (fd < 0 || fd >= kMaxFds) return 0;
  const unsigned long long ino = atomic_load(&marked_ino[fd]);
  if (ino == 0) return 0;
  struct stat st;
  if (fstat(fd, &st) != 0 || (unsigned long long)st.st_ino + 1 != ino ||
      (unsigned long long)st.st_dev != atomic_load(&marked_dev[fd])) {
    atomic_store(&marked_ino[fd], 0);
    return 0;
  }
  errno = EIO;
  return 1;
}

static mode_t ModeArgument(int flags, va_list ap) {
  return (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(ap, int) : 0;
}

int open(const char* path, int flags, ...) {
  NEXT(open, int, (const char*, int, ...));
  va_list ap;
  va_start(ap, flags);
  const mode_t mode = ModeArgument(flags, ap);
  va_end(ap);
  return Opened(next_open(path, flags, mode), path, flags);
}

int open64(const char* path, int flags, ...) {
  NEXT(open64, int, (const char*, int, ...));
  va_list ap;
  va_start(ap, flags);
  const mode_t mode = ModeArgument(flags, ap);
  va_end(ap);
  return Opened(next_open64(path, flags, mode), path, flags);
}

int openat(int dir, const char* path, int flags, ...) {
  NEXT(openat, int, (int, const char*, int, ...));
  va_list ap;
  va_start(ap, flags);
  const mode_t mode = ModeArgument(flags, ap);
  va_end(ap);
  return Opened(next_openat(dir, path, flags, mode), path, flags);
}

int openat64(int dir, const char* path, int flags, ...) {
  NEXT(openat64, int, (int, const char*, int, ...));
  va_list ap;
  va_start(ap, flags);
  const mode_t mode = ModeArgument(flags, ap);
  va_end(ap);
  return Opened(next_openat64(dir, path, flags, mode), path, flags);
}

// The checked forms that fortified callers use.
int __open_2(const char* path, int flags) {
  NEXT(__open_2, int, (const char*, int));
  return Opened(next___open_2(path, flags), path, flags);
}

int __open64_2(const char* path, int flags) {
  NEXT(__open64_2, int, (const char*, int));
  return Opened(next___open64_2(path, flags), path, flags);
}

int __openat_2(int dir, const char* path, int flags) {
  NEXT(__openat_2, int, (int, const char*, int));
  return Opened(next___openat_2(dir, path, flags), path, flags);
}

int __openat64_2(int dir, const char* path, int flags) {
  NEXT(__openat64_2, int, (int, const char*, int));
  return Opened(next___openat64_2(dir, path, flags), path, flags);
}

int close(int fd) {
  NEXT(close, int, (int));
  if (fd >= 0 && fd < kMaxFds) atomic_store(&marked_ino[fd], 0);
  return next_close(fd);
}

ssize_t read(int fd, void* buf, size_t n) {
  NEXT(read, ssize_t, (int, void*, size_t));
  return Faulty(fd) ? -1 : next_read(fd, buf, n);
}

ssize_t __read_chk(int fd, void* buf, size_t n, size_t buflen) {
  NEXT(__read_chk, ssize_t, (int, void*, size_t, size_t));
  return Faulty(fd) ? -1 : next___read_chk(fd, buf, n, buflen);
}

ssize_t pread(int fd, void* buf, size_t n, off_t offset) {
  NEXT(pread, ssize_t, (int, void*, size_t, off_t));
  return Faulty(fd) ? -1 : next_pread(fd, buf, n, offset);
}

ssize_t pread64(int fd, void* buf, size_t n, off64_t offset) {
  NEXT(pread64, ssize_t, (int, void*, size_t, off64_t));
  return Faulty(fd) ? -1 : next_pread64(fd, buf, n, offset);
}

ssize_t readv(int fd, const struct iovec* iov, int count) {
  NEXT(readv, ssize_t, (int, const struct iovec*, int));
  return Faulty(fd) ? -1 : next_readv(fd, iov, count);
}

ssize_t preadv(int fd, const struct iovec* iov, int count, off_t offset) {
  NEXT(preadv, ssize_t, (int, const struct iovec*, int, off_t));
  return Faulty(fd) ? -1 : next_preadv(fd, iov, count, offset);
}
