#pragma once
// Tavrin folders for the export tests: calls in Calls.dbt with their WAV files, made
// with the program's own codec and header writer, and the decoding of exported files
// through libsndfile.
#include <sndfile.h>

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <map>
#include <vector>

#include "calls/CallFile.h"
#include "calls/CallNames.h"
#include "common/FileBytes.h"
#include "sound/VoiceStream.h"
#include "sound/WavFormat.h"

// A recording as the program writes it: the 44-byte header, then 8-bit samples.
inline QByteArray WavImage8(const QByteArray& samples, uint32_t rate) {
  TVoiceStream stream;
  stream.Assign(QByteArray(kWavHeaderSize, '\0'));
  WriteWavHeader(stream, static_cast<uint32_t>(samples.size()), rate);
  return stream.Data().left(kWavHeaderSize) + samples;
}

// A sine of `hz` at `rate`, 8-bit unsigned, for `seconds`.
inline QByteArray Tone8(double hz, uint32_t rate, double seconds, double amplitude = 100) {
  QByteArray s(static_cast<qsizetype>(std::llround(seconds * rate)), '\0');
  for (qsizetype i = 0; i < s.size(); ++i) {
    s[i] = static_cast<char>(128 + std::lround(amplitude * std::sin(2 * M_PI * hz * i / rate)));
  }
  return s;
}

// A call record in the program's own date and time texts.
inline TCallRecord Call(const QString& name, const QDateTime& at, const QString& memo = {},
                        const QString& duration = QStringLiteral("0:1")) {
  TCallRecord r;
  r.FileName = name;
  r.Date = ShortDateText(at.date());
  r.Time = LongTimeText(at.time());
  r.Duration = duration;
  r.Memo = memo;
  return r;
}

inline const QDateTime kMay1(QDate(2024, 5, 1), QTime(22, 3, 4));

// A Tavrin folder of its own.
struct TavrinFolderFixture {
  QTemporaryDir root;  // the folder sits inside, so that writes beside it can be seen
  QString folder = root.filePath(QStringLiteral("tavrin"));
  QString target = root.filePath(QStringLiteral("out"));
  std::vector<TCallRecord> calls;

  TavrinFolderFixture() { QDir().mkpath(folder + QStringLiteral("/wav")); }

  QString Path(const QString& name) const { return QDir(folder).filePath(name); }
  void WriteWav(const QString& name, const QByteArray& image) const {
    WriteRaw(Path(QStringLiteral("wav/") + name + QStringLiteral(".wav")), image);
  }
  // Adds the call to the list (and Calls.dbt), with its recording when one is given.
  void Add(const TCallRecord& call, const QByteArray& wavImage = {}) {
    if (!wavImage.isEmpty()) WriteWav(call.FileName, wavImage);
    calls.push_back(call);
    ASSERT_FALSE(SaveCallFile(Path(QString::fromLatin1(kCallFileName)), calls).has_value());
  }
  // Every file below the root with its bytes, for "nothing else changed".
  std::map<QString, QByteArray> Snapshot() const {
    std::map<QString, QByteArray> files;
    QDirIterator it(root.path(), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString path = it.next();
      files[path] = ReadAll(path);
    }
    return files;
  }
  // The names in the target folder, hidden ones included.
  QStringList TargetFiles() const {
    return QDir(target).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
  }
};

// An exported file decoded: its format, tags and samples as 16-bit values.
struct TDecoded {
  bool ok = false;
  SF_INFO info{};
  std::vector<short> samples;
  std::map<int, QString> tags;
};

inline TDecoded Decode(const QString& path) {
  TDecoded d;
  SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &d.info);
  if (!f) return d;
  for (const int type : {SF_STR_TITLE, SF_STR_DATE, SF_STR_COMMENT}) {
    if (const char* s = sf_get_string(f, type)) d.tags[type] = QString::fromUtf8(s);
  }
  d.samples.resize(static_cast<size_t>(d.info.frames * d.info.channels));
  const sf_count_t got = sf_readf_short(f, d.samples.data(), d.info.frames);
  d.samples.resize(static_cast<size_t>(got * d.info.channels));
  d.ok = sf_close(f) == 0 && got == d.info.frames;
  return d;
}
