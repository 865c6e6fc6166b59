// A power-cut model for the tests, loaded into the real program with LD_PRELOAD: it
// records what the program has made durable, so that a test can rebuild the program's
// folder as a power cut at any moment would have left it (tests/powercut/PowerCutLog.h).
//
// The model: a file's content is durable once the file is fsynced or fdatasynced; a name
// in a folder (a create, a rename, an unlink) is durable once that folder is fsynced;
// syncfs and sync make everything durable. Nothing else is: not a write, not a close, not
// a rename on its own. The folder as it was when the first process loaded this library
// is durable (the test made it before the run).
//
// TAVRIN_POWER_CUT_LOG names a folder for the log; without it the library does nothing.
// TAVRIN_POWER_CUT_ROOT names the folder modelled (default: the current folder when the
// library is loaded); files elsewhere are not recorded.
//
// The log is the file "events" in that folder, one line per durable snapshot, each
// appended by one write, so that several processes may share a log:
//   <ns> R <id>               the modelled folder is the directory <id>
//   <ns> F <id> <snapshot>    the content of file <id> is that of the file <snapshot>
//   <ns> D <id> <snapshot>    the entries of directory <id> are those listed in <snapshot>
// <ns> is CLOCK_MONOTONIC in nanoseconds at the moment the sync returned; <id> is
// device:inode:birth time (the birth time tells a new file from an old one whose inode
// number it reuses). A directory's snapshot has one line per entry,
//   <type> <id> <mode> <name>[ <link target>]
// with type f (file), d (directory) or l (symbolic link), the mode in octal and the name
// and target %-escaped.
//
// A snapshot is taken just before the sync is passed on, so it holds no more than the
// sync covers even when another thread writes meanwhile; it counts only if the sync
// succeeds. No lock is held across a sync: the program's threads sync as they would
// without the seam. Writes through O_SYNC or O_DSYNC descriptors, sync_file_range and
// msync are not modelled as durable (the program uses none of them): they would show up
// as lost data, never as data wrongly kept.
//
// Each call goes on to the next definition (dlsym RTLD_NEXT): the C library's, or the
// sanitizer runtime's when that is preloaded before this library.
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#define kEventsName "events"
#define kLogPathSize (PATH_MAX + NAME_MAX + 2)
#define kDeletedSuffix " (deleted)"

static char log_dir[PATH_MAX];
static char root[PATH_MAX];
static size_t root_len;
static int enabled;
static atomic_uint snapshot_count;  // of this process, for the snapshot names

// Declares next_<name>, the definition this one passes the call on to.
#define NEXT(name, result, params)     \
  static result(*next_##name) params; \
  if (!next_##name) next_##name = (result(*) params)dlsym(RTLD_NEXT, #name)

typedef struct {
  char text[96];
} Id;

static long long NowNs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

// The identity and mode of a file (the link itself for a symbolic link); -1 when gone.
static int IdOf(int dir, const char* path, int flags, Id* id, mode_t* mode) {
  struct statx sx;
  if (statx(dir, path, flags | AT_SYMLINK_NOFOLLOW,
            STATX_TYPE | STATX_MODE | STATX_INO | STATX_BTIME, &sx) != 0) {
    return -1;
  }
  long long birth_s = 0;
  unsigned birth_ns = 0;
  if (sx.stx_mask & STATX_BTIME) {
    birth_s = sx.stx_btime.tv_sec;
    birth_ns = sx.stx_btime.tv_nsec;
  }
  snprintf(id->text, sizeof id->text, "%x.%x:%llx:%llx.%x", sx.stx_dev_major, sx.stx_dev_minor,
           (unsigned long long)sx.stx_ino, birth_s, birth_ns);
  if (mode) *mode = sx.stx_mode;
  return 0;
}

// Bytes up to the blank, '%' and from DEL on become %XX: names stay one word.
static void Escape(const char* in, char* out, size_t size) {
  static const char hex[] = "0123456789ABCDEF";
  size_t n = 0;
  for (const unsigned char* p = (const unsigned char*)in; *p && n + 4 < size; ++p) {
    if (*p <= ' ' || *p == '%' || *p >= 0x7f) {
      out[n++] = '%';
      out[n++] = hex[*p >> 4];
      out[n++] = hex[*p & 15];
    } else {
      out[n++] = (char)*p;
    }
  }
  out[n] = '\0';
}

static int WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t w = write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return -1;
    p += w;
    n -= (size_t)w;
  }
  return 0;
}

// A file of the log folder.
static void LogPath(const char* name, char* out) {
  snprintf(out, kLogPathSize, "%s/%s", log_dir, name);
}

// A new snapshot file of the log, open for writing; its name in `name`. -1 on failure.
static int NewSnapshot(char* name, size_t size) {
  snprintf(name, size, "s%d-%u", (int)getpid(), atomic_fetch_add(&snapshot_count, 1) + 1);
  char path[kLogPathSize];
  LogPath(name, path);
  return open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
}

// Appends one line to the events file (one write: lines of several processes never mix).
static void AppendEvent(const char* line) {
  char path[kLogPathSize];
  LogPath(kEventsName, path);
  const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  (void)WriteAll(fd, line, strlen(line));
  close(fd);
}

static void Event(long long ns, char kind, const Id* id, const char* snapshot) {
  char line[PATH_MAX + 160];
  snprintf(line, sizeof line, "%lld %c %s %s\n", ns, kind, id->text, snapshot);
  AppendEvent(line);
}

// Copies the file open as `in` into a new snapshot; its name in `name`. -1 on failure.
static int SnapshotContent(int in, char* name, size_t size) {
  const int out = NewSnapshot(name, size);
  if (out < 0) return -1;
  char buf[65536];
  off_t at = 0;
  int result = 0;
  for (;;) {
    const ssize_t r = pread(in, buf, sizeof buf, at);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) result = -1;
    if (r <= 0) break;
    if (WriteAll(out, buf, (size_t)r) != 0) {
      result = -1;
      break;
    }
    at += r;
  }
  close(out);
  return result;
}

// Lists the entries of the directory open as `dir` into a new snapshot, and closes `dir`.
// -1 on failure.
static int SnapshotTable(int dir, char* name, size_t size) {
  const int out = NewSnapshot(name, size);
  if (out < 0) return -1;
  DIR* d = fdopendir(dir);
  if (!d) {
    close(dir);
    close(out);
    return -1;
  }
  struct dirent* e;
  while ((e = readdir(d)) != NULL) {
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
    Id id;
    mode_t mode;
    if (IdOf(dirfd(d), e->d_name, 0, &id, &mode) != 0) continue;  // gone meanwhile
    const char type = S_ISDIR(mode) ? 'd' : S_ISLNK(mode) ? 'l' : 'f';
    char escaped[3 * NAME_MAX + 4];
    Escape(e->d_name, escaped, sizeof escaped);
    char target[PATH_MAX] = "";
    char escaped_target[3 * PATH_MAX + 4] = "";
    if (type == 'l') {
      const ssize_t n = readlinkat(dirfd(d), e->d_name, target, sizeof target - 1);
      target[n > 0 ? n : 0] = '\0';
      escaped_target[0] = ' ';
      Escape(target, escaped_target + 1, sizeof escaped_target - 1);
    }
    char line[sizeof escaped + sizeof escaped_target + 160];
    snprintf(line, sizeof line, "%c %s %o %s%s\n", type, id.text, (unsigned)(mode & 07777),
             escaped, escaped_target);
    (void)WriteAll(out, line, strlen(line));
  }
  closedir(d);  // closes `dir` too
  close(out);
  return 0;
}

// The path a descriptor was opened on, without " (deleted)"; empty when unknown.
static void PathOf(int fd, char* path, size_t size) {
  char proc[64];
  snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(proc, path, size - 1);
  path[n > 0 ? n : 0] = '\0';
  const size_t len = strlen(path);
  const size_t suffix = strlen(kDeletedSuffix);
  if (len > suffix && strcmp(path + len - suffix, kDeletedSuffix) == 0) path[len - suffix] = '\0';
}

static int InsideRoot(const char* path) {
  return strncmp(path, root, root_len) == 0 && (path[root_len] == '/' || path[root_len] == '\0');
}

// What a sync of fd is about to make durable, taken before the sync.
typedef struct {
  char kind;  // 0: nothing to record
  Id id;
  char snapshot[64];
} Pending;

static Pending Prepare(int fd) {
  Pending p;
  p.kind = 0;
  if (!enabled) return p;
  const int saved = errno;
  char path[PATH_MAX];
  PathOf(fd, path, sizeof path);
  mode_t mode;
  if (InsideRoot(path) && IdOf(fd, "", AT_EMPTY_PATH, &p.id, &mode) == 0 &&
      (S_ISREG(mode) || S_ISDIR(mode))) {
    // A descriptor of its own: fd may be write-only, and its offset is the program's.
    char proc[64];
    snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    const int own = open(proc, O_RDONLY | O_CLOEXEC | (S_ISDIR(mode) ? O_DIRECTORY : 0));
    if (own >= 0) {
      const int ok = S_ISDIR(mode) ? SnapshotTable(own, p.snapshot, sizeof p.snapshot)
                                   : SnapshotContent(own, p.snapshot, sizeof p.snapshot);
      if (!S_ISDIR(mode)) close(own);
      if (ok == 0) p.kind = S_ISDIR(mode) ? 'D' : 'F';
    }
  }
  errno = saved;
  return p;
}

static int Finish(const Pending* p, int result) {
  if (p->kind && result == 0) {
    const int saved = errno;
    Event(NowNs(), p->kind, &p->id, p->snapshot);
    errno = saved;
  }
  return result;
}

// Lines of events still to be timed: a whole tree is taken before the sync that covers
// it, and its events get the time the sync returned.
typedef struct {
  char* text;
  size_t len, cap;
} Lines;

static void AddLine(Lines* lines, char kind, const Id* id, const char* snapshot) {
  char line[sizeof id->text + 96];
  const int n = snprintf(line, sizeof line, "%c %s %s\n", kind, id->text, snapshot);
  if (n <= 0) return;
  if (lines->len + (size_t)n + 1 > lines->cap) {
    const size_t cap = (lines->cap + (size_t)n + 1) * 2;
    char* grown = realloc(lines->text, cap);
    if (!grown) return;
    lines->text = grown;
    lines->cap = cap;
  }
  memcpy(lines->text + lines->len, line, (size_t)n + 1);
  lines->len += (size_t)n;
}

// Appends each line with the time in front, and frees them.
static void TimeLines(Lines* lines, long long ns) {
  for (char* line = lines->text; line && *line;) {
    char* end = strchr(line, '\n');
    if (!end) break;
    *end = '\0';
    char timed[sizeof(Id) + 128];
    snprintf(timed, sizeof timed, "%lld %s\n", ns, line);
    AppendEvent(timed);
    line = end + 1;
  }
  free(lines->text);
  lines->text = NULL;
  lines->len = lines->cap = 0;
}

// Every directory and file below the folder open as `dir`.
static void SnapshotTree(int dir, Lines* lines) {
  Id id;
  mode_t mode;
  if (IdOf(dir, "", AT_EMPTY_PATH, &id, &mode) != 0) return;
  const int listing = dup(dir);
  char snapshot[64];
  if (listing < 0 || SnapshotTable(listing, snapshot, sizeof snapshot) != 0) return;
  AddLine(lines, 'D', &id, snapshot);
  const int walk = dup(dir);
  DIR* d = walk >= 0 ? fdopendir(walk) : NULL;
  if (!d) {
    if (walk >= 0) close(walk);
    return;
  }
  rewinddir(d);  // the offset is shared with `dir`
  struct dirent* e;
  while ((e = readdir(d)) != NULL) {
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
    Id entry;
    if (IdOf(dirfd(d), e->d_name, 0, &entry, &mode) != 0) continue;
    if (S_ISDIR(mode)) {
      const int sub = openat(dirfd(d), e->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (sub >= 0) {
        SnapshotTree(sub, lines);
        close(sub);
      }
    } else if (S_ISREG(mode)) {
      const int file = openat(dirfd(d), e->d_name, O_RDONLY | O_CLOEXEC);
      if (file >= 0 && SnapshotContent(file, snapshot, sizeof snapshot) == 0) {
        AddLine(lines, 'F', &entry, snapshot);
      }
      if (file >= 0) close(file);
    }
  }
  closedir(d);
}

static Lines SnapshotRoot(void) {
  Lines lines = {NULL, 0, 0};
  const int dir = open(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return lines;
  SnapshotTree(dir, &lines);
  close(dir);
  return lines;
}

__attribute__((constructor)) static void Start(void) {
  const char* log = getenv("TAVRIN_POWER_CUT_LOG");
  if (!log || !*log) return;
  const char* folder = getenv("TAVRIN_POWER_CUT_ROOT");
  if (!realpath(folder && *folder ? folder : ".", root)) return;
  root_len = strlen(root);
  (void)mkdir(log, 0700);
  if (!realpath(log, log_dir)) return;
  enabled = 1;
  // The first process to load the library records the folder as it found it.
  char path[kLogPathSize];
  LogPath(kEventsName, path);
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return;
  close(fd);
  const long long ns = NowNs();
  Id id;
  if (IdOf(AT_FDCWD, root, 0, &id, NULL) != 0) return;
  char line[160];
  snprintf(line, sizeof line, "%lld R %s\n", ns, id.text);
  AppendEvent(line);
  Lines initial = SnapshotRoot();
  TimeLines(&initial, ns);
}

int fsync(int fd) {
  NEXT(fsync, int, (int));
  const Pending p = Prepare(fd);
  return Finish(&p, next_fsync(fd));
}

int fdatasync(int fd) {
  NEXT(fdatasync, int, (int));
  const Pending p = Prepare(fd);
  return Finish(&p, next_fdatasync(fd));
}

// Both make everything durable; what the folder holds before the call is what they cover.
int syncfs(int fd) {
  NEXT(syncfs, int, (int));
  const int saved = errno;
  Lines before = enabled ? SnapshotRoot() : (Lines){NULL, 0, 0};
  errno = saved;
  const int result = next_syncfs(fd);
  const int after = errno;
  if (result == 0) {
    TimeLines(&before, NowNs());
  } else {
    free(before.text);
  }
  errno = after;
  return result;
}

void sync(void) {
  NEXT(sync, void, (void));
  const int saved = errno;
  Lines before = enabled ? SnapshotRoot() : (Lines){NULL, 0, 0};
  next_sync();
  TimeLines(&before, NowNs());
  errno = saved;
}
