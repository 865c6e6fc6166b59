// Scope, recorder and playback handlers of the main window.
#include <QPainter>

#include "app/MainForm.h"

namespace {
constexpr int kScopeLeft = 8;
constexpr int kScopeTop = 48;
constexpr int kScopeWidth = 368;
constexpr int kScopeHeight = 50;
constexpr int kScopeBitmapWidth = 376;
constexpr int kScopeBitmapHeight = 98;
}  // namespace

void TMainForm::CreateScopeAndStream() {
  ScopeLeft = kScopeLeft;
  ScopeTop = kScopeTop;
  ScopeWidth = kScopeWidth;
  ScopeHeight = kScopeHeight;
  ScopeBitmap = QImage(kScopeBitmapWidth, kScopeBitmapHeight, QImage::Format_RGB32);
  ScopeBitmap.fill(Qt::black);
  ScopeBlank = false;
}

void TMainForm::ReleaseScopeAndStream() {
  ScopeBitmap = QImage();
}

void TMainForm::FormPaint(QPainter& painter) {
  painter.fillRect(ScopeLeft, ScopeTop, ScopeWidth, ScopeHeight, Qt::black);
}

void TMainForm::DrawScope() {}

void TMainForm::ClearScope() {
  ScopeBlank = true;
  ScopeDrawn = false;
  if (Client) Client->update();
}

void TMainForm::StartRecording() {}
void TMainForm::StopRecordingOrPlayback() {}
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
void TMainForm::Playsb1Click() {}
void TMainForm::Play1Click() {}
void TMainForm::PauseSb1Click() {}
void TMainForm::Pause1Click() {}
void TMainForm::PrevSb1Click() {}
void TMainForm::Previous1Click() {}
void TMainForm::NextSb1Click() {}
void TMainForm::Next1Click() {}
void TMainForm::On1Click() {}
void TMainForm::Off1Click() {}
void TMainForm::VoiceRecBtnClick() {}
void TMainForm::ClosePortBtnClick() {}
void TMainForm::Button3Click() {}
void TMainForm::Timer2Timer() {}
