#include "modem/RecordingJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QtEndian>
#include <cerrno>
#include <cstring>

#include "modem/RecordingFiles.h"
#include "modem/SteadyClock.h"
#include "setup/PrivateFile.h"

namespace {
constexpr char kMagic[4] = {'T', 'V', 'R', 'J'};
constexpr uint16_t kVersion = 1;
constexpr mode_t kPrivateFileMode = 0600;
}  // namespace

QByteArray EncodeJournalHeader(const TJournalHeader& h) {
  QByteArray b(kJournalHeaderSize, '\0');
  char* p = b.data();
  std::memcpy(p, kMagic, sizeof kMagic);
  qToLittleEndian<uint16_t>(kVersion, p + 4);
  qToLittleEndian<uint16_t>(static_cast<uint16_t>(kJournalHeaderSize), p + 6);
  qToLittleEndian<uint32_t>(h.SamplesPerSecond, p + 8);
  qToLittleEndian<int64_t>(h.StartMsUtc, p + 12);
  qToLittleEndian<uint64_t>(h.Identity, p + 20);
  return b;
}

std::optional<TJournalHeader> DecodeJournalHeader(QByteArrayView bytes) {
  if (bytes.size() < kJournalHeaderSize) return std::nullopt;
  const char* p = bytes.data();
  if (std::memcmp(p, kMagic, sizeof kMagic) != 0 ||
      qFromLittleEndian<uint16_t>(p + 4) != kVersion ||
      qFromLittleEndian<uint16_t>(p + 6) != kJournalHeaderSize) {
    return std::nullopt;
  }
  TJournalHeader h;
  h.SamplesPerSecond = qFromLittleEndian<uint32_t>(p + 8);
  h.StartMsUtc = qFromLittleEndian<int64_t>(p + 12);
  h.Identity = qFromLittleEndian<uint64_t>(p + 20);
  return h;
}

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
