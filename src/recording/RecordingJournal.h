#pragma once
// The journal of the recording in progress: a file in the folder "wav" that receives
// every sample as it goes into the voice stream, so that a crash, a kill or a power
// loss costs at most the last second of a call. The next start turns a journal left
// behind into a WAV file and a call (see the recovery among the calls). The file's
// layout is in JournalFormat.h.
//
// While a recording runs its journal is locked (flock), so a start of another instance
// in the same folder never takes a live journal for one left behind.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>

#include "calls/JournalFormat.h"

class TRecordingJournal {
 public:
  // Data is made durable at most this often, and at the latest this long after it came.
  static constexpr int kSyncIntervalMs = 1000;

  TRecordingJournal();
  ~TRecordingJournal();  // closes without removing (the file is what a crash leaves)
  TRecordingJournal(const TRecordingJournal&) = delete;
  TRecordingJournal& operator=(const TRecordingJournal&) = delete;

  // Creates "wav/<identity>.journal" (mode 0600), writes the header and makes it
  // durable. An earlier journal of this object is removed first. False and *error set
  // when the file cannot be made; the journal is then inactive.
  bool Start(uint32_t samplesPerSecond, QString* error);
  // Writes the samples at once (no sync); the sync follows within kSyncIntervalMs.
  // False when the write failed: the journal then takes no more samples, keeps what it
  // holds and tells why in LastError().
  bool Append(QByteArrayView samples);
  // The recording is saved or deliberately dropped: the file goes.
  void Discard();

  bool Active() const { return fd_ >= 0 && !broken_; }
  QString Path() const { return path_; }
  int64_t SampleBytes() const { return written_; }
  QString LastError() const { return lastError_; }

  // Seams for tests: the durable sync (fdatasync) and the monotonic clock in ms.
  std::function<int(int fd)> Sync;
  std::function<int64_t()> Clock;

 private:
  void SyncNow();
  void Fail();
  void Close();

  int fd_ = -1;
  QString path_;
  int64_t written_ = 0;
  int64_t lastSyncMs_ = 0;
  bool dirty_ = false;
  bool broken_ = false;
  QString lastError_;
  QTimer syncTimer_;
};
