#include "vmodem/VirtualModem.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <system_error>

namespace vmodem {
namespace {

using namespace std::chrono_literals;

constexpr auto kStreamTick = 20ms;
// Between the unplug fault and the device's end: time for the computer to read what was
// sent (a vanishing pty takes unread bytes with it).
constexpr auto kUnplugQuiet = 500ms;
// While no one has the port open the master reports a hang-up continuously; look
// again this often instead of polling it.
constexpr auto kHangupRecheck = 30ms;
// More unsent stream bytes than this means the computer is not reading: the modem
// drops samples, as a real one overruns.
constexpr size_t kMaxStreamBacklog = 64 * 1024;
constexpr size_t kMaxRememberedCommands = 10000;
constexpr size_t kReadChunk = 4096;
constexpr const char* kGarbage = "#%&*~^$@!?{}[]|";
// The caller ID comes in the pause after the first ring, this far into the ring period.
constexpr double kCallerIdIntoPeriod = 0.4;

VirtualModem::Clock::duration toDuration(double s) {
  return std::chrono::duration_cast<VirtualModem::Clock::duration>(
      std::chrono::duration<double>(s));
}

int msUntil(VirtualModem::Clock::time_point now, VirtualModem::Clock::time_point then) {
  if (then <= now) return 0;
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(then - now).count());
}

}  // namespace

const char* stateName(ModemState state) {
  switch (state) {
    case ModemState::Command:
      return "command";
    case ModemState::Receiving:
      return "receiving";
    case ModemState::Transmitting:
      return "transmitting";
    case ModemState::Unplugged:
      return "unplugged";
    case ModemState::Stopped:
      break;
  }
  return "stopped";
}

VirtualModem::VirtualModem(Options options)
    : options_(std::move(options)),
      profile_(options_.profileText.empty() ? Profile::load(options_.profile)
                                            : Profile::parse(options_.profileText)),
      engine_(profile_),
      transcript_(options_.transcriptPath) {
  source_ = makeLineSource(options_.line);
  pty_ = std::make_unique<PseudoTerminal>();
  slavePath_ = pty_->slavePath();
  watcher_ = std::make_unique<SlaveWatcher>(pty_->slavePath());
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
    throw std::system_error(errno, std::generic_category(), "pipe2");
  wakeRead_.reset(fds[0]);
  wakeWrite_.reset(fds[1]);
  if (!options_.linkPath.empty()) pty_->link(options_.linkPath);
  faults_ = options_.faults;
  random_.seed(options_.faults.seed);
  publish();
}

VirtualModem::~VirtualModem() {
  stop();
  if (pty_) pty_->unlink();
}

void VirtualModem::start() {
  if (thread_.joinable()) return;
  stopRequested_ = false;
  state_ = ModemState::Command;
  publish();
  transcript_.note(
      "modem on " + pty_->slavePath() +
      (profile_.description.empty() ? std::string() : " (" + profile_.description + ")"));
  const Clock::time_point started = Clock::now();
  callsDue_.clear();
  callsBegun_ = 0;
  if (options_.ring.atSeconds >= 0 && options_.ring.rings > 0) {
    callsDue_.push_back(started + toDuration(options_.ring.atSeconds));
    for (double at : options_.ring.moreAtSeconds) callsDue_.push_back(started + toDuration(at));
    std::sort(callsDue_.begin(), callsDue_.end());
  }
  thread_ = std::thread([this] { run(); });
}

void VirtualModem::callDueAt(Clock::time_point at) {
  // Among the calls still to come, in order; the ones begun keep their places (and callers).
  const auto first = callsDue_.begin() + static_cast<std::ptrdiff_t>(callsBegun_);
  callsDue_.insert(std::upper_bound(first, callsDue_.end(), at), at);
}

void VirtualModem::stop() {
  if (!thread_.joinable()) return;
  stopRequested_ = true;
  wake();
  thread_.join();
  if (state_ != ModemState::Unplugged) state_ = ModemState::Stopped;
  publish();
}

void VirtualModem::wake() {
  const char byte = 1;
  (void)::write(wakeWrite_.get(), &byte, 1);
}

void VirtualModem::unplug() {
  unplugRequested_ = true;
  wake();
}

void VirtualModem::ring() {
  ringRequested_ = true;
  wake();
}

void VirtualModem::hangUp() {
  hangUpRequested_ = true;
  wake();
}

void VirtualModem::setFaults(const Faults& faults) {
  std::lock_guard lock(mutex_);
  faults_ = faults;
}

std::string VirtualModem::slavePath() const {
  std::lock_guard lock(mutex_);
  return slavePath_;
}

Faults VirtualModem::currentFaults() const {
  std::lock_guard lock(mutex_);
  return faults_;
}

ModemStatus VirtualModem::status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

bool VirtualModem::waitFor(const std::function<bool(const ModemStatus&)>& predicate,
                           std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return predicate(status_); });
}

std::vector<std::string> VirtualModem::commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

std::string VirtualModem::streamed() const {
  std::lock_guard lock(mutex_);
  return streamed_;
}

std::vector<VirtualModem::StreamMark> VirtualModem::streamMarks() const {
  std::lock_guard lock(mutex_);
  return streamMarks_;
}

void VirtualModem::publish() {
  {
    std::lock_guard lock(mutex_);
    status_.state = state_;
    status_.portOpen = portOpen_;
    status_.echo = engine_.echo();
    status_.fclass = engine_.fclass();
    status_.line = engine_.line();
    status_.method = engine_.method() ? engine_.method()->id : -1;
    status_.rate = engine_.rate();
    status_.commands = commandCount_;
    status_.closes = closeCount_;
    status_.resets = resetCount_;
    status_.streams = streamCount_;
    status_.replugs = replugCount_;
    status_.streamedBytes = streamed_.size();
    status_.samples = streamer_ ? streamer_->samplesProduced() : 0;
    status_.rings = ringCount_;
    status_.callerIds = callerIdCount_;
    status_.ringing = ringsLeft_ > 0;
    if (streamer_) status_.hungUp = streamer_->hungUp();
    status_.streamBegan = streamBegan_;
  }
  changed_.notify_all();
}

int VirtualModem::pollTimeoutMs(Clock::time_point now) const {
  int timeout = -1;
  auto consider = [&](int ms) { timeout = timeout < 0 ? ms : std::min(timeout, ms); };
  if (!output_.empty() && !wantWrite_) consider(msUntil(now, output_.front().due));
  if (state_ == ModemState::Receiving) consider(msUntil(now, nextTick_));
  if (hungUp_) consider(msUntil(now, nextHangupCheck_));
  if (goingQuiet_) consider(msUntil(now, unplugAt_));
  if (state_ == ModemState::Unplugged) consider(msUntil(now, replugAt_));
  if (ringsLeft_ > 0) consider(msUntil(now, nextRing_));
  if (callsBegun_ < callsDue_.size()) consider(msUntil(now, callsDue_[callsBegun_]));
  if (callerIdDue_) consider(msUntil(now, callerIdAt_));
  return timeout;
}

void VirtualModem::run() {
  while (!stopRequested_) {
    const Clock::time_point before = Clock::now();
    const bool plugged = state_ != ModemState::Unplugged;
    pollfd fds[3] = {{wakeRead_.get(), POLLIN, 0}, {-1, 0, 0}, {-1, 0, 0}};
    if (plugged && watcher_->available()) fds[1] = {watcher_->fd(), POLLIN, 0};
    // A hung-up master reports POLLHUP without end: leave it out until it is worth a look.
    if (plugged && !hungUp_) {
      fds[2] = {pty_->masterFd(), static_cast<short>(POLLIN | (wantWrite_ ? POLLOUT : 0)), 0};
    }
    const int ready = ::poll(fds, 3, pollTimeoutMs(before));
    if (ready < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) {
      char drain[64];
      while (::read(wakeRead_.get(), drain, sizeof drain) > 0) {
      }
    }
    if (stopRequested_) break;
    Clock::time_point now = Clock::now();
    if (plugged && (unplugRequested_.exchange(false) || (goingQuiet_ && now >= unplugAt_))) {
      doUnplug(now);
    }
    if (state_ == ModemState::Unplugged) {
      const Faults faults = currentFaults();
      if (faults.replugAfterSeconds < 0) break;
      if (now >= replugAt_) replug();
      continue;
    }
    // Opens and closes first: a close and a new open since the last pass must reset
    // the modem before the new opener's bytes are read.
    watchSlave();
    now = Clock::now();
    if (ringRequested_.exchange(false) && options_.ring.rings > 0) callDueAt(now);
    if (hangUpRequested_.exchange(false) && streamer_) streamer_->hangUpAt(now);
    if (hungUp_ && now >= nextHangupCheck_) {
      pollfd probe{pty_->masterFd(), POLLIN, 0};
      if (::poll(&probe, 1, 0) >= 0 && !(probe.revents & POLLHUP)) {
        hungUp_ = false;
        portOpen_ = true;
      } else {
        nextHangupCheck_ = now + kHangupRecheck;
      }
    }
    if (fds[2].revents & POLLOUT) wantWrite_ = false;
    if (!hungUp_ && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) readMaster(now);
    now = Clock::now();
    if (state_ == ModemState::Receiving) tickStream(now);
    tickRing(now);
    // The status is current before the answer goes out, so that whoever reads the
    // answer finds the state it reports.
    publish();
    if (!output_.empty()) {
      flushOutput(now);
      publish();
    }
  }
  publish();
}

void VirtualModem::watchSlave() {
  if (!watcher_->available()) return;
  const auto events = watcher_->read();
  if (events.becameUnused) computerClosed();
  if (watcher_->openFiles() > 0) {
    portOpen_ = true;
    hungUp_ = false;
  }
}

void VirtualModem::readMaster(Clock::time_point now) {
  char buffer[kReadChunk];
  for (;;) {
    const ssize_t n = ::read(pty_->masterFd(), buffer, sizeof buffer);
    if (n > 0) {
      portOpen_ = true;
      handleInput(std::string(buffer, static_cast<size_t>(n)), now);
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    // EIO: the last file of the slave closed.
    if (portOpen_ || !watcher_->available()) computerClosed();
    hungUp_ = true;
    nextHangupCheck_ = now + kHangupRecheck;
    return;
  }
}

void VirtualModem::computerClosed() {
  // The computer dropped DTR: back to power-on state, whatever was going on (or, told
  // to keep its state, only out of a stream: nobody is there to take it; or, as a modem
  // that resets its caller ID reporting, on the hook without +VCID and with echo).
  transcript_.note(options_.vcidResetOnClose   ? "port closed: caller ID and echo reset"
                   : options_.keepStateOnClose ? "port closed: state kept"
                                               : "port closed: reset");
  if (capturing_ && capture_.is_open()) capture_.flush();
  capturing_ = false;
  output_.clear();
  streamBacklog_ = 0;
  wantWrite_ = false;
  lastDue_ = {};
  dlePending_ = false;
  streamer_.reset();
  if (options_.vcidResetOnClose) {
    engine_.forgetCallerIdAndEcho();
  } else if (!options_.keepStateOnClose) {
    engine_.powerOn();
    ++resetCount_;
  }
  if (state_ == ModemState::Receiving || state_ == ModemState::Transmitting)
    state_ = ModemState::Command;
  portOpen_ = false;
  ++closeCount_;
  // The next opener may already be there with its bytes waiting: no flush, and its
  // line settings stay as it made them.
  if (!watcher_->available() || watcher_->openFiles() == 0) {
    try {
      pty_->makeRaw();
    } catch (const std::system_error& e) {
      transcript_.note(e.what());
    }
    // As a real device forgets it at its last close: a killed program's exclusive mode.
    bool opened = false;
    if (!pty_->clearExclusive(&opened)) transcript_.note("the exclusive mode of the port stays");
    if (opened && watcher_->available()) watcher_->expectOwnOpen();
  }
}

void VirtualModem::handleInput(const std::string& bytes, Clock::time_point now) {
  transcript_.received(bytes);
  for (char c : bytes) {
    if (state_ == ModemState::Command) {
      handleCommandByte(c, now);
    } else {
      handleDataByte(c, now);
    }
  }
}

void VirtualModem::handleCommandByte(char c, Clock::time_point now) {
  EngineOutput out;
  engine_.feed(c, out);
  const Faults faults = currentFaults();
  const bool mute = profile_.silent || faults.noAnswer;
  if (!mute && !out.echo.empty()) queue(out.echo, now);
  if (!out.lineDone) return;
  ++commandCount_;
  {
    std::lock_guard lock(mutex_);
    if (commands_.size() < kMaxRememberedCommands) commands_.push_back(out.line);
  }
  transcript_.note("command " + out.line);
  if (mute) return;
  if (out.startReceive || out.startTransmit) {
    // Everything from the answer on is part of the stream the computer records.
    capturing_ = true;
    ++streamCount_;
    {
      std::lock_guard lock(mutex_);
      streamed_.clear();
      streamMarks_.clear();
    }
    if (!options_.capturePath.empty()) {
      capture_.close();
      capture_.open(options_.capturePath, std::ios::binary | std::ios::trunc);
    }
  }
  queueAnswer(out.answer, out.pauseAt, now);
  if (out.startReceive) {
    const CompressionMethod* m = engine_.method();
    streamer_ = std::make_unique<VoiceStreamer>(*source_, options_.line, m->coding, engine_.rate(),
                                                options_.fullLineRate, streamCount_);
    const Clock::time_point begin = std::max(now, lastDue_);
    streamer_->begin(begin);
    streamBegan_ = begin;
    nextTick_ = begin;
    dlePending_ = false;
    state_ = ModemState::Receiving;
  } else if (out.startTransmit) {
    dlePending_ = false;
    state_ = ModemState::Transmitting;
  }
}

void VirtualModem::handleDataByte(char c, Clock::time_point now) {
  if (!dlePending_) {
    dlePending_ = c == kDle;
    return;
  }
  dlePending_ = false;
  const bool receiveStop = state_ == ModemState::Receiving && (c == '!' || c == '^');
  const bool transmitEnd = state_ == ModemState::Transmitting && (c == kEtx || c == '!');
  if (receiveStop || transmitEnd) endDataPhase(now);
}

void VirtualModem::endDataPhase(Clock::time_point now) {
  std::string closing;
  if (state_ == ModemState::Receiving) {
    // Samples already due go out before the end mark.
    if (streamer_) queue(streamer_->produce(now), now, true);
    closing += kDle;
    closing += kEtx;
  }
  closing += engine_.resultText("OK");
  state_ = ModemState::Command;
  queue(closing, now);
  capturing_ = false;
}

void VirtualModem::queueAnswer(const std::string& answer, size_t pauseAt, Clock::time_point now) {
  const Faults faults = currentFaults();
  const size_t first = output_.size();
  Clock::time_point due = now + std::chrono::milliseconds(faults.delayMs);
  if (faults.garbageBytes > 0) {
    std::string noise;
    for (size_t i = 0; i < faults.garbageBytes; ++i)
      noise += kGarbage[(commandCount_ * 7 + i * 5) % 15];
    queue(noise, due);
    due += std::chrono::milliseconds(faults.splitGapMs);
  }
  if (pauseAt >= answer.size()) {
    queuePieces(answer, faults, due);
  } else {
    queuePieces(answer.substr(0, pauseAt), faults, due);
    due += std::chrono::milliseconds(profile_.lastLinePauseMs);
    queuePieces(answer.substr(pauseAt), faults, due);
  }
  if (first < output_.size()) output_[first].answerStart = true;
}

void VirtualModem::queueUnsolicited(const std::string& bytes, const Faults& faults,
                                    Clock::time_point now) {
  if (bytes.empty() || goingQuiet_) return;
  for (auto it = output_.begin(); lastDue_ > now && it != output_.end(); ++it) {
    if (it->answerStart && it->due > now) {
      output_.insert(it, Pending{now, bytes, capturing_, false, false});
      return;
    }
  }
  Clock::time_point due = now;
  queuePieces(bytes, faults, due);
}

void VirtualModem::queuePieces(const std::string& bytes, const Faults& faults,
                               Clock::time_point& due) {
  if (faults.splitBytes == 0) {
    queue(bytes, due);
    return;
  }
  // Pieces due at the same moment go out as one write: a gap of 0 joins two pieces.
  const size_t maxBytes = std::max(faults.splitBytes, faults.splitBytesMax);
  const int maxGapMs = std::max(faults.splitGapMs, faults.splitGapMaxMs);
  for (size_t pos = 0; pos < bytes.size();) {
    const size_t n = std::uniform_int_distribution<size_t>(faults.splitBytes, maxBytes)(random_);
    queue(bytes.substr(pos, n), due);
    pos += n;
    due += std::chrono::milliseconds(
        std::uniform_int_distribution<int>(faults.splitGapMs, maxGapMs)(random_));
  }
}

void VirtualModem::queue(std::string bytes, Clock::time_point due, bool stream) {
  if (bytes.empty() || goingQuiet_) return;
  due = std::max(due, lastDue_);
  lastDue_ = due;
  if (stream) streamBacklog_ += bytes.size();
  // Bytes due together go out in one write, as a modem's UART sends them back to back.
  if (!output_.empty()) {
    Pending& last = output_.back();
    if (last.due == due && last.capture == capturing_ && last.stream == stream) {
      last.bytes += bytes;
      return;
    }
  }
  output_.push_back({due, std::move(bytes), capturing_, stream});
}

void VirtualModem::tickStream(Clock::time_point now) {
  if (!streamer_ || goingQuiet_ || now < nextTick_) return;
  const Faults faults = currentFaults();
  if (faults.unplugAfterSeconds >= 0 && streamer_->elapsed(now) >= faults.unplugAfterSeconds) {
    flushOutput(now);
    goingQuiet_ = true;
    unplugAt_ = now + kUnplugQuiet;
    transcript_.note("going quiet before the unplug");
    return;
  }
  std::string bytes = streamer_->produce(now);
  if (streamBacklog_ + bytes.size() <= kMaxStreamBacklog) queue(std::move(bytes), now, true);
  while (nextTick_ <= now) nextTick_ += kStreamTick;
}

void VirtualModem::flushOutput(Clock::time_point now) {
  while (!output_.empty() && !wantWrite_ && output_.front().due <= now && pty_->open()) {
    Pending& front = output_.front();
    const ssize_t n = ::write(pty_->masterFd(), front.bytes.data(), front.bytes.size());
    if (n < 0) {
      if (errno == EAGAIN) {
        wantWrite_ = true;
      } else if (errno != EINTR) {
        output_.clear();  // no one to send to
        streamBacklog_ = 0;
      }
      return;
    }
    const std::string sent = front.bytes.substr(0, static_cast<size_t>(n));
    transcript_.sent(sent);
    if (front.capture) {
      std::lock_guard lock(mutex_);
      streamed_ += sent;
      streamMarks_.push_back({Clock::now(), streamed_.size()});
    }
    if (front.capture && capture_.is_open()) {
      capture_.write(sent.data(), static_cast<std::streamsize>(sent.size()));
      capture_.flush();
    }
    if (front.stream) streamBacklog_ -= static_cast<size_t>(n);
    if (static_cast<size_t>(n) < front.bytes.size()) {
      front.bytes.erase(0, static_cast<size_t>(n));
      wantWrite_ = true;
      return;
    }
    output_.pop_front();
  }
}

bool VirtualModem::offHook() const {
  return engine_.line() != 0 || state_ == ModemState::Receiving ||
         state_ == ModemState::Transmitting;
}

void VirtualModem::beginCall(Clock::time_point now) {
  const size_t call = callsBegun_++;
  const std::vector<Caller>& more = options_.ring.moreCallers;
  if (call == 0 || more.empty()) {
    caller_ = Caller{options_.ring.number, options_.ring.name};
  } else {
    caller_ = more[std::min(call - 1, more.size() - 1)];
  }
  if (offHook()) {
    transcript_.note("a call, and the line is busy");
    return;
  }
  ringsLeft_ = options_.ring.rings;
  nextRing_ = now;
  callerIdDue_ = false;
}

void VirtualModem::tickRing(Clock::time_point now) {
  if (callsBegun_ < callsDue_.size() && now >= callsDue_[callsBegun_]) beginCall(now);
  const bool offHook = this->offHook();
  const bool rang = ringsLeft_ < options_.ring.rings;  // the line rings, or did
  if (rang && (ringsLeft_ > 0 || callerIdDue_) && offHook) {
    // The modem took the line: the call goes on, the ringing is over.
    ringsLeft_ = 0;
    callerIdDue_ = false;
    transcript_.note("call answered");
    return;
  }
  const Faults faults = currentFaults();
  // No one with the port open hears the modem; the line rings all the same.
  const bool heard =
      state_ == ModemState::Command && portOpen_ && !faults.noAnswer && !profile_.silent;
  if (callerIdDue_ && now >= callerIdAt_) {
    callerIdDue_ = false;
    // Only a modem told to report the caller decodes the caller ID burst.
    if (heard && engine_.callerIdMode() == "1") {
      queueUnsolicited(engine_.infoText(callerIdBlock()), faults, now);
      ++callerIdCount_;
    }
  }
  if (ringsLeft_ <= 0 || now < nextRing_) return;
  if (heard) {
    queueUnsolicited(engine_.ringText(), faults, now);
    ++ringCount_;
  }
  if (ringsLeft_ == options_.ring.rings) {
    callerIdDue_ = true;
    callerIdAt_ = now + toDuration(options_.ring.periodSeconds * kCallerIdIntoPeriod);
  }
  if (--ringsLeft_ == 0) transcript_.note("the caller gave up");
  nextRing_ += toDuration(options_.ring.periodSeconds);
}

std::string VirtualModem::callerIdBlock() const {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  char date[8];
  char time[8];
  std::strftime(date, sizeof date, "%m%d", &local);
  std::strftime(time, sizeof time, "%H%M", &local);
  std::string block =
      std::string("DATE = ") + date + "\r\nTIME = " + time + "\r\nNMBR = " + caller_.number;
  if (!caller_.name.empty()) block += "\r\nNAME = " + caller_.name;
  return block;
}

void VirtualModem::doUnplug(Clock::time_point now) {
  transcript_.note("unplugged");
  pty_->unlink();
  pty_->closeMaster();
  output_.clear();
  streamBacklog_ = 0;
  streamer_.reset();
  goingQuiet_ = false;
  portOpen_ = false;
  ringsLeft_ = 0;
  callerIdDue_ = false;
  state_ = ModemState::Unplugged;
  const Faults faults = currentFaults();
  if (faults.replugAfterSeconds >= 0) {
    replugAt_ = now + toDuration(faults.replugAfterSeconds);
  }
  publish();
}

void VirtualModem::replug() {
  // A new device, at the old link: a USB modem plugged in again gets a new tty.
  std::unique_ptr<PseudoTerminal> pty;
  std::unique_ptr<SlaveWatcher> watcher;
  try {
    pty = std::make_unique<PseudoTerminal>();
    watcher = std::make_unique<SlaveWatcher>(pty->slavePath());
    if (!options_.linkPath.empty()) pty->link(options_.linkPath);
  } catch (const std::system_error& e) {
    transcript_.note(std::string("replug failed: ") + e.what());
    replugAt_ = Clock::now() + kHangupRecheck;
    return;
  }
  pty_ = std::move(pty);
  watcher_ = std::move(watcher);
  {
    std::lock_guard lock(mutex_);
    slavePath_ = pty_->slavePath();
  }
  engine_.powerOn();
  output_.clear();
  wantWrite_ = false;
  hungUp_ = false;
  dlePending_ = false;
  capturing_ = false;
  lastDue_ = {};
  portOpen_ = false;
  state_ = ModemState::Command;
  ++replugCount_;
  transcript_.note("replugged as " + pty_->slavePath());
  publish();
}

}  // namespace vmodem
