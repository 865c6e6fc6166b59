#pragma once
// The journal of the recording in progress: a file in the folder "wav" that receives
// every sample as it goes into the voice stream, so that a crash, a kill or a power
// loss costs at most the last second of a call. The next start turns a journal left
// behind into a WAV file and a call (see the recovery among the calls). The file's
// layout and names are in JournalFormat.h.
//
// While a recording runs its journal is locked (flock), so a start of another instance
// in the same folder never takes a live journal for one left behind. The syncs that
// make it durable run on a thread of their own: the receive path never waits for the
// disk.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "calls/JournalFormat.h"
#include "recording/JournalSync.h"

class TRecordingJournal {
 public:
  // Data is made durable at most this often, and at the latest this long after it came
  // (with the time the disk takes on top), so a sample a second old is on disk.
  static constexpr int kSyncIntervalMs = 500;
  // Chunks that come less than half this apart keep the journal's timer from running
  // out; once they stop, the sync due follows at most this long after the last one.
  static constexpr int kTailMs = 200;

  TRecordingJournal();
  // Closes without removing (the file is what a crash leaves), once the syncs asked
  // for are done.
  ~TRecordingJournal();
  TRecordingJournal(const TRecordingJournal&) = delete;
  TRecordingJournal& operator=(const TRecordingJournal&) = delete;

  // Makes "wav/<identity>.journal" (mode 0600): created under a temporary name, locked,
  // given its header and renamed into place; its sync follows off the UI thread. A
  // journal still open is left for the recovery first (Leave). False and *error set
  // when the file cannot be made; the journal is then inactive.
  bool Start(uint32_t samplesPerSecond, QString* error);
  // Writes the samples at once; their sync follows within kSyncIntervalMs. False when
  // the write failed: the journal then takes no more samples, keeps what it holds and
  // tells why in LastError().
  bool Append(QByteArrayView samples);
  // Stop has chosen the call's file name: the journal is renamed "wav/<name>.journal",
  // durably, before the WAV file is written. Nothing to do without an open journal.
  // False and *error set when the rename failed.
  bool Name(const QString& fileName, QString* error);
  // The recording is saved and its call is in the list on disk: the file goes.
  void Discard();
  // The recording is saved, but its call is not in the list on disk yet: the file stays
  // (locked) until DiscardSaved, or for the next start's recovery.
  void KeepSaved();
  // The list holding the calls of the kept saved journals is on disk: their files go.
  void DiscardSaved();
  // The recording was not saved: its file stays for the next start's recovery, held
  // locked until this object ends so that this run never recovers it itself. The path
  // it stays under; empty when no journal was open.
  QString Leave();

  bool Open() const { return file_ != nullptr; }
  bool Active() const { return Open() && !broken_; }
  QString Path() const { return path_; }
  int64_t SampleBytes() const { return written_; }
  QString LastError() const { return lastError_; }

  // A sync failed: the journal takes no more samples (UI thread).
  std::function<void(const QString& error)> OnFailed;

  // Seams for tests: the durable sync (fdatasync, run on the journal's thread) and the
  // monotonic clock in ms.
  void SetSync(std::function<int(int fd)> sync) { syncer_.SetSync(std::move(sync)); }
  std::function<int64_t()> Clock;

 private:
  struct Kept {
    TJournalSync::File file;
    QString path;
    bool saved = false;  // its recording is in a WAV file
  };
  void RequestSync(bool withFolder);
  void SyncFailed(uint64_t tag, const QString& error);
  void Fail(const QString& error);
  void Keep(bool saved);

  TJournalSync::File file_;  // the open journal
  uint64_t tag_ = 0;         // tells this journal's syncs from those of earlier ones
  QString path_;
  int64_t written_ = 0;
  int64_t lastSyncMs_ = 0;
  int64_t tailDeadlineMs_ = 0;  // when syncTimer_ runs out
  bool dirty_ = false;
  bool broken_ = false;
  QString lastError_;
  std::vector<Kept> kept_;
  QTimer syncTimer_;
  TJournalSync syncer_;  // last: its thread ends before the files above close
};
