#include "common/RecorderUser.h"

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTest>
#include <algorithm>
#include <map>
#include <string>

namespace {
using namespace std::chrono_literals;

// Where the user clicks, in the main window's client area: the recorder buttons are
// 40 x 23 from 8, 119; "Delete file" is the fifth 36-pixel button of the top bar; "File"
// opens the first menu of the menu bar.
constexpr int kRecorderTop = 119 + 11;
constexpr int kPlayX = 8 + 0 * 40 + 20;
constexpr int kStopX = 8 + 2 * 40 + 20;
constexpr int kRecordX = 8 + 5 * 40 + 20;
constexpr int kDeleteFileX = 4 * 36 + 18;
constexpr int kDeleteFileY = 18;
constexpr int kFileMenuX = 12;
// Long enough for a step's files to be written, short enough for a day of calls.
constexpr int kSettleMs = 3000;

// Caller ID on, a stop when the far end hangs up (never for silence: the calls are
// short and the ringback has pauses), the modem on COM1 behind the link.
QByteArray SettingsFor(const QString& link) {
  return QByteArray(
             "[Modem]\nport=1\nModel=Virtual\nSamplingFreq=8000\nVoiceMode=at+fclass=8\n"
             "RecGain=at+vgr=128\nVoiceCompression=at+vsm=1,8000\nForCallerId=at+vcid=1\n"
             "[Params]\nUseLine=at+vls=1\nUseLineRes=OK\nCompression=UNSIGNED PCM\n"
             "Voicefeatures=1\nCallerId=1\nStopOnHangUp=1\nSilenceSeconds=3600\n"
             "[Ports]\nCOM1=") +
         QFile::encodeName(link) + "\n";
}

// Callers enough for a day of calls (the calls after them are the last one's again).
constexpr size_t kCallers = 64;

// The caller of the k-th call (from 0): a number and a name, now and then a withheld or
// an unavailable number without a name, so that a name kept from the call before shows.
vmodem::Caller CallerOfCall(size_t k) {
  if (k % 6 == 4) return {"P", ""};
  if (k % 6 == 5) return {"O", ""};
  return {"555" + std::to_string(1000 + k), "CALLER " + std::to_string(k + 1)};
}

vmodem::Options ModemOptions(const QString& link) {
  vmodem::Options o;
  o.linkPath = QFile::encodeName(link).toStdString();
  o.line.variedCalls = true;
  // A day in fast forward: a ring every half second, the caller ID soon after the first.
  o.ring.periodSeconds = 0.5;
  o.ring.rings = 4;
  const vmodem::Caller first = CallerOfCall(0);
  o.ring.number = first.number;
  o.ring.name = first.name;
  for (size_t k = 1; k < kCallers; ++k) o.ring.moreCallers.push_back(CallerOfCall(k));
  return o;
}

// The memo the program gives a recording of this caller's call.
QString MemoOfCaller(const vmodem::Caller& caller) {
  if (caller.number == "P") return QStringLiteral("withheld number");
  if (caller.number == "O") return QStringLiteral("unavailable number");
  const QString number = QString::fromStdString(caller.number);
  return caller.name.empty() ? number : number + ' ' + QString::fromStdString(caller.name);
}

int64_t Ns(vmodem::VirtualModem::Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

QStringList ReadLines(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QString::fromLatin1(f.readAll()).split('\n');
}
}  // namespace

int64_t MonotonicNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

QString WhyNoRestartAfterAKill() {
  return ::geteuid() == 0 ? QString()
                          : QStringLiteral(
                                "a killed program's port stays exclusive on a "
                                "pseudo-terminal unless the tests run as root");
}

TRecorderUser::TRecorderUser(const XServer& x, QString folder)
    : x_(x), folder_(std::move(folder)), user_(x) {
  // The link lives beside the folder, not in it: it is no file of the program.
  linkPath_ = folder_ + QStringLiteral(".ttyV0");
  modem_ = std::make_unique<vmodem::VirtualModem>(ModemOptions(linkPath_));
  modem_->start();
  const QString ini = QDir(folder_).filePath(QStringLiteral("Tavrin.ini"));
  if (!QFile::exists(ini)) WriteBytes(ini, SettingsFor(linkPath_));
  options.On(x_);
}

TRecorderUser::~TRecorderUser() {
  program_.reset();
  modem_->stop();
}

bool TRecorderUser::Fail(const QString& why) {
  // A box the program opened is often why: say what it says.
  const qsizetype known = messages_.size();
  if (Running()) CloseUnexpectedBoxes();
  failure_ = why;
  for (qsizetype i = known; i < messages_.size(); ++i) failure_ += "; box " + messages_[i];
  return false;
}

void TRecorderUser::Begin(const QString& kind) {
  steps_.push_back({kind, MonotonicNs(), 0});
}

void TRecorderUser::End() {
  steps_.back().endNs = MonotonicNs();
}

int64_t TRecorderUser::Pid() const {
  return program_ ? program_->process.processId() : 0;
}

int TRecorderUser::StartsSeen() const {
  const auto sent = modem_->commands();
  return int(std::count(sent.begin(), sent.end(), std::string("ats0=0")));
}

bool TRecorderUser::Start() {
  Begin(QStringLiteral("start"));
  const int starts = StartsSeen();
  program_ = std::make_unique<Program>(folder_, options);
  if (!program_->process.waitForStarted(kProgramWaitMs)) return Fail("the program did not start");
  window_ = user_.WaitForMainWindow();
  if (window_.isEmpty()) return Fail("no main window");
  if (!QTest::qWaitFor([&] { return StartsSeen() > starts; }, kProgramWaitMs)) {
    return Fail("the start sequence did not reach the modem");
  }
  End();
  CloseUnexpectedBoxes();
  return true;
}

bool TRecorderUser::Kill() {
  Begin(QStringLiteral("kill"));
  const bool streaming = modem_->status().state == vmodem::ModemState::Receiving;
  const int64_t killed = MonotonicNs();
  const long closes = modem_->status().closes;
  program_->Signal(SIGKILL);
  if (!program_->process.waitForFinished(kProgramWaitMs)) return Fail("the program did not die");
  program_.reset();
  WaitForPortClosed(closes);
  TakeStreams();
  if (streaming) calls_.back().killedNs = killed;
  End();
  return true;
}

bool TRecorderUser::Shutdown() {
  Begin(QStringLiteral("shutdown"));
  const long closes = modem_->status().closes;
  program_->Signal(SIGTERM);
  const bool normal = program_->EndedNormally();
  program_.reset();
  WaitForPortClosed(closes);
  TakeStreams();
  End();
  return normal || Fail("the shutdown did not end normally");
}

std::optional<TProcessFigures> TRecorderUser::Figures() const {
  if (!Running()) return std::nullopt;
  const QString proc = QStringLiteral("/proc/%1/").arg(Pid());
  TProcessFigures f;
  f.fds = int(
      QDir(proc + "fd").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
  for (const QString& line : ReadLines(proc + "status")) {
    const QStringList words = line.simplified().split(' ');
    if (words.size() < 2) continue;
    if (words[0] == "Threads:") f.threads = words[1].toInt();
    if (words[0] == "VmRSS:") f.rssKb = words[1].toLongLong();
  }
  return f;
}

void TRecorderUser::TakeStreams() {
  const long streams = modem_->status().streams;
  if (streams == 0) return;
  calls_.resize(size_t(streams));
  // The modem keeps the last stream only: the one in progress, or the one just ended.
  THeardCall& last = calls_.back();
  last.sent = modem_->streamed();
  last.marks.clear();
  for (const auto& m : modem_->streamMarks()) last.marks.emplace_back(Ns(m.at), m.bytes);
}

bool TRecorderUser::WaitForPortClosed(long closesBefore) {
  // A count, not the port's state: with caller ID on the program opens the port again
  // at once to listen for the next call, and a look at the state may come after that.
  // A program gone never opens it again (and one gone with the port closed closes nothing).
  const bool gone = !Running();
  return modem_->waitFor(
      [closesBefore, gone](const vmodem::ModemStatus& s) {
        return s.closes > closesBefore || (gone && !s.portOpen);
      },
      std::chrono::milliseconds(kProgramWaitMs));
}

void TRecorderUser::CloseUnexpectedBoxes() {
  for (const QString& id : user_.OpenBoxes()) {
    const XWindow box{id, RunTool("xdotool", {"getwindowname", id}, x_.display)};
    messages_ << box.title + QStringLiteral(": ") + user_.BoxText(box);
    user_.Press(id, "Escape");
    user_.WaitUntilClosed(id);
  }
}

bool TRecorderUser::WaitForBoxTitled(const QString& title, XWindow* box) {
  const std::optional<XWindow> found = user_.WaitForBox();
  if (!found) return Fail("no box \"" + title + "\" came");
  *box = *found;
  if (box->title != title) {
    messages_ << box->title + QStringLiteral(": ") + user_.BoxText(*box);
    user_.Press(box->id, "Escape");
    return Fail("a box \"" + box->title + "\" came instead of \"" + title + "\"");
  }
  return true;
}

bool TRecorderUser::Ring() {
  Begin(QStringLiteral("ring"));
  const int64_t before = MonotonicNs();
  modem_->ring();
  ringingCaller_ = MemoOfCaller(CallerOfCall(std::min(callsRung_++, kCallers - 1)));
  if (!modem_->waitFor([](const vmodem::ModemStatus& s) { return s.ringing; }, 5s)) {
    return Fail("the line did not ring");
  }
  // The caller ID comes 0.4 of a ring period after the first ring.
  QTest::qWait(int(std::max<int64_t>(0, 300 - (MonotonicNs() - before) / 1000000)));
  End();
  return true;
}

bool TRecorderUser::Record() {
  Begin(QStringLiteral("record"));
  const long streams = modem_->status().streams;
  user_.ClickClient(window_, kRecordX, kRecorderTop);
  if (!modem_->waitFor(
          [&](const vmodem::ModemStatus& s) {
            return s.streams > streams && s.state == vmodem::ModemState::Receiving;
          },
          std::chrono::milliseconds(kProgramWaitMs))) {
    return Fail("the recording did not start");
  }
  TakeStreams();
  callerMemos_.resize(calls_.size());
  callerMemos_.back() = ringingCaller_;
  End();
  return true;
}

bool TRecorderUser::Stop() {
  Begin(QStringLiteral("stop"));
  const long closes = modem_->status().closes;
  user_.ClickClient(window_, kStopX, kRecorderTop);
  if (!WaitForPortClosed(closes)) return Fail("Stop did not close the port");
  TakeStreams();
  End();
  CloseUnexpectedBoxes();
  return true;
}

bool TRecorderUser::HangUp() {
  Begin(QStringLiteral("hang-up"));
  const long closes = modem_->status().closes;
  modem_->hangUp();
  if (!WaitForPortClosed(closes)) return Fail("the hang-up did not stop the recording");
  TakeStreams();
  End();
  CloseUnexpectedBoxes();
  return true;
}

bool TRecorderUser::NoteSavedRecording(int timeoutMs) {
  if (calls_.empty()) return false;
  const size_t last = calls_.size() - 1;
  return QTest::qWaitFor(
      [&] {
        for (const auto& [name, file] : RecordingFiles()) {
          if (file.call == last && file.samples > calls_[last].savedLength.value_or(0)) {
            calls_[last].savedLength = file.samples;
          }
        }
        return calls_[last].savedLength.has_value();
      },
      timeoutMs);
}

bool TRecorderUser::EditMemo(const QString& text) {
  Begin(QStringLiteral("memo"));
  user_.ClickMenuBar(window_, kFileMenuX);
  user_.Keys({"Down", "Return"});  // the first item: "Memo..."
  XWindow box;
  if (!WaitForBoxTitled(QStringLiteral("Comment"), &box)) return false;
  user_.Press(box.id, "ctrl+a");
  user_.Type(box.id, text);
  user_.Press(box.id, "Return");
  if (!user_.WaitUntilClosed(box.id)) return Fail("the memo box stayed open");
  End();
  CloseUnexpectedBoxes();
  return true;
}

std::map<QString, TRecorderUser::TRecordingFile> TRecorderUser::RecordingFiles() const {
  std::map<QString, TRecordingFile> files;
  const QDir wav(QDir(folder_).filePath(QStringLiteral("wav")));
  for (const QString& name : wav.entryList({QStringLiteral("*.wav")}, QDir::Files)) {
    const QByteArray samples = SamplesOfWav(wav.filePath(name)).value_or(QByteArray());
    const std::vector<size_t> calls = CallsOfSamples(samples, calls_);
    if (calls.size() == 1) files[name] = {calls.front(), size_t(samples.size())};
  }
  return files;
}

bool TRecorderUser::Delete() {
  Begin(QStringLiteral("delete"));
  const std::map<QString, TRecordingFile> before = RecordingFiles();
  user_.ClickClient(window_, kDeleteFileX, kDeleteFileY);
  XWindow box;
  if (!WaitForBoxTitled(QStringLiteral("Confirm"), &box)) return false;
  const int64_t confirmed = MonotonicNs();
  steps_.back().startNs = confirmed;  // the Delete itself begins with OK
  user_.Press(box.id, "Return");
  if (!user_.WaitUntilClosed(box.id)) return Fail("the confirmation stayed open");
  // The call deleted is the one whose file goes.
  std::optional<size_t> deleted;
  (void)QTest::qWaitFor(
      [&] {
        const std::map<QString, TRecordingFile> after = RecordingFiles();
        for (const auto& [name, file] : before) {
          if (!after.count(name)) deleted = file.call;
        }
        return deleted.has_value();
      },
      kSettleMs);
  if (!deleted) return Fail("no recording went with the Delete");
  calls_[*deleted].deletedNs = confirmed;
  End();
  CloseUnexpectedBoxes();
  return true;
}

bool TRecorderUser::Settings() {
  Begin(QStringLiteral("settings"));
  const int starts = StartsSeen();
  user_.ClickMenuBar(window_, kFileMenuX);
  // Two menus on, its first item is chosen: Options > "Settings...".
  user_.Keys({"Right", "Right", "Return"});
  XWindow box;
  if (!WaitForBoxTitled(QStringLiteral("Settings"), &box)) return false;
  user_.Press(box.id, "Escape");
  if (!user_.WaitUntilClosed(box.id)) return Fail("the settings window stayed open");
  if (!QTest::qWaitFor([&] { return StartsSeen() > starts; }, kProgramWaitMs)) {
    return Fail("the start sequence did not run after the settings");
  }
  End();
  CloseUnexpectedBoxes();
  return true;
}

bool TRecorderUser::Play(int ms) {
  Begin(QStringLiteral("play"));
  user_.ClickClient(window_, kPlayX, kRecorderTop);
  QTest::qWait(ms);
  user_.ClickClient(window_, kStopX, kRecorderTop);
  End();
  CloseUnexpectedBoxes();
  return true;
}

bool TRecorderUser::Unplug() {
  Begin(QStringLiteral("unplug"));
  const long replugs = modem_->status().replugs;
  vmodem::Faults faults;
  faults.replugAfterSeconds = 0.5;
  modem_->setFaults(faults);
  modem_->unplug();
  // The recording is saved as by Stop, and a box says so.
  XWindow box;
  if (!WaitForBoxTitled(QStringLiteral("Tavrin"), &box)) return false;
  messages_ << QStringLiteral("unplugged: ") + user_.BoxText(box);
  user_.Press(box.id, "Escape");
  user_.WaitUntilClosed(box.id);
  if (!modem_->waitFor([&](const vmodem::ModemStatus& s) { return s.replugs > replugs; },
                       std::chrono::milliseconds(kProgramWaitMs))) {
    return Fail("the modem did not come back");
  }
  modem_->setFaults({});
  TakeStreams();
  End();
  CloseUnexpectedBoxes();
  return true;
}

QStringList TRecorderUser::CheckFiles(int64_t cutNs, int settleMs, bool insideDelete) {
  QStringList violations;
  (void)QTest::qWaitFor(
      [&] {
        TCallCheck check;
        check.folder = folder_;
        check.calls = calls_;
        check.cutNs = cutNs;
        check.insideDelete = insideDelete;
        // A journal belongs to a recording in progress only.
        check.journalsLeft = modem_->status().state == vmodem::ModemState::Receiving;
        QString error;
        const auto rows = RowsOnDisk(folder_, &error);
        if (!rows) {
          violations = QStringList{QStringLiteral("the call list cannot be read: ") + error};
          return false;
        }
        check.rows = *rows;
        violations = CheckCalls(check);
        return violations.isEmpty();
      },
      settleMs);
  return violations;
}
