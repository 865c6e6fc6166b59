// Scope, recorder and playback handlers of the main window: they hand over to the
// recorder panel, which holds the logic.
#include <QPainter>
#include <QRegion>
#include <QTableWidget>

#include "app/AppInfo.h"
#include "app/MainForm.h"
#include "calls/DesktopNotifier.h"
#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "recording/RecorderPanel.h"

void TMainForm::CreateScopeAndStream() {
  // The scope bitmap and the voice stream come with the recorder, which needs the modem
  // link: CreateRecorder makes them once the link exists.
}

void TMainForm::CreateRecorder() {
  TRecorderControls c;
  c.Playsb1 = Playsb1;
  c.PauseSb1 = PauseSb1;
  c.StopSb1 = StopSb1;
  c.PrevSb1 = PrevSb1;
  c.NextSb1 = NextSb1;
  c.RecSb1 = RecSb1;
  c.Play1 = Play1;
  c.Pause1 = Pause1;
  c.Stop1 = Stop1;
  c.Previous1 = Previous1;
  c.Next1 = Next1;
  c.Record1 = Record1;
  c.On1 = On1;
  c.Off1 = Off1;
  c.Comment1 = Comment1;
  c.Delete1 = Delete1;
  c.TrackBar1 = TrackBar1;
  c.Label10 = Label10;
  c.SpinEdit1 = SpinEdit1;
  c.Timer2 = Timer2;

  TCallListHooks calls;
  calls.NewFileName = [this] { return NewCallFileName(); };
  calls.AddCallRecord = [this](const QString& fileName) {
    return AddCallRecord(fileName, Recorder->VoiceStream.Size(),
                         Recorder->CallWatch.RecordingMemo());
  };
  calls.CallCount = [this] { return CallCount(); };
  calls.SelectedFileName = [this] {
    const std::optional<size_t> index = SelectedCallIndex();
    return index ? CallList[*index].FileName : QString();
  };
  calls.CurrentFileName = &CurrentFileName;

  Recorder = std::make_unique<TRecorderPanel>(c, calls, *ModemF);
  Recorder->Scope.Repaint = [this] {
    // Only the part of the strip that shows: the track bar lies over its bottom rows, and
    // is not repainted with each trace.
    if (Client) Client->update(QRegion(TScope::Rect()).subtracted(Client->childrenRegion()));
  };
  Recorder->Scope.Shown = [this] { return isVisible() && !isMinimized(); };
  Recorder->CallWatch.PanelText = [this] { return StatusPanel(2); };
  Recorder->CallWatch.SetPanelText = [this](const QString& text, bool caller) {
    SetStatusPanel(2, text);
    ShowCallerRoom(caller);
  };
  auto notifier = std::make_unique<TDesktopNotifier>(TNoticeSender{
      QString::fromLatin1(kAppTitle), QString::fromLatin1(kAppDesktopName),
      QString::fromLatin1(kAppDesktopName)});
  notifier->OnUnavailable = [this](const QString& why) {
    MonitorForm->Add(QStringLiteral("No desktop notification of calls: ") + why);
  };
  Recorder->CallWatch.SetNotifier(std::move(notifier));
}

void TMainForm::ReleaseScopeAndStream() {
  // A recording is saved by now (or kept in its journal); a playback ends.
  if (!Recorder) return;
  Recorder->Recorder.EndReception();
  Recorder->Player.Close();
  Recorder->VoiceStream.Clear();
}

bool TMainForm::RecordingActive() const {
  return Recorder && Recorder->RecordingActive();
}

void TMainForm::FormPaint(QPainter& painter) {
  if (Recorder) Recorder->Scope.Paint(painter);
}

void TMainForm::DrawScope(const int32_t* samples, int32_t n) {
  Recorder->Scope.DrawScope(samples, n);
}

void TMainForm::ClearScope() {
  if (Recorder) Recorder->Scope.ClearScope();
}

void TMainForm::StartRecording() {
  Recorder->Recorder.StartRecording();
}
void TMainForm::StopRecordingOrPlayback() {
  Recorder->Recorder.StopRecordingOrPlayback();
}
void TMainForm::RecSb1Click() {
  StartRecording();
}
void TMainForm::Record1Click() {
  StartRecording();
}
void TMainForm::StopSb1Click() {
  StopRecordingOrPlayback();
}
void TMainForm::Stop1Click() {
  StopRecordingOrPlayback();
}
void TMainForm::Playsb1Click() {
  Recorder->Playback.StartPlayback();
}
void TMainForm::Play1Click() {
  Recorder->Playback.StartPlayback();
}
void TMainForm::PauseSb1Click() {
  Recorder->Playback.PausePlayback();
}
void TMainForm::Pause1Click() {
  Recorder->Playback.PausePlayback();
}
void TMainForm::PrevSb1Click() {
  Recorder->Playback.RewindPlayback();
}
void TMainForm::Previous1Click() {
  Recorder->Playback.RewindPlayback();
}
void TMainForm::NextSb1Click() {
  Recorder->Playback.ForwardPlayback();
}
void TMainForm::Next1Click() {
  Recorder->Playback.ForwardPlayback();
}
void TMainForm::On1Click() {
  Recorder->Recorder.On1Click();
}
void TMainForm::Off1Click() {
  Recorder->Recorder.Off1Click();
}
void TMainForm::VoiceRecBtnClick() {
  Recorder->Recorder.VoiceRecBtnClick();
}
void TMainForm::ClosePortBtnClick() {
  Recorder->Recorder.ClosePortBtnClick();
}
void TMainForm::Button3Click() {
  Recorder->Recorder.Button3Click();
}
void TMainForm::Timer2Timer() {
  Recorder->Playback.Timer2Timer();
}
