// Each shipped profile answers as the modem it describes.
#include <algorithm>

#include "ModemFixture.h"

namespace vmodem::test {
namespace {

class ProfileTest : public ModemTest {};

TEST_F(ProfileTest, AllShippedProfilesLoad) {
  const auto names = Profile::shippedNames();
  for (const char* expected : {"conexant", "lucent", "linear7", "signedpcm", "vcon", "semicolon",
                               "dataonly", "voiceonly", "nogmm", "silent", "speakerline"})
    EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
  for (const auto& name : names) {
    const Profile p = Profile::load(name);
    EXPECT_FALSE(p.description.empty()) << name;
    EXPECT_EQ(p.methods.size(), p.methodAnswer.size()) << name;
  }
}

// The diagnostics report's queries, after voice mode: every one gets a final answer.
TEST_F(ProfileTest, EveryQueryOfTheDiagnosticsGetsAnAnswerFromEveryTalkingProfile) {
  const char* queries[] = {"ate0",     "at+fclass=8", "at+fclass=?", "at+VNH=?", "at+FMI?",
                           "at+FMM?",  "at+FMR?",     "at+GMI?",     "at+GMM?",  "at+GMR?",
                           "at+FLO=?", "at+VIP=?",    "at+VTS=?",    "at+VXT=?", "at+VGR=?",
                           "at+VGT=?", "at+VIT=?",    "at+VLS=?",    "at+VRA=?", "at+VRN=?",
                           "at+VSD=?", "at+VSM=?",    "at+VTD=?",    "at+VDR=?", "at+VDT=?",
                           "at+VEM=?", "at+VBT=?",    "at+VPP=?",    "at+VPR=?"};
  for (const auto& name : Profile::shippedNames()) {
    if (name == "silent") continue;
    startModem(name);
    for (const char* q : queries) {
      const std::string answer = client_->command(q);
      EXPECT_TRUE(endsWithResult(answer)) << name << " " << q;
    }
  }
}

// What the voice probe sends, in its order, with the answers a recorder needs.
TEST_F(ProfileTest, VoiceProfilesAcceptTheProbeAndStreamWithEveryMethodAndRate) {
  for (const char* name : {"conexant", "lucent", "linear7", "signedpcm", "vcon", "semicolon",
                           "nogmm", "speakerline"}) {
    startModem(name);
    echoOff();
    const Profile& p = modem_->profile();
    for (const char* ok :
         {"at+fclass=8", "at+vid", "at+vcid=0", "at+vcid=1", "at+vcid=2", "at+vdr=0", "at+vgt=128",
          "at+vsd=127,50", "at+vgr=128", "at+vsp=1", "at+vsp=0", "at+vgm=128", "at+vgs=128"})
      EXPECT_EQ(client_->command(ok), result("OK")) << name << " " << ok;
    const std::string lines = client_->command("at+vls=?");
    EXPECT_NE(lines.find("1,\"T\","), std::string::npos) << name;
    int line = 0;  // the first listed line the modem selects
    for (int n : p.lineNumbers) {
      if (line == 0 && std::count(p.lineErrors.begin(), p.lineErrors.end(), n) == 0) line = n;
    }
    ASSERT_NE(line, 0) << name;
    EXPECT_EQ(client_->command("at+vls=" + std::to_string(line)), result(p.lineSelectResult))
        << name;
    EXPECT_EQ(client_->command("at+vls=0"), result("OK")) << name;
    std::string methods = client_->command("at+vsm=?");
    for (const auto& line : p.methodAnswer)
      EXPECT_NE(methods.find("\r\n" + line + "\r\n"), std::string::npos) << name << " " << line;
    const std::string sep(1, p.separator);
    for (const auto& m : p.methods) {
      for (int rate : m.rates) {
        const std::string select =
            "at+vsm=" + std::to_string(m.id) + sep + std::to_string(rate) + sep + "0" + sep + "0";
        ASSERT_EQ(client_->command(select), result("OK")) << name << " " << select;
        client_->send("at+vrx\r");
        const std::string data = client_->readBytes(40);
        EXPECT_EQ(data.rfind(result("CONNECT"), 0), 0u) << name << " " << select;
        EXPECT_GT(data.size(), result("CONNECT").size()) << name << " " << select;
        client_->send("\x10!");
        client_->readUntil("\x10\x03" + result("OK"));
      }
    }
  }
}

TEST_F(ProfileTest, MethodFormsOfTheProfiles) {
  startModem("lucent");
  echoOff();
  ASSERT_EQ(client_->command("at+fclass=8"), "\r\nOK\r\n");
  EXPECT_NE(client_->command("at+vsm=?").find("\r\n128,\"8-BIT LINEAR\",(7200,8000,11025)\r\n"),
            std::string::npos);
  EXPECT_EQ(client_->command("at+vsm=128,11025"), "\r\nOK\r\n");
  EXPECT_EQ(client_->command("at+vsm=130,11025"), "\r\nERROR\r\n");

  startModem("linear7");
  echoOff();
  ASSERT_EQ(client_->command("at+fclass=8"), "\r\nOK\r\n");
  EXPECT_NE(client_->command("at+vsm=?")
                .find("\r\n128,\"8-BIT LINEAR\",8,0,(7200,8000,11025),(0),(0)\r\n"),
            std::string::npos);
  EXPECT_EQ(client_->command("at+vsm=128,11025,0,0"), "\r\nOK\r\n");

  startModem("conexant");
  echoOff();
  ASSERT_EQ(client_->command("at+fclass=8"), "\r\nOK\r\n");
  const std::string conexant = client_->command("at+vsm=?");
  EXPECT_EQ(conexant.find("\r\n0,\"SIGNED PCM\",8,0,8000,0,0\r\n"), 0u);
  EXPECT_NE(conexant.find("1,\"UNSIGNED PCM\",8,0,8000,0,0"), std::string::npos);
  EXPECT_NE(client_->command("at+vls=?").find("\r\n1,\"T\",0B8433C1,0FE431C1,0B8431C1\r\n"),
            std::string::npos);
}

TEST_F(ProfileTest, SemicolonModemUsesItsSeparatorBothWays) {
  startModem("semicolon");
  echoOff();
  ASSERT_EQ(client_->command("at+fclass=8"), "\n\r\nOK\r");
  const std::string methods = client_->command("at+vsm=?");
  EXPECT_NE(methods.find("128;\"8-BIT LINEAR\";8;0;(8000);(0);(0)"), std::string::npos);
  EXPECT_EQ(methods.find(','), std::string::npos);
  EXPECT_EQ(client_->command("at+vsm=128;8000;0;0"), "\n\r\nOK\r");
  // Its own framing: <LF><CR><LF> before each line, <CR> after it.
  EXPECT_EQ(client_->command("at+vsm?"), "\n\r\n128;8000;0;0\r\n\r\nOK\r");
}

TEST_F(ProfileTest, VconModemAnswersVconToALineOtherThanZero) {
  startModem("vcon");
  echoOff();
  // An empty line more before each result.
  ASSERT_EQ(client_->command("at+fclass=8"), "\r\n\r\nOK\r\n");
  EXPECT_EQ(client_->command("at+vls=1"), "\r\n\r\nVCON\r\n");
  EXPECT_EQ(client_->command("AT+VLS=1"), "\r\n\r\nVCON\r\n");
  EXPECT_EQ(client_->command("at+vls=0"), "\r\n\r\nOK\r\n");
  EXPECT_EQ(client_->command("AT+GMM?"), "\r\nRC56 Voice\r\n\r\n\r\nOK\r\n");
}

TEST_F(ProfileTest, SpeakerLineModemRefusesTheLineAloneAndTakesItWithTheSpeaker) {
  startModem("speakerline");
  echoOff();
  ASSERT_EQ(client_->command("at+fclass=8"), "\r\nOK\r\n");
  EXPECT_NE(client_->command("at+vls=?").find("\r\n1,\"T\","), std::string::npos);
  EXPECT_EQ(client_->command("at+vls=1"), "\r\nERROR\r\n");
  EXPECT_EQ(modem_->status().line, 0);
  EXPECT_EQ(client_->command("at+vls=5"), "\r\nOK\r\n");
  EXPECT_EQ(modem_->status().line, 5);
  EXPECT_EQ(client_->command("at+vls=7"), "\r\nOK\r\n");
  EXPECT_THROW(Profile::parse("vls.error=one\n"), std::runtime_error);
}

TEST_F(ProfileTest, DataOnlyModemRefusesVoiceMode) {
  startModem("dataonly");
  echoOff();
  EXPECT_EQ(client_->command("at+fclass=?"), "\r\n0,1,1.0,2\r\n\r\nOK\r\n");
  EXPECT_EQ(client_->command("at+fclass=8"), "\r\nERROR\r\n");
  EXPECT_EQ(client_->command("at+vls=?"), "\r\nERROR\r\n");
  EXPECT_EQ(client_->command("AT+GMM?"), "\r\nV.92 Data/Fax Modem\r\n\r\nOK\r\n");
  EXPECT_EQ(modem_->status().fclass, "0");
}

TEST_F(ProfileTest, VoiceOnlyModemRefusesEveryOtherVoiceCommand) {
  startModem("voiceonly");
  echoOff();
  EXPECT_EQ(client_->command("at+fclass=8"), "\r\nOK\r\n");
  for (const char* refused : {"at+vid", "at+vgr=128", "at+vls=?", "at+vls=1", "at+vsm=?",
                              "at+vsm=128,8000", "at+vrx", "at+VGR=?"})
    EXPECT_EQ(client_->command(refused), "\r\nERROR\r\n") << refused;
}

TEST_F(ProfileTest, NoGmmModemRefusesTheGQueriesAndAnswersTheFOnes) {
  startModem("nogmm");
  echoOff();
  for (const char* refused : {"AT+GMM?", "AT+GMI?", "AT+GMR?"})
    EXPECT_EQ(client_->command(refused), "\r\nERROR\r\n") << refused;
  EXPECT_EQ(client_->command("AT+FMM?"), "\r\nTP560 Voice Modem\r\n\r\nOK\r\n");
  EXPECT_EQ(client_->command("AT+FMI?"), "\r\nTOPIC\r\n\r\nOK\r\n");
  EXPECT_EQ(client_->command("AT+FMR?"), "\r\nRev 3.2\r\n\r\nOK\r\n");
}

TEST_F(ProfileTest, SignedAndUnsignedMethodsCodeSilenceDifferently) {
  Options options;
  options.line.kind = LineOptions::Kind::Silence;
  for (const auto& [profile, method, zero] : {std::tuple{"signedpcm", "at+vsm=1,8000", '\x00'},
                                              std::tuple{"conexant", "at+vsm=0,8000", '\x00'},
                                              std::tuple{"conexant", "at+vsm=1,8000", '\x80'},
                                              std::tuple{"lucent", "at+vsm=131,8000", '\xff'},
                                              std::tuple{"lucent", "at+vsm=130,8000", '\xd5'}}) {
    options.profile = profile;
    startModem(options);
    echoOff();
    ASSERT_EQ(client_->command("at+fclass=8"), "\r\nOK\r\n");
    ASSERT_EQ(client_->command(method), "\r\nOK\r\n");
    client_->send("at+vrx\r");
    const std::string data = client_->readBytes(11 + 20);
    ASSERT_GE(data.size(), 31u) << profile << method;
    EXPECT_EQ(data.substr(11, 20), std::string(20, zero)) << profile << " " << method;
  }
}

TEST_F(ProfileTest, ProfileTextCanBeGivenInline) {
  Options options;
  options.profileText = "description=test\ngmm=Inline\nfclass=0,8\n";
  startModem(options);
  echoOff();
  EXPECT_EQ(client_->command("AT+GMM?"), "\r\nInline\r\n\r\nOK\r\n");
  EXPECT_EQ(client_->command("AT+GMI?"), "\r\nERROR\r\n");
  EXPECT_THROW(Profile::parse("nonsense line\n"), std::runtime_error);
  EXPECT_THROW(Profile::parse("vsm=1,\"X\"\n"), std::runtime_error);
  EXPECT_THROW(Profile::load("no-such-profile"), std::runtime_error);
}

}  // namespace
}  // namespace vmodem::test
