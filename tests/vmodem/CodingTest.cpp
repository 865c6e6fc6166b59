// Sample coding, the line sources, ranges, method lines and the program's options.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <fstream>

#include "vmodem/CommandLine.h"
#include "vmodem/LineSource.h"
#include "vmodem/ParamRange.h"
#include "vmodem/Profile.h"
#include "vmodem/SampleCoder.h"

namespace vmodem::test {
namespace {

std::string encodeAll(Coding coding, std::initializer_list<float> samples) {
  SampleCoder coder(coding);
  std::string out;
  for (float s : samples) coder.encode(s, out);
  return out;
}

TEST(CodingTest, EightBitAndSixteenBitCodings) {
  EXPECT_EQ(encodeAll(Coding::Unsigned8, {0.0f, 1.0f, -1.0f, 2.0f}), "\x80\xff\x01\xff");
  EXPECT_EQ(encodeAll(Coding::Signed8, {0.0f, 1.0f, -1.0f}), std::string("\x00\x7f\x81", 3));
  EXPECT_EQ(encodeAll(Coding::Signed16, {0.0f, 1.0f, -1.0f}),
            std::string("\x00\x00\xff\x7f\x01\x80", 6));
  EXPECT_EQ(encodeAll(Coding::Signed14, {1.0f}), std::string("\xff\x1f", 2));
  EXPECT_EQ(encodeMuLaw(0), 0xff);
  EXPECT_EQ(encodeMuLaw(32767), 0x80);
  EXPECT_EQ(encodeMuLaw(-32768), 0x00);
  EXPECT_EQ(encodeALaw(0), 0xd5);
  EXPECT_EQ(encodeALaw(32767), 0xaa);
  EXPECT_EQ(encodeALaw(-32768), 0x2a);
}

// A reference decoder: the coded tone must come back close to the original.
TEST(CodingTest, ImaAdpcmDecodesBackToTheSignal) {
  static const int steps[89] = {
      7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
      25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
      88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
      307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
      1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
      3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
      12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
  static const int shift[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
  SampleCoder coder(Coding::ImaAdpcm);
  std::vector<float> tone;
  std::string coded;
  for (int n = 0; n < 800; ++n) {
    tone.push_back(0.5f * static_cast<float>(std::sin(2 * 3.14159265 * 440 * n / 8000.0)));
    coder.encode(tone.back(), coded);
  }
  ASSERT_EQ(coded.size(), 400u);
  int predicted = 0, index = 0;
  double worst = 0;
  for (size_t i = 0; i < tone.size(); ++i) {
    const int nibble = (static_cast<unsigned char>(coded[i / 2]) >> ((i % 2) * 4)) & 0x0f;
    const int step = steps[index];
    int delta = step >> 3;
    if (nibble & 4) delta += step;
    if (nibble & 2) delta += step >> 1;
    if (nibble & 1) delta += step >> 2;
    predicted = std::clamp(predicted + ((nibble & 8) ? -delta : delta), -32768, 32767);
    index = std::clamp(index + shift[nibble & 7], 0, 88);
    if (i > 100) worst = std::max(worst, std::abs(predicted / 32768.0 - tone[i]));
  }
  EXPECT_LT(worst, 0.05);
}

TEST(CodingTest, WavFileIsMixedToMonoAndResampled) {
  const std::string path = ::testing::TempDir() + "/vmodem-line-" + std::to_string(::getpid());
  {
    std::ofstream out(path, std::ios::binary);
    auto le = [&](uint32_t v, int bytes) {
      for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((v >> (8 * i)) & 0xff));
    };
    const int frames = 16;
    out << "RIFF";
    le(36 + frames * 4, 4);
    out << "WAVEfmt ";
    le(16, 4);
    le(1, 2);
    le(2, 2);
    le(16000, 4);
    le(16000 * 4, 4);
    le(4, 2);
    le(16, 2);
    out << "data";
    le(frames * 4, 4);
    for (int f = 0; f < frames; ++f) {
      le(static_cast<uint16_t>(f * 1024), 2);  // left: a ramp
      le(static_cast<uint16_t>(f * 1024), 2);  // right: the same
    }
  }
  const WavData wav = readWav(path);
  EXPECT_EQ(wav.rate, 16000);
  ASSERT_EQ(wav.samples.size(), 16u);
  EXPECT_FLOAT_EQ(wav.samples[3], 3 * 1024 / 32768.0f);
  LineOptions line;
  line.kind = LineOptions::Kind::Wav;
  line.wavPath = path;
  auto source = makeLineSource(line);
  source->start(8000, 1);
  for (int i = 0; i < 8; ++i) EXPECT_FLOAT_EQ(source->next(), wav.samples[2 * i]) << i;
  EXPECT_FLOAT_EQ(source->next(), wav.samples[0]);  // round again
  ::unlink(path.c_str());
  EXPECT_THROW(readWav(path), std::runtime_error);
}

TEST(CodingTest, SyntheticCallRingsThenSpeaksAndIsTheSameEveryTime) {
  LineOptions line;
  auto a = makeLineSource(line);
  auto b = makeLineSource(line);
  a->start(8000, 1);
  b->start(8000, 1);
  double ringEnergy = 0, gapEnergy = 0, voicePeak = 0;
  for (int n = 0; n < 8000 * 12; ++n) {
    const float s = a->next();
    ASSERT_EQ(s, b->next());
    ASSERT_LE(std::abs(s), 1.0f);
    const double t = n / 8000.0;
    if (t < 1.5) ringEnergy += s * s;
    if (t >= 1.6 && t < 2.9) gapEnergy += s * s;
    if (t >= 5.0) voicePeak = std::max(voicePeak, static_cast<double>(std::abs(s)));
  }
  EXPECT_GT(ringEnergy, 100 * gapEnergy);
  EXPECT_GT(voicePeak, 0.2);
}

TEST(CodingTest, VariedCallsDifferFromOneStreamToTheNextAndTheFirstIsTheUsualOne) {
  LineOptions usual;
  LineOptions varied;
  varied.variedCalls = true;
  auto plain = makeLineSource(usual);
  auto first = makeLineSource(varied);
  auto second = makeLineSource(varied);
  plain->start(8000, 5);  // without the option every stream is the same
  first->start(8000, 1);
  second->start(8000, 2);
  int differ = 0;
  for (int n = 0; n < 800; ++n) {
    const float a = plain->next();
    const float b = first->next();
    ASSERT_EQ(a, b) << n;
    differ += b != second->next();
  }
  EXPECT_GT(differ, 700);
  first->start(8000, 2);  // a stream's voice depends on its number alone
  second->start(8000, 2);
  for (int n = 0; n < 800; ++n) ASSERT_EQ(first->next(), second->next()) << n;
}

TEST(CodingTest, ArgumentsAreCheckedAgainstAnnouncedRanges) {
  EXPECT_TRUE(argumentsFit("(0-255)", "128"));
  EXPECT_FALSE(argumentsFit("(0-255)", "256"));
  EXPECT_TRUE(argumentsFit("(0-255),(0-255)", "127,50"));
  EXPECT_TRUE(argumentsFit("(0-255),(0-255)", ",50"));
  EXPECT_FALSE(argumentsFit("(0-255),(0-255)", "1,2,3"));
  EXPECT_TRUE(argumentsFit("(0,1,4-6)", "5"));
  EXPECT_FALSE(argumentsFit("(0,1,4-6)", "3"));
  EXPECT_FALSE(argumentsFit("(0-2)", "x"));
  EXPECT_TRUE(argumentsFit("(0-2),\"text\"", "1,anything"));
  EXPECT_EQ(splitArguments("1,(2,3),\"a,b\""), (std::vector<std::string>{"1", "(2,3)", "\"a,b\""}));
}

TEST(CodingTest, MethodLinesInTheirThreeForms) {
  auto three = parseMethodLine("128,\"8-BIT LINEAR\",(7200,8000,11025)", ',');
  ASSERT_TRUE(three);
  EXPECT_EQ(three->id, 128);
  EXPECT_EQ(three->bits, 8);
  EXPECT_EQ(three->coding, Coding::Unsigned8);
  EXPECT_EQ(three->rates, (std::vector<int>{7200, 8000, 11025}));
  EXPECT_EQ(three->defaultRate, 8000);

  auto seven = parseMethodLine("129,\"16-BIT LINEAR\",16,0,(7200,8000,11025),(0),(0)", ',');
  ASSERT_TRUE(seven);
  EXPECT_EQ(seven->coding, Coding::Signed16);

  auto plain = parseMethodLine("0,\"SIGNED PCM\",8,0,8000,0,0", ',');
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->coding, Coding::Signed8);
  EXPECT_EQ(plain->rates, std::vector<int>{8000});

  auto semi = parseMethodLine("1;\"UNSIGNED PCM\";8;0;(7200;11025);(0);(0)", ';');
  ASSERT_TRUE(semi);
  EXPECT_EQ(semi->coding, Coding::Unsigned8);
  EXPECT_EQ(semi->defaultRate, 7200);

  EXPECT_EQ(parseMethodLine("2,\"G.711U\",8,0,8000,0,0", ',')->coding, Coding::MuLaw);
  EXPECT_EQ(parseMethodLine("4,\"IMA ADPCM\",4,0,(4800-11025),0,0", ',')->rates,
            (std::vector<int>{4800, 7200, 8000, 9600, 11025}));
  EXPECT_FALSE(parseMethodLine("x,\"NAME\",(8000)", ','));
  EXPECT_FALSE(parseMethodLine("1,\"NAME\",8,0", ','));
}

TEST(CodingTest, CommandLineOptions) {
  const auto cl = parseCommandLine(
      {"--link",    "./ttyV0", "--profile",      "lucent", "--line",         "tone:440",
       "--event",   "b@2.5",   "--split",        "3:40",   "--delay",        "100",
       "--garbage", "4",       "--unplug-after", "1.5",    "--no-answer",    "--full-rate",
       "--capture", "c.raw",   "--transcript",   "t.log",  "--replug-after", "2",
       "--keep-state"});
  ASSERT_EQ(cl.error, "");
  const Options& o = cl.options;
  EXPECT_EQ(o.linkPath, "./ttyV0");
  EXPECT_EQ(o.profile, "lucent");
  EXPECT_EQ(o.line.kind, LineOptions::Kind::Tone);
  EXPECT_EQ(o.line.toneHz, 440.0);
  ASSERT_EQ(o.line.events.size(), 1u);
  EXPECT_EQ(o.line.events[0].code, 'b');
  EXPECT_EQ(o.line.events[0].seconds, 2.5);
  EXPECT_EQ(o.faults.splitBytes, 3u);
  EXPECT_EQ(o.faults.splitGapMs, 40);
  EXPECT_EQ(o.faults.delayMs, 100);
  EXPECT_EQ(o.faults.garbageBytes, 4u);
  EXPECT_EQ(o.faults.unplugAfterSeconds, 1.5);
  EXPECT_EQ(o.faults.replugAfterSeconds, 2.0);
  EXPECT_TRUE(o.faults.noAnswer);
  EXPECT_TRUE(o.fullLineRate);
  EXPECT_TRUE(o.keepStateOnClose);
  EXPECT_EQ(o.capturePath, "c.raw");
  EXPECT_EQ(o.transcriptPath, "t.log");

  EXPECT_EQ(parseCommandLine({"--line", "pattern:10 41"}).options.line.pattern,
            "\x10"
            "A");
  EXPECT_EQ(parseCommandLine({}).options.profile, "conexant");
  EXPECT_FALSE(parseCommandLine({}).options.keepStateOnClose);
  const Options ranged = parseCommandLine({"--split", "1-7:1-4", "--seed", "9"}).options;
  EXPECT_EQ(ranged.faults.splitBytes, 1u);
  EXPECT_EQ(ranged.faults.splitBytesMax, 7u);
  EXPECT_EQ(ranged.faults.splitGapMs, 1);
  EXPECT_EQ(ranged.faults.splitGapMaxMs, 4);
  EXPECT_EQ(ranged.faults.seed, 9u);
  for (const auto& bad : std::vector<std::vector<std::string>>{{"--link"},
                                                               {"--bogus"},
                                                               {"--line", "radio"},
                                                               {"--line", "pattern:1"},
                                                               {"--event", "b2"},
                                                               {"--split", "0"},
                                                               {"--split", "7-1"},
                                                               {"--split", "0-3"},
                                                               {"--split", "2:5-1"},
                                                               {"--seed", "x"},
                                                               {"--delay", "-5"},
                                                               {"--unplug-after", "soon"},
                                                               {"--garbage", "1e35"},
                                                               {"--split", "inf"},
                                                               {"--replug-after", "-1"}})
    EXPECT_NE(parseCommandLine(bad).error, "") << bad[0];
}

}  // namespace
}  // namespace vmodem::test
