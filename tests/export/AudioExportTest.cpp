// Exported audio decoded back through libsndfile: FLAC and WAV keep every sample, Opus
// keeps the length and the pitch at the rates it takes and at those it must convert.
#include <gtest/gtest.h>

#include <QRandomGenerator>

#include "ExportTestSupport.h"
#include "export/CallExport.h"

namespace {
// Every 8-bit value, then noise: a lossless format must give each one back.
QByteArray AllValuesAndNoise(qsizetype noise) {
  QByteArray s;
  for (int v = 0; v < 256; ++v) s.append(static_cast<char>(v));
  QRandomGenerator gen(23);
  for (qsizetype i = 0; i < noise; ++i) s.append(static_cast<char>(gen.bounded(256)));
  return s;
}

TExportReport ExportOne(TavrinFolderFixture& fx, const TCallRecord& call, const QByteArray& wav,
                        TExportFormat format) {
  fx.Add(call, wav);
  TExportRequest request{fx.folder, fx.target, format};
  return ExportCalls({call}, request);
}

// The strength of `hz` in the samples (Goertzel), relative to the signal's energy.
double ToneShare(const std::vector<short>& x, double hz, int rate) {
  const double w = 2 * M_PI * hz / rate;
  double s1 = 0, s2 = 0, energy = 0;
  for (const short v : x) {
    const double s0 = v + 2 * std::cos(w) * s1 - s2;
    s2 = s1;
    s1 = s0;
    energy += double(v) * v;
  }
  const double power = s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2;
  return energy > 0 ? 2 * power / (energy * x.size()) : 0;
}
}  // namespace

TEST(AudioExportTest, FlacAndWavGiveBackEveryRecordedSampleWithTheirTags) {
  const QByteArray samples = AllValuesAndNoise(20000);
  for (const TExportFormat format : {TExportFormat::kFlac, TExportFormat::kWav}) {
    SCOPED_TRACE(ExportExtension(format).toStdString());
    TavrinFolderFixture fx;
    const QString memo = QString::fromUtf8("5551234 Jürgen, \"Büro\" 日本");
    const TExportReport report =
        ExportOne(fx, Call("ABCDEF", kMay1, memo), WavImage8(samples, 8000), format);
    ASSERT_TRUE(report.Complete()) << report.failure.toStdString();
    ASSERT_EQ(report.exported.size(), 1u);
    EXPECT_EQ(report.exported[0].file, "2024-05-01_22-03-04." + ExportExtension(format));

    const TDecoded d = Decode(QDir(fx.target).filePath(report.exported[0].file));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.info.samplerate, 8000);
    EXPECT_EQ(d.info.channels, 1);
    EXPECT_EQ(d.info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
    ASSERT_EQ(d.samples.size(), static_cast<size_t>(samples.size()));
    int differing = 0;
    for (qsizetype i = 0; i < samples.size(); ++i) {
      const int recorded = (static_cast<uint8_t>(samples[i]) - 128) * 256;
      differing += d.samples[static_cast<size_t>(i)] != recorded;
    }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(d.tags.at(SF_STR_COMMENT), memo);
    EXPECT_EQ(d.tags.at(SF_STR_DATE), "2024-05-01T22:03:04");
    // 20256 samples at 8000/s are 2.532 s: 3 whole seconds.
    EXPECT_EQ(d.tags.at(SF_STR_TITLE), "Call 2024-05-01 22:03:04 (00:00:03)");
  }
}

TEST(AudioExportTest, WavTagsLieInAListInfoChunk) {
  TavrinFolderFixture fx;
  const TExportReport report =
      ExportOne(fx, Call("ABCDEF", kMay1, QStringLiteral("Anna")),
                WavImage8(Tone8(440, 8000, 0.5), 8000), TExportFormat::kWav);
  ASSERT_EQ(report.exported.size(), 1u);
  const QByteArray bytes = ReadAll(QDir(fx.target).filePath(report.exported[0].file));
  const qsizetype list = bytes.indexOf("LIST");
  ASSERT_GE(list, 0);
  EXPECT_EQ(bytes.mid(list + 8, 4), "INFO");
  EXPECT_GT(bytes.indexOf("ICMT", list), list);
  EXPECT_GT(bytes.indexOf("Anna", list), list);
}

TEST(AudioExportTest, SixteenBitStereoFlacIsLosslessToo) {
  // Not what the program records, but a WAV in "wav" may be any PCM it can play.
  TavrinFolderFixture fx;
  const int frames = 5000;
  QByteArray data;
  QRandomGenerator gen(7);
  std::vector<short> values;
  for (int i = 0; i < 2 * frames; ++i) {
    const short v = static_cast<short>(gen.bounded(65536) - 32768);
    values.push_back(v);
    data.append(static_cast<char>(v & 0xff)).append(static_cast<char>((v >> 8) & 0xff));
  }
  QByteArray image = "RIFF" + QByteArray(4, '\0') + "WAVEfmt ";
  const auto put = [&](uint32_t v, int n) {
    for (int i = 0; i < n; ++i) image.append(static_cast<char>((v >> (8 * i)) & 0xff));
  };
  put(16, 4), put(1, 2), put(2, 2), put(16000, 4), put(64000, 4), put(4, 2), put(16, 2);
  image += "data";
  put(static_cast<uint32_t>(data.size()), 4);
  image += data;
  const TExportReport report = ExportOne(fx, Call("STEREO", kMay1), image, TExportFormat::kFlac);
  ASSERT_EQ(report.exported.size(), 1u);
  const TDecoded d = Decode(QDir(fx.target).filePath(report.exported[0].file));
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.info.channels, 2);
  EXPECT_EQ(d.info.samplerate, 16000);
  EXPECT_EQ(d.samples, values);
}

TEST(AudioExportTest, OpusKeepsTheLengthAndThePitchAtEachRecordingRate) {
  struct Case {
    uint32_t recorded;
    int written;  // the rate Opus takes
  };
  for (const Case c : {Case{8000, 8000}, Case{11025, 12000}, Case{7200, 8000}}) {
    SCOPED_TRACE(c.recorded);
    TavrinFolderFixture fx;
    const double seconds = 3.0;
    const TExportReport report =
        ExportOne(fx, Call("TONEAB", kMay1),
                  WavImage8(Tone8(1000, c.recorded, seconds), c.recorded), TExportFormat::kOpus);
    ASSERT_TRUE(report.Complete()) << report.skipped.size() << report.failure.toStdString();
    ASSERT_EQ(report.exported.size(), 1u);
    EXPECT_EQ(report.exported[0].file, "2024-05-01_22-03-04.opus");
    const TDecoded d = Decode(QDir(fx.target).filePath(report.exported[0].file));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.info.format, SF_FORMAT_OGG | SF_FORMAT_OPUS);
    EXPECT_EQ(d.info.samplerate, c.written);
    const double expected = seconds * c.written;
    if (c.recorded == static_cast<uint32_t>(c.written)) {
      EXPECT_EQ(static_cast<double>(d.samples.size()), expected);
    } else {
      EXPECT_NEAR(static_cast<double>(d.samples.size()), expected, 2);
    }
    // The middle second, away from the codec's start: the tone is there, its
    // neighbours a fifth away are not.
    const std::vector<short> middle(d.samples.begin() + c.written,
                                    d.samples.begin() + 2 * c.written);
    const double at = ToneShare(middle, 1000, c.written);
    EXPECT_GT(at, 0.8);
    EXPECT_LT(ToneShare(middle, 800, c.written), 0.05 * at);
    EXPECT_LT(ToneShare(middle, 1250, c.written), 0.05 * at);
  }
}

TEST(AudioExportTest, OpusStaysWithinItsBitRateOnNoise) {
  TavrinFolderFixture fx;
  const double seconds = 30;
  QByteArray noise(static_cast<qsizetype>(seconds * 8000), '\0');
  QRandomGenerator gen(5);
  for (char& b : noise) b = static_cast<char>(gen.bounded(256));
  const TExportReport report =
      ExportOne(fx, Call("NOISEA", kMay1), WavImage8(noise, 8000), TExportFormat::kOpus);
  ASSERT_EQ(report.exported.size(), 1u);
  const qint64 size = QFileInfo(QDir(fx.target).filePath(report.exported[0].file)).size();
  EXPECT_LE(size * 8 / seconds, kOpusBitrate);
  EXPECT_GT(size * 8 / seconds, kOpusBitrate / 2);
}
