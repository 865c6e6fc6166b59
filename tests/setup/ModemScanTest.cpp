// The scan of COM1 to COM8 and the identification of each modem found.
#include <QComboBox>
#include <QLabel>
#include <QTest>

#include "setup/DiscoveryFixture.h"

using testmodem::Chunks;

namespace {
using Scan = Discovery;

// Answers "AT" with OK and the identification queries from a table; "ERROR" otherwise.
testmodem::Script IdentScript(std::map<std::string, std::string> answers) {
  return [answers](const std::string& c) {
    if (c == "AT" || c == "ATE0" || c == "atE0") return Chunks({"\r\nOK\r\n"}, 5);
    auto it = answers.find(c);
    if (it == answers.end()) return Chunks({"\r\nERROR\r\n"}, 5);
    if (it->second.empty()) return std::vector<testmodem::Chunk>{};  // no answer at all
    return Chunks({"\r\n" + it->second + "\r\n\r\nOK\r\n"}, 5);
  };
}
}  // namespace

TEST_F(Scan, NoPortOpens) {
  spec.FindModems();
  EXPECT_EQ(spec.FoundCount, 0);
  EXPECT_EQ(spec.ComboBox3->count(), 0);
  EXPECT_EQ(progressValues, QList<int>({0, 12, 25, 38, 50, 62, 75, 88, 100}));
  EXPECT_EQ(progress.windowTitle(), "Finding modems...");
  EXPECT_FALSE(progress.isVisible());
  EXPECT_FALSE(link.ComPort1.Open());
}

TEST_F(Scan, TwoModemsInPortOrder) {
  AddModem(5, "lucent");
  AddModem(2, "conexant");
  spec.FindModems();
  ASSERT_EQ(spec.FoundCount, 2);
  const TModemParams& first = spec.FoundModems[1];
  EXPECT_EQ(first.Model, "CX93001-EIS_V0.2013-V92");
  EXPECT_EQ(first.Manufacturer, "CONEXANT");
  EXPECT_EQ(first.DriverDate, "CX93001-EIS_V0.2013-V92");
  EXPECT_EQ(first.PortName, "com2");
  EXPECT_EQ(first.port, 2);
  const TModemParams& second = spec.FoundModems[2];
  EXPECT_EQ(second.Model, "LT V.92 Data+Fax Modem");
  EXPECT_EQ(second.Manufacturer, "Lucent");
  EXPECT_EQ(second.DriverDate, "8.30");
  EXPECT_EQ(second.PortName, "com5");
  EXPECT_EQ(second.port, 5);
  ASSERT_EQ(spec.ComboBox3->count(), 2);
  EXPECT_EQ(spec.ComboBox3->itemText(0), first.Model);
  EXPECT_EQ(spec.ComboBox3->itemText(1), second.Model);
  EXPECT_FALSE(link.ComPort1.Open());
  EXPECT_FALSE(link.PortIsOpen);

  // Showing the window selects the first line; choosing another shows its details.
  spec.show();
  EXPECT_EQ(spec.ComboBox3->currentIndex(), 0);
  EXPECT_EQ(spec.Label1->text(), "Model: CX93001-EIS_V0.2013-V92");
  EXPECT_EQ(spec.Label2->text(), "Driver version: CX93001-EIS_V0.2013-V92");
  EXPECT_EQ(spec.Label3->text(), "Manufacturer: CONEXANT");
  EXPECT_EQ(spec.Label4->text(), "Com port: com2");
  spec.ComboBox3->setCurrentIndex(1);
  EXPECT_EQ(spec.Label4->text(), "Com port: com5");
  EXPECT_EQ(spec.Label1->text(), "Model: LT V.92 Data+Fax Modem");
  spec.hide();
}

TEST_F(Scan, ErrorToFirstQueryFallsBackToSecondThenToFixedText) {
  AddModem(1, "nogmm");             // ERROR to every +G query, answers the +F ones
  AddScripted(3, IdentScript({}));  // ERROR to everything
  spec.FindModems();
  ASSERT_EQ(spec.FoundCount, 2);
  EXPECT_EQ(spec.FoundModems[1].Model, "TP560 Voice Modem");
  EXPECT_EQ(spec.FoundModems[1].Manufacturer, "TOPIC");
  EXPECT_EQ(spec.FoundModems[1].DriverDate, "Rev 3.2");
  EXPECT_EQ(spec.FoundModems[2].Model, "Unspecified model");
  EXPECT_EQ(spec.FoundModems[2].Manufacturer, "Unspecified manufacturer");
  EXPECT_EQ(spec.FoundModems[2].DriverDate, "Unspecified driver");
}

TEST_F(Scan, UnansweredQueryKeepsTheFieldAndTheAnswerBefore) {
  link.TimeoutFactor = 30;
  // COM3: the model query goes unanswered; the answer text is still empty from the start
  // of the scan, so no second query is made and the field keeps what an earlier scan left.
  auto& third =
      AddScripted(3, IdentScript({{"AT+GMM?", ""}, {"AT+GMI?", "ACME"}, {"AT+GMR?", "1.0"}}));
  // COM4: ERROR to both model queries; the manufacturer query goes unanswered, so the
  // answer text is still the "ERROR" of the model: the second query is tried.
  auto& fourth =
      AddScripted(4, IdentScript({{"AT+GMI?", ""}, {"AT+FMI?", "ACME"}, {"AT+GMR?", "2.0"}}));
  spec.FoundModems[1].Model = QStringLiteral("from before");
  spec.FindModems();
  ASSERT_EQ(spec.FoundCount, 2);
  EXPECT_EQ(spec.FoundModems[1].Model, "from before");
  EXPECT_EQ(spec.FoundModems[1].Manufacturer, "ACME");
  EXPECT_EQ(spec.FoundModems[2].Model, "Unspecified model");
  EXPECT_EQ(spec.FoundModems[2].Manufacturer, "ACME");
  EXPECT_EQ(spec.FoundModems[2].DriverDate, "2.0");
  const std::vector<std::string> thirdCommands = {"ATE0", "AT", "AT+GMM?", "AT+GMI?", "AT+GMR?"};
  EXPECT_EQ(third.Commands(), thirdCommands);
  const std::vector<std::string> fourthCommands = {"ATE0",    "AT",      "AT+GMM?", "AT+FMM?",
                                                   "AT+GMI?", "AT+FMI?", "AT+GMR?"};
  EXPECT_EQ(fourth.Commands(), fourthCommands);
}

TEST_F(Scan, PortThatDoesNotAnswerIsClosedAndSkipped) {
  link.TimeoutFactor = 20;
  AddModem(6, "silent");
  AddModem(7, "signedpcm");
  spec.FindModems();
  ASSERT_EQ(spec.FoundCount, 1);
  EXPECT_EQ(spec.FoundModems[1].port, 7);
  EXPECT_EQ(spec.FoundModems[1].Model, "SL-56 Voice");
  EXPECT_FALSE(link.ComPort1.Open());
}

TEST_F(Scan, AgainWithFewerModemsLeavesLaterEntries) {
  AddModem(2, "conexant");
  AddModem(5, "lucent");
  spec.FindModems();
  ASSERT_EQ(spec.FoundCount, 2);
  paths.erase(2);
  spec.FindModems();
  ASSERT_EQ(spec.FoundCount, 1);
  EXPECT_EQ(spec.FoundModems[1].port, 5);
  EXPECT_EQ(spec.FoundModems[2].port, 5);  // left from the first scan
  EXPECT_EQ(spec.ComboBox3->count(), 1);
}
