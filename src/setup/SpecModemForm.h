#pragma once
// The modem list window: the modems found by the scan; "Ok" probes the chosen
// modem's voice commands and writes its profile to the settings file.
#include <QByteArray>
#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>

#include "setup/Capability.h"
#include "setup/LineAssembler.h"
#include "setup/ModemParams.h"

class IModemLink;
class TProgressForm;
class TIniFile;
class QComboBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

class TSpecModemForm : public QDialog {
 public:
  TSpecModemForm(IModemLink& link, TProgressForm& progress, QWidget* parent = nullptr);

  // The scan of COM1 to COM8 (ModemScan.cpp); fills FoundModems and FoundCount.
  void FindModems();
  // The link's echo of a received chunk: the lines it completes go to the memo.
  void AddMemoLine(const QByteArray& chunk);

  // Showing and selection.
  void FormShow();
  void ComboBox3Change();

  // The commit and its probes (ProfileCommit.cpp, CapabilityProbe.cpp).
  void OkBtnClick();
  void SetDefaultVoiceCommands(int entry);
  bool CollectAnswer(const QString& query);
  void ProbeLineSelection();
  void ChooseCompression();
  void Timer1Timer();
  void Button1Click();

  QStringList MemoLines() const;  // the lines of the hidden answer memo

  // After an "Ok" that failed, the window may be left without a modem (its close button,
  // Escape); true once it was left that way. Each scan starts without that way out.
  bool WayOutOffered() const { return wayOut_; }
  bool LeftWithoutProfile() const { return leftWithoutProfile_; }

  std::array<TModemParams, 17> FoundModems{};  // entries 1..16; 0 unused
  int32_t FoundCount = 0;
  bool VoiceCapable = false;
  int32_t AnswerTicks = 0;
  TCapability Cap;  // the compression line being looked at

  QGroupBox* GroupBox1 = nullptr;
  QComboBox* ComboBox3 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QProgressBar* Gauge1 = nullptr;
  QPushButton* OkBtn = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QTimer* Timer1 = nullptr;
  QPushButton* Button1 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;  // only once an "Ok" has failed

  IModemLink& link_;
  TProgressForm& progress_;

 private:
  void ShowDetails(int line);
  void IdentifyField(const QByteArray& first, const QByteArray& second, const QString& fallback,
                     QString& field);
  void EnterBusy();
  void LeaveBusy();
  bool Commit();  // true when the window is to close
  void ProbeVoiceCommands(TIniFile& ini);
  void WriteNoVoiceProfile(TIniFile& ini);
  bool ChooseRecordingLine(TIniFile& ini);
  void TestCommand(TIniFile& ini, const QString& key, QString TModemParams::*field);
  void ProbeLine(TIniFile& ini, int type, const QString& number);
  bool CollectionOver() const;
  void AppendMemoText(const QByteArray& text);
  void GaugeStep();
  void ClosePort();
  void SetWayOut(bool offered);
  // Raises the port's not-open error when the port has closed (the modem went away), so
  // that the commit stops instead of storing the silence as refused commands.
  void RequirePort();

  QByteArray scanAnswer_;  // the identification answer; persists through one scan
  int32_t gaugeSteps_ = 0;

  // The answer being collected for the memo.
  TLineAssembler answerLines_;
  bool finalResultSeen_ = false;
  bool answerStarted_ = false;
  int32_t lastChunkTick_ = 0;  // AnswerTicks when the last chunk came

  uint8_t probedLineTypes_ = 0;  // bit i: kLineTypes[i] was tried by this commit's line probe

  bool wayOut_ = false;
  bool leftWithoutProfile_ = false;
  bool profileWritten_ = false;  // the commit has begun to write the profile
};
