#include "recording/JournalSync.h"

#include <unistd.h>

#include <cerrno>

#include "serial/UiDelivery.h"
#include "serial/posix/SysCall.h"
#include "setup/PrivateFile.h"

TJournalSync::TJournalSync() : sync_([](int fd) { return ::fdatasync(fd); }) {
  ui_delivery::Install();
  thread_ = std::thread([this] { Run(); });
}

TJournalSync::~TJournalSync() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void TJournalSync::SetSync(std::function<int(int fd)> sync) {
  std::lock_guard lock(mutex_);
  sync_ = std::move(sync);
}

void TJournalSync::Request(const File& file, uint64_t tag, const QString& folder) {
  {
    std::lock_guard lock(mutex_);
    if (!jobs_.empty() && jobs_.back().tag == tag) {
      if (!folder.isEmpty()) jobs_.back().folder = folder;
    } else {
      jobs_.push_back({file, tag, folder});
    }
  }
  wake_.notify_one();
}

void TJournalSync::Forget(uint64_t tag) {
  std::lock_guard lock(mutex_);
  std::erase_if(jobs_, [&](const Job& job) { return job.tag == tag; });
}

void TJournalSync::Run() {
  posix::NameThisThread("journal-sync");
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) return;  // stopping, and every sync asked for is done
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    const std::function<int(int)> sync = sync_;
    lock.unlock();
    std::optional<QString> error;
    if (sync(job.file->get()) != 0) {
      error = SystemErrorText(errno);
    } else if (!job.folder.isEmpty()) {
      error = SyncFolder(job.folder);
    }
    job.file.reset();  // the last owner closes the file here, outside the lock
    // Only a failure is news: a sync that worked costs the UI thread no wake-up.
    if (error) {
      ui_delivery::Post([alive = aliveSeen_, this, tag = job.tag, error = *error] {
        if (alive.lock() && OnFailed) OnFailed(tag, error);
      });
    }
    lock.lock();
  }
}
