#include "calls/RecordingRecovery.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "calls/CallFile.h"
#include "calls/CallNames.h"
#include "calls/CallWav.h"
#include "calls/JournalFormat.h"
#include "setup/FileDescriptor.h"
#include "setup/PrivateFile.h"
#include "sound/RecordingFiles.h"
#include "sound/VoiceStream.h"
#include "sound/WavFormat.h"

namespace {
constexpr int kNameTries = 64;
constexpr qsizetype kCopyChunk = qsizetype(1) << 20;

struct LeftJournal {
  QString path;
  TFd fd;
  TJournalHeader header;
  int64_t samples = 0;
  QString callName;  // the name Stop chose for the call, when it named the journal
};

// The calls recovery must know of: those of the list (when it can be read) and those
// beside it, where recovered calls go.
struct KnownCalls {
  std::vector<TCallRecord> list;
  std::vector<TCallRecord> side;
  bool Names(const QString& fileName) const {
    const auto named = [&](const TCallRecord& r) { return r.FileName == fileName; };
    return std::any_of(list.begin(), list.end(), named) ||
           std::any_of(side.begin(), side.end(), named);
  }
  bool Holds(const TCallRecord& call) const {
    const auto same = [&](const TCallRecord& r) { return SameCall(r, call); };
    return std::any_of(list.begin(), list.end(), same) ||
           std::any_of(side.begin(), side.end(), same);
  }
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

bool SamplesMatch(QFile& f, const LeftJournal& j) {
  return f.seek(kWavHeaderSize) &&
         ForEachChunk(j, [&](QByteArrayView chunk) { return f.read(chunk.size()) == chunk; });
}

// True when the file holds exactly the WAV image of the journal.
bool HoldsTheRecording(const QString& path, const LeftJournal& j) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly) || f.size() != kWavHeaderSize + j.samples) return false;
  return f.read(kWavHeaderSize) == WavHeaderFor(j) && SamplesMatch(f, j);
}

// True when the file is the recording Stop saved for the journal: its samples begin
// with those of the journal (a journal whose writes failed holds fewer).
bool SavedFrom(const QString& path, const LeftJournal& j) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) && f.size() >= kWavHeaderSize + j.samples &&
         SamplesMatch(f, j);
}

// Writes the image Stop would have saved, without holding the samples in memory.
std::optional<QString> WriteWav(const QString& fileName, const LeftJournal& j) {
  return SaveCallWavWith(fileName, [&](int fd) -> std::optional<QString> {
    const QByteArray header = WavHeaderFor(j);
    int writeError = 0;
    const bool copied = WriteAllToFd(fd, header.constData(), header.size()) &&
                        ForEachChunk(j, [&](QByteArrayView chunk) {
                          if (WriteAllToFd(fd, chunk.data(), chunk.size())) return true;
                          writeError = errno;
                          return false;
                        });
    if (copied) return std::nullopt;
    return writeError != 0 ? SystemErrorText(writeError)
                           : QStringLiteral("cannot read the journal");
  });
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

QString RemoveSoundless(const QString& path) {
  if (QFile::remove(path)) {
    return QStringLiteral("Recording journal %1 held no sound and was removed").arg(Name(path));
  }
  return QStringLiteral("Recording journal %1 held no sound but could not be removed")
      .arg(Name(path));
}

// Another version, or a damaged header: told once, then left alone under another name.
QString SetAside(const QString& path) {
  const QString aside = path + QString::fromLatin1(kUnreadableExtension);
  const QString what =
      QStringLiteral("Recording journal %1 cannot be read (another version or a damaged header)")
          .arg(Name(path));
  if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) != 0) {
    return what + QStringLiteral(" and could not be set aside: ") + SystemErrorText(errno);
  }
  return what + QStringLiteral("; it was set aside as ") + Name(aside);
}

// The journal, locked; nothing when a running recording holds it or nothing is left to
// recover (*line then says what was done, if anything).
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
  if (st.st_size < kJournalHeaderSize) {
    // Cut short inside its header: the recording ended before its first sample.
    *line = RemoveSoundless(path);
    return std::nullopt;
  }
  QByteArray header(kJournalHeaderSize, '\0');
  const auto decoded = ReadAt(j.fd.get(), header.data(), kJournalHeaderSize, 0)
                           ? DecodeJournalHeader(header)
                           : std::nullopt;
  if (!decoded || decoded->SamplesPerSecond == 0) {
    *line = SetAside(path);
    return std::nullopt;
  }
  j.header = *decoded;
  j.samples = std::min<int64_t>(st.st_size - kJournalHeaderSize, kMaxWavDataLength);
  if (j.samples == 0) {
    *line = RemoveSoundless(path);
    return std::nullopt;
  }
  const QString base = QFileInfo(path).completeBaseName();
  if (IsGeneratedFileName(base)) j.callName = base;
  return j;
}

// Journals cut short before they were put in place (a crash inside their making): they
// hold no sound. A live one, locked, is left.
void RemoveLeftParts(const QDir& folder, QStringList& lines) {
  const QStringList parts = folder.entryList(
      {QStringLiteral("*") + QString::fromLatin1(kJournalPartExtension)}, QDir::Files);
  for (const QString& name : parts) {
    const QString path = folder.filePath(name);
    TFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0 || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
    if (!QFile::remove(path)) {
      lines << QStringLiteral("Recording journal %1 held no sound but could not be removed")
                   .arg(name);
    }
  }
}

class Recovery {
 public:
  Recovery(LeftJournal& j, KnownCalls& known) : j_(j), known_(known) {}

  QString Run() {
    if (!j_.callName.isEmpty()) {
      if (auto line = RecoverNamed()) return *line;
    }
    return RecoverUnnamed();
  }

 private:
  QString Failed(const QString& why) const {
    return QStringLiteral("Recording journal %1 could not be recovered: %2")
        .arg(Name(j_.path), why);
  }

  static QString Recovered(const TCallRecord& call) {
    return QStringLiteral("Recording of %1 %2 recovered (%3)")
        .arg(call.Date, call.Time, call.Duration);
  }

  std::optional<QString> AddBeside(const TCallRecord& call) {
    known_.side.push_back(call);
    if (const auto error = SaveCallFile(QString::fromLatin1(kCallSideFileName), known_.side)) {
      known_.side.pop_back();
      return error;
    }
    return std::nullopt;
  }

  // The last step: the call and its file are on disk.
  std::optional<QString> RemoveJournal() const {
    if (!QFile::remove(j_.path)) return QStringLiteral("the journal cannot be removed");
    SyncFolder(QString::fromLatin1(kWavFolder));
    return std::nullopt;
  }

  // Stop named the journal after the call before it wrote the WAV file: the call is that
  // file, once, whatever of it reached the disk. Nothing when the name is another file's.
  std::optional<QString> RecoverNamed() {
    const QString& name = j_.callName;
    const QString wav = *WavFilePath(name);  // six letters: always plain
    const bool saved = QFile::exists(wav);
    if (saved && !SavedFrom(wav, j_)) return std::nullopt;
    if (!saved) {
      if (const auto error = WriteWav(name, j_)) return Failed(*error);
    }
    const bool listed = known_.Names(name);
    const TCallRecord call = CallFor(j_, name);
    if (!listed) {
      if (const auto error = AddBeside(call)) return Failed(*error);
    }
    if (const auto error = RemoveJournal()) return Failed(*error);
    if (saved && listed) {
      return QStringLiteral(
                 "Recording journal %1 was left after its call had been saved; it "
                 "was removed")
          .arg(Name(j_.path));
    }
    return Recovered(call);
  }

  // The first name of the journal's sequence that is free or already this recording's.
  QString RecoverUnnamed() {
    std::optional<TCallRecord> call;
    for (int k = 0; k < kNameTries && !call; ++k) {
      const TCallRecord candidate = CallFor(j_, FileNameFromNumber(j_.header.Identity + k));
      const QString wav = *WavFilePath(candidate.FileName);  // six letters: always plain
      if (known_.Holds(candidate)) {
        call = candidate;
      } else if (known_.Names(candidate.FileName)) {
        continue;  // another call's name
      } else if (const bool absent = !QFile::exists(wav); absent || HoldsTheRecording(wav, j_)) {
        if (const auto err = absent ? WriteWav(candidate.FileName, j_) : std::nullopt) {
          return Failed(*err);
        }
        if (const auto err = AddBeside(candidate)) return Failed(*err);
        call = candidate;
      }
    }
    if (!call) return Failed(QStringLiteral("no free file name"));
    if (const auto error = RemoveJournal()) return Failed(*error);
    return Recovered(*call);
  }

  LeftJournal& j_;
  KnownCalls& known_;
};
}  // namespace

QStringList RecoverRecordings() {
  const QDir folder(QString::fromLatin1(kWavFolder));
  if (!folder.exists()) return {};
  QStringList lines;
  RemoveLeftParts(folder, lines);
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
  if (journals.empty()) return lines;

  KnownCalls known;
  QString error;
  // A list that cannot be read holds no call known here; the merge at its next reading
  // keeps a call of one file once.
  known.list = ReadCallRecords(QString::fromLatin1(kCallFileName), &error)
                   .value_or(std::vector<TCallRecord>{});
  const QString sidePath = QString::fromLatin1(kCallSideFileName);
  std::optional<std::vector<TCallRecord>> side = ReadCallRecords(sidePath, &error);
  // Calls are listed in the order they were recorded.
  std::sort(journals.begin(), journals.end(), [](const LeftJournal& a, const LeftJournal& b) {
    return a.header.StartMsUtc < b.header.StartMsUtc;
  });
  if (!side) {
    for (const LeftJournal& j : journals) {
      lines << QStringLiteral("Recording journal %1 could not be recovered: %2: %3")
                   .arg(Name(j.path), sidePath, error);
    }
    return lines;
  }
  known.side = std::move(*side);
  for (LeftJournal& j : journals) lines << Recovery(j, known).Run();
  return lines;
}
