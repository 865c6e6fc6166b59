#pragma once
// A user of the real program on a private X server, with the virtual modem on its line:
// calls come in, the user records them, stops them or lets the far end hang up, edits
// memos, deletes, plays, opens the settings, pulls the modem out, kills the program and
// starts it again. Each step clicks and types as a user does (xdotool) and waits for its
// visible outcome; the test checks the files afterwards.
//
// The modem streams a voice of its own in each call, and every stream is kept with the
// moments it went out (calls), so that the files can be checked against what the
// program was sent (common/CallInvariants.h).
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "app/ProgramSupport.h"
#include "common/CallInvariants.h"
#include "vmodem/VirtualModem.h"

// A span of the run in which the user did one thing (CLOCK_MONOTONIC ns).
struct TUserStep {
  QString kind;  // "record", "stop", "hang-up", "memo", "delete", "settings", "play", ...
  int64_t startNs = 0;
  int64_t endNs = 0;
};

// The open descriptors, threads and resident memory of a running program.
struct TProcessFigures {
  int fds = 0;
  int threads = 0;
  int64_t rssKb = 0;
};

int64_t MonotonicNs();

// Why a program killed with the port open cannot be started again on the virtual modem
// here, or empty when it can: a pseudo-terminal keeps the exclusive mode the program set,
// and only a privileged virtual modem can clear it (a real device loses it at its last
// close). The tests run as root in CI.
QString WhyNoRestartAfterAKill();

class TRecorderUser {
 public:
  // The program runs in `folder`, which gets the settings of the virtual modem (caller
  // ID and stop on hang-up on) unless it has a Tavrin.ini already.
  TRecorderUser(const XServer& x, QString folder);
  ~TRecorderUser();
  TRecorderUser(const TRecorderUser&) = delete;
  TRecorderUser& operator=(const TRecorderUser&) = delete;

  // How the program is started (seams, environment); set before Start().
  ProgramOptions options;

  // Starts the program and waits until its start sequence has told the modem not to
  // answer. False, with Failure() set, when it does not come.
  bool Start();
  // SIGKILL, at once; the call being recorded ends with it.
  bool Kill();
  // SIGTERM: the program's normal shutdown. True when it ended normally.
  bool Shutdown();
  bool Running() const { return program_ && program_->Running(); }
  int64_t Pid() const;
  std::optional<TProcessFigures> Figures() const;

  // The steps. Each returns false, with Failure() set, when its outcome did not come.
  bool Ring();                         // a call comes in; its first ring has gone out
  bool Record();                       // Record; the modem streams
  bool Stop();                         // Stop; the port has been closed
  bool HangUp();                       // the far end hangs up; the program stops by itself
  bool EditMemo(const QString& text);  // File > Memo... on the selected row
  bool Delete();                       // "Delete file" on the selected row, and OK
  bool Settings();                     // Options > Settings..., Escape; the start runs again
  bool Play(int ms);                   // Play the selected row, Stop after `ms`
  bool Unplug();  // during a recording: pull the modem out, close the box, plug it in again

  // Waits until the WAV file of the call recorded last is there (Stop has saved it) and
  // notes its length; false when none came within `timeoutMs`.
  bool NoteSavedRecording(int timeoutMs);

  // The files as the next start would find them (RowsOnDisk), checked again and again
  // until all holds or `settleMs` is over; the violations of the last look. cutNs: the
  // moment the program was cut off, or now.
  QStringList CheckFiles(int64_t cutNs, int settleMs, bool insideDelete = false);

  vmodem::VirtualModem& Modem() { return *modem_; }
  const QString& Folder() const { return folder_; }
  // Every call the modem streamed, the one in progress last.
  const std::vector<THeardCall>& Calls() const { return calls_; }
  std::vector<THeardCall>& Calls() { return calls_; }
  // The memo the caller ID of a streamed call gives its recording (the caller of the ring
  // before its Record; each call has a caller of its own), or empty when none rang.
  QString CallerMemo(size_t call) const {
    return call < callerMemos_.size() ? callerMemos_[call] : QString();
  }
  const std::vector<TUserStep>& Steps() const { return steps_; }
  // Boxes the program showed that no step asked for, with their texts.
  const QStringList& Messages() const { return messages_; }
  const QString& Failure() const { return failure_; }

 private:
  bool Fail(const QString& why);
  void Begin(const QString& kind);
  void End();
  // Takes the streams the modem has sent since the last look.
  void TakeStreams();
  // Closes the boxes no step expected, and notes their texts.
  void CloseUnexpectedBoxes();
  bool WaitForBoxTitled(const QString& title, XWindow* box);
  // The program has closed the port since the modem counted `closesBefore` closes.
  bool WaitForPortClosed(long closesBefore);
  // The WAV files of the folder that hold a call's samples: whose, and how many.
  struct TRecordingFile {
    size_t call = 0;
    size_t samples = 0;
  };
  std::map<QString, TRecordingFile> RecordingFiles() const;
  int StartsSeen() const;  // start sequences that have run (commands "ats0=0" sent)

  const XServer& x_;
  QString folder_;
  QString linkPath_;
  std::unique_ptr<vmodem::VirtualModem> modem_;
  std::unique_ptr<Program> program_;
  XUser user_;
  QString window_;
  std::vector<THeardCall> calls_;
  size_t callsRung_ = 0;    // calls asked of the modem
  QString ringingCaller_;   // the memo of the caller ringing last
  std::vector<QString> callerMemos_;  // by call, as calls_
  std::vector<TUserStep> steps_;
  QStringList messages_;
  QString failure_;
};
