#pragma once
// A voice modem on a pseudo-terminal: the computer opens the slave side as its serial
// port; the modem answers on the master side from its own thread, as the chosen
// profile's modem does.
//
//   vmodem::Options options;
//   options.profile = "lucent";
//   vmodem::VirtualModem modem(options);   // the pty exists from here on
//   modem.start();                         // answering from here on
//   open(modem.slavePath().c_str(), ...);
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "vmodem/CommandEngine.h"
#include "vmodem/LineSource.h"
#include "vmodem/Profile.h"
#include "vmodem/PseudoTerminal.h"
#include "vmodem/Transcript.h"
#include "vmodem/UniqueFd.h"
#include "vmodem/VoiceStreamer.h"

namespace vmodem {

// Misbehaviour on demand, for the tests of the computer's side.
struct Faults {
  bool noAnswer = false;     // reads everything, sends nothing
  size_t splitBytes = 0;     // answers sent in chunks of this many bytes...
  size_t splitBytesMax = 0;  // ...or, when larger, of sizes drawn from this range...
  int splitGapMs = 30;       // ...this far apart...
  int splitGapMaxMs = -1;    // ...or, when larger, gaps drawn from this range
  unsigned seed = 1;         // of the drawn sizes and gaps
  int delayMs = 0;           // before each answer
  size_t garbageBytes = 0;   // noise sent as its own chunk before each answer
  // Into a voice stream the modem goes quiet and, a moment later (once what it sent has
  // been read), its device vanishes.
  double unplugAfterSeconds = -1;
  double replugAfterSeconds = -1;  // after an unplug: a new device behind the same link
};

// Who calls.
struct Caller {
  std::string number = "5551234";  // "P" withheld, "O" unavailable
  std::string name = "JOHN DOE";   // none when empty
};

// Incoming calls: the line rings, and a modem with caller ID on (+VCID=1) reports the
// caller between the first two rings. A call that comes while the modem has the line
// finds it busy and does not ring.
struct RingOptions {
  double atSeconds = -1;           // the first call, after start; none when negative
  std::vector<double> moreAtSeconds;  // the calls after it, each so long after start
  int rings = 10;                  // then the caller gives up, unless the modem took the line
  double periodSeconds = 6.0;      // from one ring to the next
  std::string number = "5551234";  // who makes the first call: "P" withheld, "O" unavailable
  std::string name = "JOHN DOE";   // none when empty
  // Who makes the second call, the third...; a call beyond them is the last one's again.
  std::vector<Caller> moreCallers;
};

struct Options {
  std::string profile = "conexant";  // a name from the profiles folder or a path
  std::string profileText;           // when set: the profile itself, instead of a file
  std::string linkPath;              // when set: a symbolic link to the slave
  LineOptions line;                  // what the modem hears
  RingOptions ring;
  Faults faults;
  bool fullLineRate = false;   // stream as fast as 115200 bit/s carries
  // When the computer closes the port the modem goes back to its power-on state (echo
  // on, data class), as a modem that resets on the DTR drop does. True: it only ends a
  // stream and keeps its settings, as a modem told to ignore DTR does.
  bool keepStateOnClose = false;
  // When the computer closes the port the modem hangs up, forgets +VCID and switches its
  // echo on, as after a reset, and keeps the rest of its settings (before keepStateOnClose).
  bool vcidResetOnClose = false;
  std::string transcriptPath;  // every byte both ways, time-stamped
  std::string capturePath;     // the bytes sent after each "+VRX", replaced each time
};

enum class ModemState {
  Command,       // answering commands
  Receiving,     // streaming samples (+VRX)
  Transmitting,  // taking samples (+VTX)
  Unplugged,     // the device is gone
  Stopped,       // not running
};

struct ModemStatus {
  ModemState state = ModemState::Stopped;
  bool portOpen = false;  // the computer has the slave open
  bool echo = true;
  std::string fclass = "0";
  int line = 0;
  int method = -1;
  int rate = 0;
  long commands = 0;         // command lines executed since start
  long closes = 0;           // times the computer closed the port
  long resets = 0;           // returns to power-on state because the port closed
  long streams = 0;          // data phases started
  long replugs = 0;          // new devices after an unplug
  size_t streamedBytes = 0;  // wire bytes sent since the last "+VRX" began
  long long samples = 0;     // samples produced in the current or last stream
  long rings = 0;            // RINGs sent
  long callerIds = 0;        // caller ID blocks sent
  bool ringing = false;      // a call is coming in: the line rings (heard or not)
  bool hungUp = false;       // the far end has hung up in the current or last stream
  std::chrono::steady_clock::time_point streamBegan{};  // of the current or last stream
};

class VirtualModem {
 public:
  using Clock = std::chrono::steady_clock;

  // How far the current or last stream had gone out at a moment.
  struct StreamMark {
    Clock::time_point at;
    size_t bytes = 0;  // of streamed() sent by then
  };

  // Loads the profile and opens the pty (and the link). Throws std::runtime_error or
  // std::system_error when either is not possible.
  explicit VirtualModem(Options options = {});
  ~VirtualModem();
  VirtualModem(const VirtualModem&) = delete;
  VirtualModem& operator=(const VirtualModem&) = delete;

  void start();
  // Prompt: the modem thread wakes at once and ends.
  void stop();

  // The device the computer opens; a new one after each replug.
  std::string slavePath() const;
  const std::string& linkPath() const { return options_.linkPath; }
  const Profile& profile() const { return profile_; }

  ModemStatus status() const;
  // Waits until the predicate holds for the status (true) or the time is up (false).
  bool waitFor(const std::function<bool(const ModemStatus&)>& predicate,
               std::chrono::milliseconds timeout) const;
  // The command lines received, as typed ("AT" included, no CR).
  std::vector<std::string> commands() const;
  // The exact bytes sent since the last "+VRX" was executed: the CONNECT, the
  // DLE-shielded samples, and the closing <DLE><ETX> and OK.
  std::string streamed() const;
  // When the bytes of streamed() went out: one mark after each write, in order.
  std::vector<StreamMark> streamMarks() const;

  void setFaults(const Faults& faults);
  // The device vanishes now (as a USB modem pulled out), and comes back as a new device
  // behind the same link if the faults ask for a replug.
  void unplug();
  // A call comes in now, as the ring options describe it (their times aside), from the
  // next caller of their list: it rings at once, then once a period, with the caller ID
  // after the first ring, until the modem takes the line or the rings run out. On a busy
  // line it does not ring.
  void ring();
  // The far end of the current stream hangs up now: its hang-up code once, then silence.
  // Nothing happens outside a stream.
  void hangUp();

 private:
  struct Pending {
    Clock::time_point due;
    std::string bytes;
    bool capture = false;
    bool stream = false;
    bool answerStart = false;  // the first bytes of a command's answer
  };

  void run();
  void wake();
  // One more call comes in at `at` (ring()), taking the next caller of the options.
  void callDueAt(Clock::time_point at);
  void handleInput(const std::string& bytes, Clock::time_point now);
  void handleCommandByte(char c, Clock::time_point now);
  void handleDataByte(char c, Clock::time_point now);
  void endDataPhase(Clock::time_point now);
  void queue(std::string bytes, Clock::time_point due, bool stream = false);
  // pauseAt: where the profile's pause before a last line goes (npos: none).
  void queueAnswer(const std::string& answer, size_t pauseAt, Clock::time_point now);
  Faults currentFaults() const;  // the faults now set (setFaults may come from any thread)
  void queuePieces(const std::string& bytes, const Faults& faults, Clock::time_point& due);
  // What the modem sends unasked (RING, caller ID): due now, also ahead of an answer
  // still being thought about (the delay fault), never inside one.
  void queueUnsolicited(const std::string& bytes, const Faults& faults, Clock::time_point now);
  void flushOutput(Clock::time_point now);
  void readMaster(Clock::time_point now);
  void watchSlave();
  void computerClosed();
  void tickStream(Clock::time_point now);
  void doUnplug(Clock::time_point now);
  void tickRing(Clock::time_point now);
  // The next call of the options has come: it rings from now on, unless the line is busy.
  void beginCall(Clock::time_point now);
  bool offHook() const;
  std::string callerIdBlock() const;
  void replug();
  int pollTimeoutMs(Clock::time_point now) const;
  void publish();

  Options options_;
  Profile profile_;
  std::unique_ptr<PseudoTerminal> pty_;
  std::unique_ptr<SlaveWatcher> watcher_;
  UniqueFd wakeRead_, wakeWrite_;
  std::thread thread_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> unplugRequested_{false};
  std::atomic<bool> ringRequested_{false};
  std::atomic<bool> hangUpRequested_{false};

  // Owned by the modem thread while it runs.
  CommandEngine engine_;
  Transcript transcript_;
  std::unique_ptr<LineSource> source_;
  std::unique_ptr<VoiceStreamer> streamer_;
  std::deque<Pending> output_;
  std::minstd_rand random_;
  size_t streamBacklog_ = 0;
  Clock::time_point lastDue_{};
  Clock::time_point nextTick_{};
  Clock::time_point nextHangupCheck_{};
  bool capturing_ = false;
  bool wantWrite_ = false;
  bool hungUp_ = false;
  bool dlePending_ = false;
  bool goingQuiet_ = false;  // the unplug fault has struck: nothing more is sent
  Clock::time_point unplugAt_{};
  Clock::time_point replugAt_{};
  std::vector<Clock::time_point> callsDue_;  // of the options, in order
  size_t callsBegun_ = 0;                    // of them; the current caller is the last's
  Caller caller_;
  int ringsLeft_ = 0;
  Clock::time_point nextRing_{};
  bool callerIdDue_ = false;
  Clock::time_point callerIdAt_{};
  long ringCount_ = 0;
  long callerIdCount_ = 0;
  Clock::time_point streamBegan_{};
  ModemState state_ = ModemState::Stopped;
  bool portOpen_ = false;
  long commandCount_ = 0;
  long closeCount_ = 0;
  long resetCount_ = 0;
  long streamCount_ = 0;
  long replugCount_ = 0;
  std::ofstream capture_;

  mutable std::mutex mutex_;  // guards what follows
  mutable std::condition_variable changed_;
  std::string slavePath_;
  ModemStatus status_;
  std::vector<std::string> commands_;
  std::string streamed_;
  std::vector<StreamMark> streamMarks_;
  Faults faults_;
};

const char* stateName(ModemState state);

}  // namespace vmodem
