#pragma once
// The pseudo-terminal pair the modem sits on: the master side is the modem's end of
// the cable, the slave side is the "serial port" the computer opens.
#include <string>

#include "vmodem/UniqueFd.h"

namespace vmodem {

class PseudoTerminal {
 public:
  // Opens a new pair, master non-blocking and raw at 115200 bit/s. Throws
  // std::system_error when the system refuses.
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  int masterFd() const { return master_.get(); }
  const std::string& slavePath() const { return slavePath_; }

  // Makes linkPath a symbolic link to the slave. A stale link there is replaced; any
  // other file is left alone and reported (std::system_error).
  void link(const std::string& linkPath);
  // Removes the link made by link(), if it still points at this slave.
  void unlink();
  const std::string& linkPath() const { return linkPath_; }

  // Puts the line back to raw 115200 8N1, no echo (the computer may have changed it).
  void makeRaw();
  // Clears the exclusive mode (TIOCEXCL) the computer may have left on the slave. A real
  // serial device loses it with its last close; a pty keeps it as long as its master is
  // open, so a program killed with the port open could never open it again. Takes one
  // open and close of the slave, which only a privileged process may make while the mode
  // is on; false when that is refused (the mode then stays). *opened: the slave was
  // opened (and closed again).
  bool clearExclusive(bool* opened);
  // Closes the master: the computer's side sees the device vanish.
  void closeMaster();
  bool open() const { return master_.valid(); }

 private:
  UniqueFd master_;
  std::string slavePath_;
  std::string linkPath_;
};

// Watches the slave device for opens and closes by any process, so that a close
// followed at once by a new open is still seen as a close.
class SlaveWatcher {
 public:
  explicit SlaveWatcher(const std::string& slavePath);
  int fd() const { return fd_.get(); }
  bool available() const { return fd_.valid(); }

  struct Events {
    int opens = 0;
    int closes = 0;
    // True when the last open file of the slave closed at some point in this batch.
    bool becameUnused = false;
  };
  // Reads the queued events (non-blocking).
  Events read();
  int openFiles() const { return openFiles_; }
  // The modem itself opens and closes the slave once (clearExclusive): that close is no
  // close of the computer's.
  void expectOwnOpen() { ++ownCloses_; }

 private:
  UniqueFd fd_;
  int openFiles_ = 0;
  int ownCloses_ = 0;
};

}  // namespace vmodem
