#pragma once
// Makes recording journals durable on a thread of its own, so that the receive path
// never waits for the disk: the UI thread asks for a sync and goes on at once; the
// thread, woken by a condition variable, syncs and hands a failure back to the UI
// thread through ui_delivery.
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "setup/FileDescriptor.h"

class TJournalSync {
 public:
  // An open journal file; the thread keeps it open while it syncs it.
  using File = std::shared_ptr<const TFd>;

  TJournalSync();  // starts the thread (on the UI thread)
  // Does the syncs asked for so far, then ends the thread.
  ~TJournalSync();
  TJournalSync(const TJournalSync&) = delete;
  TJournalSync& operator=(const TJournalSync&) = delete;

  // The durable sync of a file's data (fdatasync; tests slow it down or make it fail).
  // It runs on the thread.
  void SetSync(std::function<int(int fd)> sync);

  // UI thread: what was written to `file` so far is to be made durable, and with it the
  // file's name in `folder` when that is not empty. Returns at once; a request of the
  // same tag still waiting takes this one in.
  void Request(const File& file, uint64_t tag, const QString& folder);

  // UI thread: the file of this tag is gone; a sync of it still waiting is dropped.
  void Forget(uint64_t tag);

  // Runs on the UI thread after a sync that failed: its tag and the error.
  std::function<void(uint64_t tag, const QString& error)> OnFailed;

 private:
  struct Job {
    File file;
    uint64_t tag = 0;
    QString folder;
  };
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;          // guarded by mutex_
  bool stopping_ = false;         // guarded by mutex_
  std::function<int(int)> sync_;  // guarded by mutex_
  // Results posted to the UI thread reach this object only while it lives.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  const std::weak_ptr<int> aliveSeen_ = alive_;
  std::thread thread_;  // last: started once everything above exists
};
