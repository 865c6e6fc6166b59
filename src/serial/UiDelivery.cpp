#include "serial/UiDelivery.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

namespace ui_delivery {

struct ChannelState {
  std::mutex mutex;
  std::condition_variable done;
  bool cancelled = false;
};

enum class JobState { kQueued, kRunning, kDone, kAbandoned };

struct Job {
  std::shared_ptr<ChannelState> channel;  // null for a posted job
  std::function<void(bool late)> run;
  JobState state = JobState::kQueued;  // guarded by channel->mutex
};

namespace {

// The jobs live in our own queue, guarded by our own lock; the Qt event only says
// "one more job". One event per job keeps nested event loops in order.
class JobQueue {
 public:
  void Push(std::shared_ptr<Job> job) {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  // Orders the calling thread after every Push so far. The posted event objects are
  // made by the pushing threads before they push; Qt's own queue hands them over, but
  // that hand-over is not visible to race checkers.
  void Synchronize() { std::lock_guard lock(mutex_); }
  std::shared_ptr<Job> Pop() {
    std::lock_guard lock(mutex_);
    if (jobs_.empty()) return nullptr;
    auto job = std::move(jobs_.front());
    jobs_.pop_front();
    return job;
  }

 private:
  std::mutex mutex_;
  std::deque<std::shared_ptr<Job>> jobs_;
};

JobQueue& Queue() {
  static JobQueue queue;
  return queue;
}

void RunJob(const std::shared_ptr<Job>& job) {
  if (!job->channel) {
    job->run(false);
    return;
  }
  ChannelState& channel = *job->channel;
  bool late = false;
  {
    std::lock_guard lock(channel.mutex);
    if (channel.cancelled) return;
    late = job->state == JobState::kAbandoned;
    job->state = JobState::kRunning;
  }
  job->run(late);
  {
    std::lock_guard lock(channel.mutex);
    job->state = JobState::kDone;
  }
  channel.done.notify_all();
}

class Receiver : public QObject {
 public:
  static QEvent::Type EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }
  bool event(QEvent* e) override {
    Queue().Synchronize();
    if (e->type() != EventType()) return QObject::event(e);
    if (auto job = Queue().Pop()) RunJob(job);
    return true;
  }
};

std::atomic<Receiver*> g_receiver{nullptr};

void Enqueue(std::shared_ptr<Job> job) {
  Receiver* receiver = g_receiver.load(std::memory_order_acquire);
  auto* wake = receiver != nullptr ? new QEvent(Receiver::EventType()) : nullptr;
  Queue().Push(std::move(job));
  if (wake != nullptr) QCoreApplication::postEvent(receiver, wake);
}

}  // namespace

void Install() {
  if (g_receiver.load(std::memory_order_acquire) != nullptr) return;
  auto* app = QCoreApplication::instance();
  if (app == nullptr) return;
  Receiver::EventType();
  auto* receiver = new Receiver;
  receiver->setParent(app);
  // The receiver dies with the application object; forget it then.
  QObject::connect(receiver, &QObject::destroyed,
                   [] { g_receiver.store(nullptr, std::memory_order_release); });
  g_receiver.store(receiver, std::memory_order_release);
}

void Post(std::function<void()> job) {
  auto entry = std::make_shared<Job>();
  entry->run = [job = std::move(job)](bool) { job(); };
  Enqueue(std::move(entry));
}

Channel::Channel() : state_(std::make_shared<ChannelState>()) {}

Channel::~Channel() {
  Cancel();
}

Channel::Result Channel::Call(std::function<void(bool late)> job,
                              std::optional<std::chrono::milliseconds> limit) {
  const auto deadline = limit ? std::optional(Clock::now() + *limit) : std::nullopt;
  return Wait(Start(std::move(job)), deadline);
}

Channel::Ticket Channel::Start(std::function<void(bool late)> job) {
  auto entry = std::make_shared<Job>();
  entry->channel = state_;
  entry->run = std::move(job);
  {
    std::lock_guard lock(state_->mutex);
    if (state_->cancelled) return nullptr;
  }
  Enqueue(entry);
  return entry;
}

Channel::Result Channel::Wait(const Ticket& ticket, std::optional<Clock::time_point> deadline) {
  if (!ticket) return Result::kCancelled;
  std::unique_lock lock(state_->mutex);
  auto finished = [&] { return state_->cancelled || ticket->state == JobState::kDone; };
  if (deadline) {
    state_->done.wait_until(lock, *deadline, finished);
  } else {
    state_->done.wait(lock, finished);
  }
  if (ticket->state == JobState::kDone) return Result::kDone;
  if (state_->cancelled) return Result::kCancelled;
  if (ticket->state == JobState::kQueued) ticket->state = JobState::kAbandoned;
  return Result::kTimedOut;
}

void Channel::Cancel() {
  {
    std::lock_guard lock(state_->mutex);
    state_->cancelled = true;
  }
  state_->done.notify_all();
}

bool Channel::Cancelled() const {
  std::lock_guard lock(state_->mutex);
  return state_->cancelled;
}

}  // namespace ui_delivery
