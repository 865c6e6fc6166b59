#pragma once
// What a process costs, read from the kernel without tracing it: CPU time, the system
// calls and futex wake calls it makes (the kernel's own syscall tracepoints, counted by a
// perf counter that follows every thread; where tracefs is not mounted, the read- and
// write-class calls of /proc/self/io), the wake-ups of each of its threads (voluntary
// context switches), and its resident memory by kind of mapping.
#include <linux/perf_event.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <dirent.h>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace bench {

inline double CpuSeconds(int who = RUSAGE_SELF) {
  rusage u{};
  if (getrusage(who, &u) != 0) return 0.0;
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The time every thread of process `pid` has run so far, from the scheduler's own
// nanosecond count (threads that have ended are not in it).
inline double ScheduledSeconds(int pid) {
  const std::string dir = "/proc/" + std::to_string(pid) + "/task";
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return 0.0;
  double total = 0.0;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    std::ifstream in(dir + "/" + e->d_name + "/schedstat");
    uint64_t ns = 0;
    if (in >> ns) total += double(ns) / 1e9;
  }
  closedir(d);
  return total;
}

// A /proc/self/status-style "Key:   value" line's number (kB for the memory keys).
inline double StatusValue(const std::string& path, const char* key) {
  std::ifstream in(path);
  std::string line;
  const size_t len = std::strlen(key);
  while (std::getline(in, line)) {
    if (line.compare(0, len, key) == 0 && line.size() > len && line[len] == ':') {
      return std::strtod(line.c_str() + len + 1, nullptr);
    }
  }
  return 0.0;
}

inline double RssMb() {
  return StatusValue("/proc/self/status", "VmRSS") / 1024.0;
}
inline double PeakRssMb() {
  return StatusValue("/proc/self/status", "VmHWM") / 1024.0;
}

// Read- and write-class system calls of the whole process so far.
inline uint64_t ReadWriteSyscalls() {
  return static_cast<uint64_t>(StatusValue("/proc/self/io", "syscr") +
                               StatusValue("/proc/self/io", "syscw"));
}

struct ThreadSwitches {
  std::string name;
  uint64_t voluntary = 0;
  uint64_t ranNs = 0;  // time on a CPU so far
};

// Every live thread of this process: its name and how often it has blocked and been
// woken (voluntary context switches).
inline std::map<int, ThreadSwitches> Threads() {
  std::map<int, ThreadSwitches> out;
  DIR* d = opendir("/proc/self/task");
  if (d == nullptr) return out;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    const std::string dir = std::string("/proc/self/task/") + e->d_name;
    ThreadSwitches t;
    std::ifstream comm(dir + "/comm");
    std::getline(comm, t.name);
    t.voluntary = static_cast<uint64_t>(StatusValue(dir + "/status", "voluntary_ctxt_switches"));
    std::ifstream sched(dir + "/schedstat");
    sched >> t.ranNs;
    out[std::atoi(e->d_name)] = t;
  }
  closedir(d);
  return out;
}

struct WakeUps {
  uint64_t total = 0;
  uint64_t busiest = 0;  // of one thread
  std::string busiestName;
  std::string perThread;  // "name=wake-ups/CPU time ..." for the report
};

// Wake-ups between two snapshots, per thread; threads that appeared meanwhile count
// from zero.
inline WakeUps WakeUpsBetween(const std::map<int, ThreadSwitches>& before,
                              const std::map<int, ThreadSwitches>& after) {
  WakeUps w;
  for (const auto& [tid, t] : after) {
    const auto was = before.find(tid);
    const uint64_t n = t.voluntary - (was != before.end() ? was->second.voluntary : 0);
    const uint64_t ranUs = (t.ranNs - (was != before.end() ? was->second.ranNs : 0)) / 1000;
    w.total += n;
    if (n > w.busiest || w.busiestName.empty()) {
      w.busiest = n;
      w.busiestName = t.name;
    }
    if (n > 0 || ranUs > 0) {
      w.perThread += t.name + "=" + std::to_string(n) + "/" + std::to_string(ranUs) + "us ";
    }
  }
  return w;
}

// A perf counter of one syscall tracepoint ("raw_syscalls/sys_enter": every system call),
// optionally filtered, that follows the calling thread and every thread it starts from
// then on (so: open it before the program starts its threads), or process `pid`.
class TracepointCounter {
 public:
  TracepointCounter(const char* event, const char* filter, int pid = 0) {
    const long id = TracepointId(event);
    if (id < 0) return;
    perf_event_attr attr{};
    attr.size = sizeof attr;
    attr.type = PERF_TYPE_TRACEPOINT;
    attr.config = static_cast<uint64_t>(id);
    attr.inherit = 1;
    attr.exclude_kernel = 0;
    fd_ = static_cast<int>(syscall(SYS_perf_event_open, &attr, pid, -1, -1, 0));
    if (fd_ >= 0 && filter != nullptr && ioctl(fd_, PERF_EVENT_IOC_SET_FILTER, filter) != 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~TracepointCounter() {
    if (fd_ >= 0) close(fd_);
  }
  TracepointCounter(const TracepointCounter&) = delete;
  TracepointCounter& operator=(const TracepointCounter&) = delete;

  bool Available() const { return fd_ >= 0; }
  // The count so far, the threads still running included.
  uint64_t Count() const {
    uint64_t n = 0;
    if (fd_ < 0 || read(fd_, &n, sizeof n) != static_cast<ssize_t>(sizeof n)) return 0;
    return n;
  }

 private:
  static long TracepointId(const char* event) {
    for (const char* root : {"/sys/kernel/tracing", "/sys/kernel/debug/tracing"}) {
      std::ifstream in(std::string(root) + "/events/" + event + "/id");
      long id = -1;
      if (in >> id) return id;
    }
    return -1;
  }
  int fd_ = -1;
};

// The system calls and the futex wake calls of a process.
struct SyscallCounters {
  explicit SyscallCounters(int pid = 0)
      : all("raw_syscalls/sys_enter", nullptr, pid),
        // FUTEX_WAKE, plain and process-private: each one wakes a waiting thread.
        futexWakes("syscalls/sys_enter_futex", "op == 1 || op == 129", pid) {}
  bool Available() const { return all.Available() && futexWakes.Available(); }
  TracepointCounter all;
  TracepointCounter futexWakes;
};

// Resident memory of this process by kind of mapping, in MB.
struct RssShare {
  std::string kind;
  double mb = 0.0;
};

inline std::string MappingKind(const std::string& path) {
  auto has = [&](const char* s) { return path.find(s) != std::string::npos; };
  if (path.empty()) return "anonymous";
  if (path == "[heap]") return "heap";
  if (path == "[stack]") return "stack";
  if (path[0] == '[') return "kernel_pages";
  if (has("libQt6")) return "qt_libraries";
  if (has("libicu")) return "icu_libraries";
  if (has("/fonts/") || has(".ttf") || has(".otf") || has("fontconfig")) return "fonts";
  if (has(".so")) return "other_libraries";
  return "other_files";
}

inline std::vector<RssShare> RssByKind() {
  std::map<std::string, double> kb;
  std::ifstream in("/proc/self/smaps");
  std::string line, kind;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    // A mapping's header starts with its address range; its fields with a capital.
    if (std::isxdigit(static_cast<unsigned char>(line[0])) && line.find('-') < 17) {
      std::istringstream fields(line);
      std::string range, perms, offset, dev, inode, path;
      fields >> range >> perms >> offset >> dev >> inode;
      std::getline(fields, path);
      path.erase(0, path.find_first_not_of(' '));
      kind = MappingKind(path);
    } else if (line.compare(0, 4, "Rss:") == 0) {
      kb[kind] += std::strtod(line.c_str() + 4, nullptr);
    } else if (line.compare(0, 14, "Private_Dirty:") == 0) {
      // What this process alone holds and wrote: the rest is shared or can be read again.
      kb["all_private_dirty"] += std::strtod(line.c_str() + 14, nullptr);
    }
  }
  std::vector<RssShare> out;
  for (const auto& [k, v] : kb) out.push_back({k, v / 1024.0});
  return out;
}

}  // namespace bench
