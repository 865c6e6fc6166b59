#pragma once
// Processes a benchmark starts: the virtual modem as a program of its own (on its pty),
// and a program whose output the benchmark reads, held at its start until the benchmark
// has set up what watches it.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

// This program's own folder.
inline std::string ExeFolder() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string p(path, static_cast<size_t>(n));
  return p.substr(0, p.rfind('/'));
}

// Whether a program of that name is on PATH.
inline bool OnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "";
  size_t from = 0;
  while (from <= dirs.size()) {
    const size_t to = std::min(dirs.find(':', from), dirs.size());
    const std::string candidate = dirs.substr(from, to - from) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    from = to + 1;
  }
  return false;
}

// A started program. It waits before its exec until Release(), so that counters can be
// opened on it first; its standard output comes through a pipe when asked for.
class Child {
 public:
  Child(const std::vector<std::string>& argv, bool pipeOutput, const std::string& folder = {}) {
    int gate[2], out[2] = {-1, -1};
    if (pipe2(gate, O_CLOEXEC) != 0) return;
    if (pipeOutput && pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      char go = 0;
      close(gate[1]);
      if (read(gate[0], &go, 1) != 1) _exit(127);
      if (pipeOutput) dup2(out[1], STDOUT_FILENO);
      if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(127);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
    close(gate[0]);
    gate_ = gate[1];
    if (pipeOutput) {
      close(out[1]);
      out_ = fdopen(out[0], "r");
    }
  }
  ~Child() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      Wait();
    }
    if (gate_ >= 0) close(gate_);
    if (out_ != nullptr) fclose(out_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  int Pid() const { return pid_; }
  void Release() {
    if (gate_ < 0) return;
    const char go = 1;
    if (write(gate_, &go, 1) != 1) std::perror("release");
    close(gate_);
    gate_ = -1;
  }
  // The next line of its output, without the line end; false at its end.
  bool ReadLine(std::string& line) {
    line.clear();
    if (out_ == nullptr) return false;
    char buffer[1024];
    if (fgets(buffer, sizeof buffer, out_) == nullptr) return false;
    line = buffer;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return true;
  }
  // True once it has ended (without waiting when `block` is false); its resource use
  // is then in Usage().
  bool Wait(bool block = true) {
    if (reaped_) return true;
    int status = 0;
    const pid_t r = wait4(pid_, &status, block ? 0 : WNOHANG, &usage_);
    if (r != pid_) return false;
    reaped_ = true;
    status_ = status;
    return true;
  }
  void Signal(int sig) {
    if (pid_ > 0 && !reaped_) kill(pid_, sig);
  }
  const rusage& Usage() const { return usage_; }
  bool ExitedWith(int code) const {
    return reaped_ && WIFEXITED(status_) && WEXITSTATUS(status_) == code;
  }

 private:
  pid_t pid_ = -1;
  int gate_ = -1;
  FILE* out_ = nullptr;
  bool reaped_ = false;
  int status_ = 0;
  rusage usage_{};
};

// The virtual modem as a program of its own; Pty() names its device ("" when it did not
// start).
class ModemProcess {
 public:
  explicit ModemProcess(std::vector<std::string> options)
      : child_(WithProgram(std::move(options)), true) {
    child_.Release();
    if (!child_.ReadLine(pty_)) pty_.clear();
  }
  ~ModemProcess() {
    child_.Signal(SIGTERM);
    child_.Wait();
  }
  ModemProcess(const ModemProcess&) = delete;
  ModemProcess& operator=(const ModemProcess&) = delete;
  const std::string& Pty() const { return pty_; }

 private:
  static std::vector<std::string> WithProgram(std::vector<std::string> options) {
    options.insert(options.begin(), ExeFolder() + "/../tools/vmodem/tavrin-vmodem");
    return options;
  }
  Child child_;
  std::string pty_;
};

inline double Seconds(const timeval& t) {
  return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

}  // namespace bench
