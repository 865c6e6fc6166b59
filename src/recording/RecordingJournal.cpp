#include "recording/RecordingJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>

#include "setup/PrivateFile.h"
#include "setup/SteadyClock.h"
#include "sound/RecordingFiles.h"

namespace {
constexpr mode_t kPrivateFileMode = 0600;

QByteArray Encoded(const QString& path) {
  return QFile::encodeName(path);
}
}  // namespace

TRecordingJournal::TRecordingJournal() {
  Clock = SteadyMs;
  syncTimer_.setSingleShot(true);
  QObject::connect(&syncTimer_, &QTimer::timeout, [this] {
    if (Active() && dirty_) RequestSync(false);
  });
  syncer_.OnFailed = [this](uint64_t tag, const QString& error) { SyncFailed(tag, error); };
}

TRecordingJournal::~TRecordingJournal() {
  syncer_.OnFailed = nullptr;
}

bool TRecordingJournal::Start(uint32_t samplesPerSecond, QString* error) {
  Leave();
  TJournalHeader h;
  h.SamplesPerSecond = samplesPerSecond;
  h.StartMsUtc = QDateTime::currentMSecsSinceEpoch();
  h.Identity = QRandomGenerator::system()->generate64();
  const QString name = JournalIdentityName(h.Identity);
  const QByteArray part = Encoded(JournalPartPath(name));
  const QString path = JournalPath(name);
  auto file = std::make_shared<TFd>(::open(
      part.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_APPEND, kPrivateFileMode));
  if (file->get() < 0) {
    *error = SystemErrorText(errno);
    return false;
  }
  const QByteArray header = EncodeJournalHeader(h);
  // Only a locked journal with its whole header ever has a journal's name.
  if (::flock(file->get(), LOCK_EX | LOCK_NB) != 0 ||
      !WriteAllToFd(file->get(), header.constData(), header.size()) ||
      ::rename(part.constData(), Encoded(path).constData()) != 0) {
    *error = SystemErrorText(errno);
    ::unlink(part.constData());
    return false;
  }
  file_ = std::move(file);
  ++tag_;
  path_ = path;
  written_ = 0;
  broken_ = false;
  lastError_.clear();
  RequestSync(true);  // the data and the new name
  return true;
}

bool TRecordingJournal::Append(QByteArrayView samples) {
  if (!Active()) return false;
  if (samples.isEmpty()) return true;
  if (!WriteAllToFd(file_->get(), samples.data(), samples.size())) {
    Fail(SystemErrorText(errno));
    return false;
  }
  written_ += samples.size();
  dirty_ = true;
  // Never a sync per chunk: at most one per interval, asked for by the first chunk
  // that finds it due. The timer is for the chunks that stop coming: it runs out
  // kTailMs after the last one (or when the sync is due, if later), so while they come
  // it never wakes the UI thread, and it is pushed on only now and then, not per chunk.
  const int64_t now = Clock();
  if (now - lastSyncMs_ >= kSyncIntervalMs) {
    RequestSync(false);
  } else if (!syncTimer_.isActive() || tailDeadlineMs_ - now < kTailMs / 2) {
    tailDeadlineMs_ = std::max(lastSyncMs_ + kSyncIntervalMs, now + kTailMs);
    syncTimer_.start(static_cast<int>(tailDeadlineMs_ - now));
  }
  return true;
}

void TRecordingJournal::RequestSync(bool withFolder) {
  syncTimer_.stop();
  dirty_ = false;
  lastSyncMs_ = Clock();
  syncer_.Request(file_, tag_, withFolder ? QString::fromLatin1(kWavFolder) : QString());
}

void TRecordingJournal::SyncFailed(uint64_t tag, const QString& error) {
  // A failure of a journal closed since is no news: its recording is saved or kept.
  if (tag == tag_ && Active()) Fail(error);
}

void TRecordingJournal::Fail(const QString& error) {
  // What is in the file so far stays: a crash still recovers that much. The descriptor
  // and its lock stay too, so that no other start takes the file for one left behind.
  lastError_ = error;
  broken_ = true;
  syncTimer_.stop();
  if (OnFailed) OnFailed(error);
}

bool TRecordingJournal::Name(const QString& fileName, QString* error) {
  if (!Open()) return true;
  const QString named = JournalPath(fileName);
  if (named == path_) return true;  // named by a Stop that could not save
  if (::rename(Encoded(path_).constData(), Encoded(named).constData()) != 0) {
    *error = SystemErrorText(errno);
    return false;
  }
  path_ = named;
  if (const auto failed = SyncFolder(QString::fromLatin1(kWavFolder))) {
    *error = *failed;
    return false;
  }
  return true;
}

void TRecordingJournal::Discard() {
  if (!Open()) return;
  syncTimer_.stop();
  QFile::remove(path_);
  syncer_.Forget(tag_);
  file_.reset();  // the lock goes with the last descriptor
  path_.clear();
  written_ = 0;
  dirty_ = false;
  lastError_.clear();
}

void TRecordingJournal::Keep(bool saved) {
  syncTimer_.stop();
  // What was not made durable yet still is: the file may be all there is of the call.
  if (!saved && !broken_ && dirty_) RequestSync(false);
  kept_.push_back({std::move(file_), path_, saved});
  file_.reset();
  path_.clear();
  written_ = 0;
  dirty_ = false;
  lastError_.clear();
}

void TRecordingJournal::KeepSaved() {
  if (Open()) Keep(true);
}

void TRecordingJournal::DiscardSaved() {
  std::erase_if(kept_, [](const Kept& k) {
    if (k.saved) QFile::remove(k.path);
    return k.saved;
  });
}

QString TRecordingJournal::Leave() {
  if (!Open()) return QString();
  const QString path = path_;
  Keep(false);
  return path;
}
