#include "common/CallInvariants.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <algorithm>
#include <map>

#include "calls/CallFile.h"
#include "sound/RecordingFiles.h"
#include "sound/WavFormat.h"

namespace {
constexpr int64_t kNsPerMs = 1000000;

// A row and what its WAV file holds.
struct TRowFile {
  int row = 0;  // 1..
  QString name;
  QByteArray samples;
  std::vector<size_t> calls;  // the calls whose samples these are (several: too short to tell)
};

QString RowText(const TRowFile& r) {
  return QStringLiteral("row %1 (%2)").arg(r.row).arg(r.name);
}
}  // namespace

size_t THeardCall::SentBy(int64_t ns) const {
  size_t bytes = 0;
  for (const auto& [at, total] : marks) {
    if (at > ns) break;
    bytes = total;
  }
  return bytes;
}

std::vector<size_t> CallsOfSamples(const QByteArray& samples,
                                   const std::vector<THeardCall>& calls) {
  std::vector<size_t> found;
  const auto n = size_t(samples.size());
  for (size_t k = 0; k < calls.size() && n > 0; ++k) {
    const std::string& sent = calls[k].sent;
    if (n <= sent.size() && sent.compare(0, n, samples.constData(), n) == 0) found.push_back(k);
  }
  return found;
}

std::optional<QByteArray> SamplesOfWav(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray image = f.readAll();
  const std::optional<TWavInfo> info = ParseWav(image);
  if (!info || info->channels != 1 || info->bitsPerSample != 8 ||
      info->dataOffset + info->dataLength != image.size()) {
    return std::nullopt;
  }
  return image.mid(info->dataOffset, info->dataLength);
}

QStringList FilesOfWavFolder(const QString& folder, const QString& pattern) {
  return QDir(QDir(folder).filePath(QString::fromLatin1(kWavFolder)))
      .entryList({pattern}, QDir::Files, QDir::Name);
}

std::optional<std::vector<TCallRecord>> RowsOnDisk(const QString& folder, QString* error) {
  const QDir dir(folder);
  auto rows = ReadCallRecords(dir.filePath(QString::fromLatin1(kCallFileName)), error);
  const auto side = ReadCallRecords(dir.filePath(QString::fromLatin1(kCallSideFileName)), error);
  if (!rows || !side) return std::nullopt;
  MergeCalls(*rows, *side);
  return rows;
}

QStringList CheckCalls(const TCallCheck& check) {
  QStringList violations;
  const QDir dir(check.folder);

  // Every row's file, and the call it holds.
  std::vector<TRowFile> files;
  QSet<QString> names;
  for (size_t i = 0; i < check.rows.size(); ++i) {
    TRowFile r;
    r.row = static_cast<int>(i) + 1;
    r.name = check.rows[i].FileName;
    if (names.contains(r.name)) {
      violations << QStringLiteral("%1: the file name is in two rows").arg(RowText(r));
      continue;
    }
    names.insert(r.name);
    const std::optional<QString> path = WavFilePath(r.name);
    if (!path) {
      violations << QStringLiteral("%1: not a plain file name").arg(RowText(r));
      continue;
    }
    if (!QFile::exists(dir.filePath(*path))) {
      violations << QStringLiteral("%1: its WAV file is missing").arg(RowText(r));
      continue;
    }
    const std::optional<QByteArray> samples = SamplesOfWav(dir.filePath(*path));
    if (!samples) {
      violations << QStringLiteral("%1: its file is no whole 8-bit mono WAV file").arg(RowText(r));
      continue;
    }
    r.samples = *samples;
    if (r.samples.isEmpty()) continue;
    r.calls = CallsOfSamples(r.samples, check.calls);
    if (r.calls.empty()) {
      violations << QStringLiteral("%1: its %2 samples are none the modem sent")
                        .arg(RowText(r))
                        .arg(r.samples.size());
    }
    files.push_back(std::move(r));
  }

  // No call in two rows (a file too short to tell whose it is counts for none).
  std::map<size_t, int> rowOfCall;
  for (const TRowFile& r : files) {
    if (r.calls.size() != 1) continue;
    const auto [at, first] = rowOfCall.emplace(r.calls.front(), r.row);
    if (!first) {
      violations << QStringLiteral("recording %1 appears twice: rows %2 and %3")
                        .arg(r.calls.front() + 1)
                        .arg(at->second)
                        .arg(r.row);
    }
  }

  // Every sample owed is in a row's file.
  for (size_t k = 0; k < check.calls.size(); ++k) {
    const THeardCall& call = check.calls[k];
    if (call.deletedNs && *call.deletedNs <= check.cutNs) continue;
    const int64_t cut = std::min(check.cutNs, call.killedNs.value_or(check.cutNs));
    size_t owed = call.SentBy(cut - (kRecentSamplesMs + kSyncAllowanceMs) * kNsPerMs);
    if (call.savedLength) owed = std::min(owed, *call.savedLength);
    if (owed == 0) continue;
    size_t kept = 0;
    for (const TRowFile& r : files) {
      if (std::find(r.calls.begin(), r.calls.end(), k) != r.calls.end()) {
        kept = std::max(kept, size_t(r.samples.size()));
      }
    }
    if (kept < owed) {
      violations << QStringLiteral(
                        "recording %1: %2 samples older than %3 ms before the cut are "
                        "owed, a file with a row holds %4")
                        .arg(k + 1)
                        .arg(owed)
                        .arg(kRecentSamplesMs)
                        .arg(kept);
    }
  }

  // No recording outside the list, no journal.
  if (!check.insideDelete) {
    for (const QString& file : FilesOfWavFolder(check.folder, QStringLiteral("*.wav"))) {
      if (!names.contains(file.chopped(int(std::char_traits<char>::length(kWavExtension))))) {
        violations << QStringLiteral("wav/%1 has no row").arg(file);
      }
    }
  }
  if (!check.journalsLeft) {
    for (const QString& file : FilesOfWavFolder(check.folder, QStringLiteral("*.journal"))) {
      violations << QStringLiteral("wav/%1 is left").arg(file);
    }
  }
  return violations;
}
