#include "export/CallExport.h"

#include <QFile>
#include <QFileInfo>
#include <optional>

#include "export/AudioEncoder.h"
#include "export/ExportFile.h"
#include "export/ExportTexts.h"
#include "export/TavrinFolder.h"
#include "sound/WavFormat.h"

namespace {
constexpr int64_t kHalf = 2;

// The whole recording, mapped rather than read where the file system allows.
class TRecordingImage {
 public:
  explicit TRecordingImage(const QString& path) : file_(path) {}
  ~TRecordingImage() {
    if (mapped_) file_.unmap(mapped_);
  }
  TRecordingImage(const TRecordingImage&) = delete;
  TRecordingImage& operator=(const TRecordingImage&) = delete;

  // Nothing, with *reason set, when the file is missing, unreadable or no PCM WAV.
  std::optional<TWavInfo> Open(QString* reason) {
    if (!QFileInfo(file_.fileName()).isFile()) {
      *reason = QStringLiteral("the WAV file is missing");
      return std::nullopt;
    }
    if (!file_.open(QIODevice::ReadOnly)) {
      *reason = QStringLiteral("the WAV file cannot be read: %1").arg(file_.errorString());
      return std::nullopt;
    }
    const qint64 size = file_.size();
    mapped_ = size > 0 ? file_.map(0, size) : nullptr;
    if (mapped_) {
      image_ = QByteArray::fromRawData(reinterpret_cast<const char*>(mapped_), size);
    } else {
      image_ = file_.readAll();
      if (file_.error() != QFileDevice::NoError) {
        *reason = QStringLiteral("the WAV file cannot be read: %1").arg(file_.errorString());
        return std::nullopt;
      }
    }
    std::optional<TWavInfo> wav = ParseWav(image_);
    if (!wav) {
      *reason = QStringLiteral("the WAV file is damaged");
    }
    return wav;
  }
  const QByteArray& Image() const { return image_; }

 private:
  QFile file_;
  uchar* mapped_ = nullptr;
  QByteArray image_;
};

// Whole seconds, halves to the even neighbour, as the call list counts them.
int64_t RecordingSeconds(const TWavInfo& wav) {
  const int64_t frames = wav.dataLength / wav.blockAlign;
  const int64_t rate = wav.samplesPerSecond;
  int64_t s = frames / rate;
  const int64_t twiceRest = kHalf * (frames % rate);
  if (twiceRest > rate || (twiceRest == rate && s % 2 == 1)) ++s;
  return s;
}
}  // namespace

TExportReport ExportCalls(const std::vector<TCallRecord>& calls, const TExportRequest& request,
                          const TExportProgress& progress) {
  TExportReport report;
  if (const auto err = EnsureExportFolder(request.targetFolder)) {
    report.failure = *err;
    return report;
  }
  const QString ext = ExportExtension(request.format);
  for (size_t i = 0; i < calls.size(); ++i) {
    const TCallRecord& call = calls[i];
    auto skip = [&](const QString& reason) { report.skipped.push_back({call, reason}); };
    if (progress && !progress(i, calls.size(), 0.0)) {
      report.cancelled = true;
      break;
    }
    const std::optional<QDateTime> moment = ExportableMoment(call, &report.skipped);
    if (!moment) {
      continue;
    }
    TRecordingImage recording(*FolderWavPath(request.tavrinFolder, call.FileName));
    QString reason;
    const std::optional<TWavInfo> wav = recording.Open(&reason);
    if (!wav) {
      skip(reason);
      continue;
    }
    std::optional<TExportFile> out = TExportFile::Create(request.targetFolder, &report.failure);
    if (!out) {
      break;
    }
    const TExportTags tags = MakeExportTags(*moment, RecordingSeconds(*wav), call.Memo);
    const TEncodeProgress step = [&](double fraction) {
      return !progress || progress(i, calls.size(), fraction);
    };
    QString error;
    const TEncodeResult result =
        EncodeRecording(*wav, recording.Image(), out->Fd(), request.format, tags, step, &error);
    if (result == TEncodeResult::kCancelled) {
      report.cancelled = true;
      break;
    }
    if (result == TEncodeResult::kFailed) {
      skip(error);  // the recording's format, or the target ran full: the file is removed
      continue;
    }
    const std::optional<QString> name = out->Commit(ExportBaseName(*moment), ext, &report.failure);
    if (!name) {
      break;
    }
    report.exported.push_back({call, *name});
  }
  return report;
}
