#include "recording/VoiceReceiver.h"

#include <algorithm>

#include "modem/ModemF.h"
#include "recording/Scope.h"
#include "sound/VoiceStream.h"

TVoiceReceiver::TVoiceReceiver(TModemF& link, TVoiceStream& stream, TScope& scope,
                               std::function<bool()> recordingActive,
                               std::function<int32_t()> blockSize)
    : link_(link),
      stream_(stream),
      scope_(scope),
      recordingActive_(std::move(recordingActive)),
      blockSize_(std::move(blockSize)) {}

TVoiceReceiver::~TVoiceReceiver() {
  if (attached_) link_.OnVoiceData = nullptr;
}

void TVoiceReceiver::Attach() {
  attached_ = true;
  link_.OnVoiceData = [this](uint16_t count) { return OnVoiceData(count); };
}

void TVoiceReceiver::DrawBlock() {
  scope_.DrawScope(link_.CaptureBuffer.data(), link_.BlockCount);
  link_.BlockCount = 0;
}

void TVoiceReceiver::WatchForHangUp(int64_t silentSamples) {
  hangUp_.Start(silentSamples, link_.SignedSamples == 1);
  watching_ = true;
}

bool TVoiceReceiver::OnVoiceData(uint16_t /*count*/) {
  if (!recordingActive_()) return false;
  // Every byte the text side took is a sample, so the count is that of ReceivedText, apart
  // from the echo of the command that began the reception.
  QByteArray sound;
  QByteArrayView received(link_.ReceivedText);
  if (echo_.Pending()) {
    sound = echo_.Sound(received);
    received = sound;
  }
  const int64_t room = std::max<int64_t>(0, MaxSamples - link_.RecordedBytes);
  const QByteArrayView chunk = received.first(std::min<qsizetype>(received.size(), room));
  link_.RecordedBytes += chunk.size();
  const bool full = link_.RecordedBytes >= MaxSamples;
  const bool convert = link_.SignedSamples == 1;
  const auto capacity = static_cast<int32_t>(link_.CaptureBuffer.size());
  const int64_t first = stream_.Position();
  for (const char c : chunk) {
    uint8_t b = static_cast<uint8_t>(c);
    if (convert) b = FromSigned(b);
    // A full capture buffer is drawn early rather than written past its end; the
    // sample still goes to the stream below.
    if (link_.BlockCount >= capacity) DrawBlock();
    link_.CaptureBuffer[link_.BlockCount] = b;
    ++link_.BlockCount;
    stream_.WriteByte(b);
  }
  if (OnSamples && !chunk.isEmpty())
    OnSamples(QByteArrayView(stream_.Data()).sliced(first, chunk.size()));
  if (link_.BlockCount >= blockSize_()) DrawBlock();
  if (watching_ && hangUp_.Found() == TLineEnd::kNone) {
    const TLineEnd end = hangUp_.Feed(chunk);
    if (end != TLineEnd::kNone && OnLineEnded) OnLineEnded(end);
  }
  if (full && OnLimitReached) OnLimitReached();
  return true;
}
