#pragma once
// The one way for the serial layer's threads to run code on the main (UI) thread.
// A job is queued and a wake-up event is posted to a receiver living in the main
// thread; the job runs when the main thread processes its events (its own loop, a
// processEvents pump, a nested loop or a modal dialog), in the order the jobs were
// queued. A Channel lets its thread wait for its job, with or without a time limit, at
// once or later (a thread that needs the outcome only now and then starts the job and
// goes on, and waits only when it must), and can be cancelled so that the waiting
// thread is released at once and none of the channel's jobs runs any more.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace ui_delivery {

// Creates the receiver; call on the main thread before any thread uses the mechanism
// (the port component and the timer do it when they are created).
void Install();

// Queues job to run on the main thread, without waiting for it.
void Post(std::function<void()> job);

struct ChannelState;
struct Job;

class Channel {
 public:
  enum class Result { kDone, kTimedOut, kCancelled };
  using Clock = std::chrono::steady_clock;
  // A job started through the channel, to wait for.
  using Ticket = std::shared_ptr<Job>;

  Channel();
  ~Channel();  // cancels
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  // Worker thread: runs job on the main thread and waits until it has returned, the
  // limit has passed or the channel is cancelled. A job whose caller stopped waiting
  // before it started still runs, with late = true (unless the channel was cancelled).
  Result Call(std::function<void(bool late)> job, std::optional<std::chrono::milliseconds> limit);
  // The same in two steps: Start queues the job and returns at once (an empty ticket
  // when the channel is cancelled); Wait waits for it until the deadline, and marks a job
  // that has not started by then as late. Waiting for a job that has run returns at once.
  Ticket Start(std::function<void(bool late)> job);
  Result Wait(const Ticket& ticket, std::optional<Clock::time_point> deadline);

  // Any thread: releases a Call in progress and drops every job not yet started.
  void Cancel();
  bool Cancelled() const;

 private:
  std::shared_ptr<ChannelState> state_;
};

}  // namespace ui_delivery
