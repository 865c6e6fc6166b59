// A first start stores the same profile however the modem's answers reach the port:
// every shipped virtual modem, with whole answers and with answers cut into pieces of
// 1 to 64 bytes a few milliseconds apart.
#include <QFile>
#include <algorithm>

#include "setup/DiscoveryFixture.h"
#include "vmodem/Profile.h"

namespace {

constexpr size_t kPieceSizes[] = {1, 2, 3, 5, 7, 13, 64};
constexpr int kGapMinMs = 1;
constexpr int kGapMaxMs = 4;

struct Outcome {
  QStringList entries;  // Tavrin.ini, "Section/key=value" in file order
  QStringList messages;
};

vmodem::Faults Pieces(size_t low, size_t high, unsigned seed) {
  vmodem::Faults faults;
  faults.splitBytes = low;
  faults.splitBytesMax = high;
  faults.splitGapMs = kGapMinMs;
  faults.splitGapMaxMs = kGapMaxMs;
  faults.seed = seed;
  return faults;
}

class FirstStartOnModem : public Discovery {
 protected:
  void SetUp() override {
    Discovery::SetUp();
    // Long enough for an answer line in pieces; short, since the vcon modem makes the
    // probe wait this long for each "ok" it never sends.
    link.TimeoutFactor = 100;
  }

  // Scan, confirm the first modem found, probe: what the settings file then holds.
  Outcome FirstStart(const std::string& profile, const vmodem::Faults& faults) {
    modems.clear();
    QFile::remove(dir.filePath(QLatin1String(kSettingsFileName)));
    messages.clear();
    vmodem::Options options;
    options.profile = profile;
    options.faults = faults;
    AddModem(1, options);
    modemList.FindModems();
    if (modemList.FoundCount > 0) {
      modemList.show();
      modemList.OkBtnClick();
      modemList.hide();
    }
    return {IniEntries(), messages};
  }

  static void ExpectSameProfile(const Outcome& got, const Outcome& whole) {
    EXPECT_EQ(got.entries.size(), whole.entries.size());
    for (qsizetype i = 0; i < std::min(got.entries.size(), whole.entries.size()); ++i) {
      EXPECT_EQ(got.entries[i], whole.entries[i]) << "entry " << i;
    }
    EXPECT_EQ(got.messages, whole.messages);
  }

  // The whole-answer profile is a real one, so that equal profiles mean something.
  static void ExpectSound(const std::string& profile, const Outcome& whole) {
    const vmodem::Profile p = vmodem::Profile::load(profile);
    if (p.silent) {
      EXPECT_TRUE(whole.entries.isEmpty());
      return;
    }
    const auto gmm = p.ident.find("GMM");
    const std::string model = gmm != p.ident.end() ? gmm->second : p.ident.at("FMM");
    EXPECT_TRUE(whole.entries.contains(QString::fromStdString("Modem/Model=" + model)));
    if (p.methods.empty()) return;
    EXPECT_FALSE(whole.entries.contains("Modem/VoiceCompression=at+vsm=none"));
    EXPECT_FALSE(whole.entries.contains("Modem/SamplingFreq=0"));
    EXPECT_TRUE(whole.messages.isEmpty()) << whole.messages.join('|').toStdString();
  }
};

class SplitAnswers : public FirstStartOnModem, public ::testing::WithParamInterface<std::string> {};

}  // namespace

TEST_P(SplitAnswers, StoredProfileDoesNotDependOnThePieces) {
  const Outcome whole = FirstStart(GetParam(), {});
  ExpectSound(GetParam(), whole);
  // In the XML report (--gtest_output=xml): the profile each virtual modem gets.
  RecordProperty("profile", whole.entries.join(QLatin1Char(';')).toStdString());
  for (size_t size : kPieceSizes) {
    SCOPED_TRACE("pieces of " + std::to_string(size) + " bytes");
    ExpectSameProfile(FirstStart(GetParam(), Pieces(size, size, static_cast<unsigned>(size))),
                      whole);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryProfile, SplitAnswers,
                         ::testing::ValuesIn(vmodem::Profile::shippedNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

// As a USB modem's packets and a busy line deliver them: 1 to 7 bytes at a time.
TEST_F(FirstStartOnModem, PiecesOfChangingSizeGiveTheWholeAnswerProfile) {
  const Outcome whole = FirstStart("conexant", {});
  ExpectSound("conexant", whole);
  for (unsigned seed : {11u, 12u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    ExpectSameProfile(FirstStart("conexant", Pieces(1, 7, seed)), whole);
  }
}
