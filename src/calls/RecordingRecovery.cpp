#include "calls/RecordingRecovery.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "calls/CallFile.h"
#include "calls/CallNames.h"
#include "sound/RecordingFiles.h"
#include "calls/JournalFormat.h"
#include "sound/VoiceStream.h"
#include "sound/WavFormat.h"
#include "setup/FileDescriptor.h"
#include "setup/PrivateFile.h"

namespace {
constexpr int kNameTries = 64;
constexpr qsizetype kCopyChunk = qsizetype(1) << 20;

struct LeftJournal {
  QString path;
  TFd fd;
  TJournalHeader header;
  int64_t samples = 0;
};

QString Name(const QString& path) {
  return QFileInfo(path).fileName();
}

// Reads exactly n bytes at offset; false on an error or a short file.
bool ReadAt(int fd, char* out, qsizetype n, int64_t offset) {
  while (n > 0) {
    const ssize_t r = ::pread(fd, out, static_cast<size_t>(n), offset);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    out += r;
    n -= r;
    offset += r;
  }
  return true;
}

QByteArray WavHeaderFor(const LeftJournal& j) {
  TVoiceStream s;
  WriteWavHeader(s, static_cast<uint32_t>(j.samples), j.header.SamplesPerSecond);
  return s.Data();
}

// Calls f(chunk) for the journal's samples in order; false when a read failed.
template <typename F>
bool ForEachChunk(const LeftJournal& j, F f) {
  QByteArray buf(static_cast<qsizetype>(std::min<int64_t>(kCopyChunk, j.samples)), '\0');
  for (int64_t done = 0; done < j.samples;) {
    const auto n = static_cast<qsizetype>(std::min<int64_t>(kCopyChunk, j.samples - done));
    if (!ReadAt(j.fd.get(), buf.data(), n, kJournalHeaderSize + done)) return false;
    if (!f(QByteArrayView(buf.constData(), n))) return false;
    done += n;
  }
  return true;
}

// True when the file holds exactly the WAV image of the journal.
bool HoldsTheRecording(const QString& path, const LeftJournal& j) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly) || f.size() != kWavHeaderSize + j.samples) return false;
  if (f.read(kWavHeaderSize) != WavHeaderFor(j)) return false;
  return ForEachChunk(j, [&](QByteArrayView chunk) { return f.read(chunk.size()) == chunk; });
}

// Writes the image Stop would have saved, without holding the samples in memory.
std::optional<QString> WriteWav(const QString& path, const LeftJournal& j) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) ||
      !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                           QFile::WriteUser)) {
    return file.errorString();
  }
  const QByteArray header = WavHeaderFor(j);
  const bool copied =
      file.write(header) == header.size() && ForEachChunk(j, [&](QByteArrayView chunk) {
        return file.write(chunk.data(), chunk.size()) == chunk.size();
      });
  if (!copied || !file.commit()) {
    const QString error = file.errorString();
    file.cancelWriting();
    return error.isEmpty() ? QStringLiteral("cannot read the journal") : error;
  }
  return SyncFolder(QString::fromLatin1(kWavFolder));
}

TCallRecord CallFor(const LeftJournal& j, const QString& fileName) {
  const QDateTime start = QDateTime::fromMSecsSinceEpoch(j.header.StartMsUtc).toLocalTime();
  TCallRecord r;
  r.FileName = fileName;
  r.Date = CutToField(ShortDateText(start.date()), kDateCapacity);
  r.Time = CutToField(LongTimeText(start.time()), kTimeCapacity);
  r.Duration = CutToField(
      DurationText(kWavHeaderSize + j.samples, static_cast<int32_t>(j.header.SamplesPerSecond)),
      kDurationCapacity);
  r.Memo = CutToField(kRecoveredMemo, kMemoCapacity);
  return r;
}

// The journal, locked; nothing when a running recording holds it or it cannot be opened.
std::optional<LeftJournal> OpenLeftJournal(const QString& path, QString* line) {
  LeftJournal j;
  j.path = path;
  j.fd.Reset(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
  if (j.fd.get() < 0) {
    *line = QStringLiteral("Recording journal %1 cannot be opened: %2")
                .arg(Name(path), SystemErrorText(errno));
    return std::nullopt;
  }
  if (::flock(j.fd.get(), LOCK_EX | LOCK_NB) != 0) return std::nullopt;  // live
  struct stat st {};
  if (::fstat(j.fd.get(), &st) != 0) {
    *line = QStringLiteral("Recording journal %1 cannot be read: %2")
                .arg(Name(path), SystemErrorText(errno));
    return std::nullopt;
  }
  QByteArray header(kJournalHeaderSize, '\0');
  const bool whole =
      st.st_size >= kJournalHeaderSize && ReadAt(j.fd.get(), header.data(), kJournalHeaderSize, 0);
  const auto decoded = whole ? DecodeJournalHeader(header) : std::nullopt;
  if (!whole || !decoded) {
    // Cut short inside its header: the recording ended before its first sample.
    if (st.st_size < kJournalHeaderSize) {
      QFile::remove(path);
      *line = QStringLiteral("Recording journal %1 held no sound and was removed").arg(Name(path));
    } else {
      *line = QStringLiteral("%1 is not a recording journal; it was left as it is").arg(Name(path));
    }
    return std::nullopt;
  }
  j.header = *decoded;
  j.samples = std::min<int64_t>(st.st_size - kJournalHeaderSize, kMaxWavDataLength);
  return j;
}

QString Recover(LeftJournal& j) {
  const QString sidePath = QString::fromLatin1(kCallSideFileName);
  if (j.samples == 0) {
    QFile::remove(j.path);
    return QStringLiteral("Recording journal %1 held no sound and was removed").arg(Name(j.path));
  }
  if (j.header.SamplesPerSecond == 0) {
    return QStringLiteral("%1 is not a recording journal; it was left as it is").arg(Name(j.path));
  }
  const auto failed = [&](const QString& why) {
    return QStringLiteral("Recording journal %1 could not be recovered: %2").arg(Name(j.path), why);
  };
  QString error;
  std::optional<std::vector<TCallRecord>> side = ReadCallRecords(sidePath, &error);
  if (!side) return failed(sidePath + QStringLiteral(": ") + error);

  // The first name of the journal's sequence that is free or already this recording's.
  std::optional<TCallRecord> call;
  for (int k = 0; k < kNameTries && !call; ++k) {
    const TCallRecord candidate = CallFor(j, FileNameFromNumber(j.header.Identity + k));
    const bool listed = std::any_of(side->begin(), side->end(),
                                    [&](const TCallRecord& r) { return SameCall(r, candidate); });
    const QString wav = *WavFilePath(candidate.FileName);  // six letters: always plain
    if (listed) {
      call = candidate;
    } else if (const bool absent = !QFile::exists(wav); absent || HoldsTheRecording(wav, j)) {
      if (const auto err = absent ? WriteWav(wav, j) : std::nullopt) return failed(*err);
      side->push_back(candidate);
      if (const auto err = SaveCallFile(sidePath, *side)) return failed(*err);
      SyncFolder(QStringLiteral("."));
      call = candidate;
    }
  }
  if (!call) return failed(QStringLiteral("no free file name"));
  if (!QFile::remove(j.path)) return failed(QStringLiteral("the journal cannot be removed"));
  SyncFolder(QString::fromLatin1(kWavFolder));
  return QStringLiteral("Recording of %1 %2 recovered (%3)")
      .arg(call->Date, call->Time, call->Duration);
}
}  // namespace

QStringList RecoverRecordings() {
  const QDir folder(QString::fromLatin1(kWavFolder));
  if (!folder.exists()) return {};
  QStringList lines;
  std::vector<LeftJournal> journals;
  const QStringList names =
      folder.entryList({QStringLiteral("*") + QString::fromLatin1(kJournalExtension)}, QDir::Files);
  for (const QString& name : names) {
    QString line;
    if (auto j = OpenLeftJournal(folder.filePath(name), &line)) {
      journals.push_back(std::move(*j));
    } else if (!line.isEmpty()) {
      lines << line;
    }
  }
  // Calls are listed in the order they were recorded.
  std::sort(journals.begin(), journals.end(), [](const LeftJournal& a, const LeftJournal& b) {
    return a.header.StartMsUtc < b.header.StartMsUtc;
  });
  for (LeftJournal& j : journals) lines << Recover(j);
  return lines;
}
