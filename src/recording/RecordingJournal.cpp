#include "recording/RecordingJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <cerrno>

#include "setup/PrivateFile.h"
#include "setup/SteadyClock.h"
#include "sound/RecordingFiles.h"

namespace {
constexpr mode_t kPrivateFileMode = 0600;
}  // namespace

TRecordingJournal::TRecordingJournal() {
  Sync = [](int fd) { return ::fdatasync(fd); };
  Clock = SteadyMs;
  syncTimer_.setSingleShot(true);
  QObject::connect(&syncTimer_, &QTimer::timeout, [this] { SyncNow(); });
}

TRecordingJournal::~TRecordingJournal() {
  Close();
}

void TRecordingJournal::Close() {
  syncTimer_.stop();
  if (fd_ >= 0) ::close(fd_);  // the lock goes with the descriptor
  fd_ = -1;
  dirty_ = false;
  broken_ = false;
}

bool TRecordingJournal::Start(uint32_t samplesPerSecond, QString* error) {
  Discard();
  TJournalHeader h;
  h.SamplesPerSecond = samplesPerSecond;
  h.StartMsUtc = QDateTime::currentMSecsSinceEpoch();
  h.Identity = QRandomGenerator::system()->generate64();
  const QString path = QString::fromLatin1(kWavFolder) + QDir::separator() +
                       QString::number(h.Identity, 16).rightJustified(16, QLatin1Char('0')) +
                       QString::fromLatin1(kJournalExtension);
  const QByteArray name = QFile::encodeName(path);
  const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_APPEND,
                        kPrivateFileMode);
  if (fd < 0) {
    *error = SystemErrorText(errno);
    return false;
  }
  const QByteArray header = EncodeJournalHeader(h);
  // The header must be on disk before any sample: a journal cut short inside it holds
  // nothing to recover.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !WriteAllToFd(fd, header.constData(), header.size()) ||
      Sync(fd) != 0) {
    *error = SystemErrorText(errno);
    ::close(fd);
    ::unlink(name.constData());
    return false;
  }
  fd_ = fd;
  path_ = path;
  written_ = 0;
  lastSyncMs_ = Clock();
  dirty_ = false;
  lastError_.clear();
  return true;
}

bool TRecordingJournal::Append(QByteArrayView samples) {
  if (!Active()) return false;
  if (samples.isEmpty()) return true;
  if (!WriteAllToFd(fd_, samples.data(), samples.size())) {
    Fail();
    return false;
  }
  written_ += samples.size();
  dirty_ = true;
  // Never a sync per chunk: at most one per interval, and one due is never missed when
  // the data stops coming.
  const int64_t since = Clock() - lastSyncMs_;
  if (since >= kSyncIntervalMs) {
    SyncNow();
  } else if (!syncTimer_.isActive()) {
    syncTimer_.start(static_cast<int>(kSyncIntervalMs - since));
  }
  return Active();
}

void TRecordingJournal::Fail() {
  // What is in the file so far stays: a crash still recovers that much. The descriptor
  // and its lock stay too, so that no other start takes the file for one left behind.
  lastError_ = SystemErrorText(errno);
  broken_ = true;
  syncTimer_.stop();
}

void TRecordingJournal::SyncNow() {
  syncTimer_.stop();
  if (!Active() || !dirty_) return;
  if (Sync(fd_) != 0) {
    Fail();
    return;
  }
  dirty_ = false;
  lastSyncMs_ = Clock();
}

void TRecordingJournal::Discard() {
  const bool had = fd_ >= 0;
  Close();
  lastError_.clear();
  if (had) QFile::remove(path_);
  path_.clear();
  written_ = 0;
}
