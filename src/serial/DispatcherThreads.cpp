// The dispatcher's three threads and the hand-over of data-available to the main thread.
#include <QString>
#include <algorithm>
#include <chrono>
#include <exception>
#include <optional>

#include "serial/Dispatcher.h"
#include "serial/ExceptionDisplay.h"
#include "serial/posix/SysCall.h"

namespace {

using namespace std::chrono_literals;

// How often the dispatch thread looks at the device on its own once the event thread
// has ended (its wait failed).
constexpr auto kPollInterval = 50ms;
// How long a notification may take the main thread before the dispatch thread goes on
// without it.
constexpr auto kDeliveryLimit = 3000ms;
constexpr size_t kMaxCount = 0xFFFF;

QString ExceptionText(std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& ex) {
    return QString::fromLocal8Bit(ex.what());
  } catch (...) {
    return QStringLiteral("Unknown exception");
  }
}

}  // namespace

void TBaseDispatcher::RunThread(void (TBaseDispatcher::*loop)()) {
  // Named, so that a debugger, top and the tests tell the port's threads from others.
  posix::NameThisThread(loop == &TBaseDispatcher::EventLoop      ? kEventThreadName
                        : loop == &TBaseDispatcher::DispatchLoop ? kDispatchThreadName
                                                                 : kWriterThreadName);
  try {
    (this->*loop)();
  } catch (...) {
    ShowSerialException(ExceptionText(std::current_exception()));
  }
  if (loop == &TBaseDispatcher::OutputLoop) writerGone_.Set();
  const bool tellMain = loop == &TBaseDispatcher::DispatchLoop && closePending_;
  --liveThreads_;
  if (tellMain) ui_delivery::Post([handle = handle_] { EndedOnMain(handle); });
}

void TBaseDispatcher::EventLoop() {
  handshake_.Set();
  // One device event per arrival of bytes, and none while the line is quiet. An arrival
  // that finds the ring free (the usual case: the main thread has handled a chunk long
  // before the next comes) is read and handed over here, so that it wakes one port
  // thread, not two; else it is the dispatch thread's, in its own time, and this thread
  // never waits for it.
  while (!stop_) {
    const SerialDevice::WaitResult result = device_->WaitInput();
    if (stop_) break;
    if (result == SerialDevice::WaitResult::kReady) {
      if (!TakeArrival()) deviceEvent_.Set();
      continue;
    }
    // A failed wait ends this thread; the dispatch thread then looks at the device on
    // its own, and a device that has gone away is its to report at once.
    if (result == SerialDevice::WaitResult::kFailed) eventThreadEnded_ = true;
    deviceEvent_.Set();
    break;
  }
}

void TBaseDispatcher::DispatchLoop() {
  handshake_.Set();
  while (true) {
    const auto limit = eventThreadEnded_ ? std::optional(kPollInterval) : std::nullopt;
    Signal::WaitAny({&deviceEvent_, &stopping_}, limit);
    if (stop_) break;
    Cycle();
    if (stop_ || closePending_) break;
    if (device_->Lost()) {
      // What came before the loss has been handed over by the cycle; the loss follows it
      // through the same queue. Nothing can come any more: sleep until the close.
      ui_delivery::Post([handle = handle_] { LostOnMain(handle); });
      stopping_.Wait();
      break;
    }
  }
}

// Event thread: reads an arrival into the ring and announces it, unless a hand-over
// being handled or a full ring holds the ring still (false: the dispatch thread's).
bool TBaseDispatcher::TakeArrival() {
  {
    std::lock_guard lock(receiveLock_);
    if (inDelivery_ || full_) return false;
    Extract();
  }
  CheckAvail();
  return true;
}

void TBaseDispatcher::Cycle() {
  AwaitDelivery();
  if (stop_ || closePending_) return;
  Extract();
  CheckAvail();
}

// A delivery still being handled holds the ring still: it is waited for, at most until
// the delivery limit has passed since it began; then what its receiver has taken so far
// counts as consumed. Its job, if it has not started yet, runs late.
void TBaseDispatcher::AwaitDelivery() {
  ui_delivery::Channel::Ticket ticket;
  uint64_t serial = 0;
  ui_delivery::Channel::Clock::time_point deadline;
  {
    std::lock_guard lock(receiveLock_);
    if (!inDelivery_ || !delivery_) return;
    ticket = delivery_;
    serial = deliverySerial_;
    deadline = deliveryBegan_ + kDeliveryLimit;
  }
  if (channel_.Wait(ticket, deadline) != ui_delivery::Channel::Result::kTimedOut) return;
  std::lock_guard lock(receiveLock_);
  if (inDelivery_ && deliverySerial_ == serial) EndDelivery();
}

void TBaseDispatcher::EndDelivery() {
  mostTaken_ = std::max(mostTaken_, taken_);
  inDelivery_ = false;
  delivery_ = nullptr;
  RingAdvance(mostTaken_);
  taken_ = mostTaken_ = 0;
  // Bytes read into the ring while the delivery ran (it was given up, or ran late) are
  // announced at once.
  if (received_ != notified_) deviceEvent_.Set();
}

// Reads what the driver holds, without asking how much: a read returns at once with
// what is there.
void TBaseDispatcher::Extract() {
  std::lock_guard lock(receiveLock_);
  if (full_) return;
  auto readInto = [&](size_t limit) {
    const size_t n = device_->Read(ring_.data() + writeIndex_, limit);
    writeIndex_ = (writeIndex_ + n) % kReceiveRingSize;
    received_ += n;
    if (n > 0 && writeIndex_ == readIndex_) full_ = true;
    return n;
  };
  const size_t contiguous =
      readIndex_ > writeIndex_ ? readIndex_ - writeIndex_ : kReceiveRingSize - writeIndex_;
  if (readInto(contiguous) == contiguous && !full_) {
    readInto(readIndex_ - writeIndex_);  // the rest, at the start of the ring
  }
}

// Each arrival of new bytes yields at most one notification, with the total unread. The
// notification is handed to the main thread without waiting for it: the next cycle
// waits, if the main thread has not handled it by then.
void TBaseDispatcher::CheckAvail() {
  uint16_t count = 0;
  uint64_t serial = 0;
  {
    std::lock_guard lock(receiveLock_);
    if (inDelivery_ || threshold_ == 0 || received_ == notified_) return;
    const size_t unread = RingUsed();
    if (unread < threshold_) return;
    // Bytes that nobody listens to yet stay announced for when someone does.
    if (!hasReceiver_ || !ownerWants_) return;
    notified_ = received_;
    count = static_cast<uint16_t>(std::min(unread, kMaxCount));
    inDelivery_ = true;
    taken_ = mostTaken_ = 0;
    serial = ++deliverySerial_;
    deliveryBegan_ = ui_delivery::Channel::Clock::now();
  }
  auto ticket = channel_.Start(
      [handle = handle_, count, serial](bool late) { DeliverOnMain(handle, count, late, serial); });
  std::lock_guard lock(receiveLock_);
  if (!inDelivery_ || deliverySerial_ != serial) return;  // handled already
  if (ticket) {
    delivery_ = std::move(ticket);
  } else {
    EndDelivery();  // the channel is closed: it never runs
  }
}

void TBaseDispatcher::DeliverOnMain(uint16_t handle, uint16_t count, bool late, uint64_t serial) {
  std::lock_guard lock(DispatcherTableLock());
  if (auto d = FindDispatcher(handle)) d->HandleOnMain(count, late, serial);
}

void TBaseDispatcher::HandleOnMain(uint16_t count, bool late, uint64_t serial) {
  const AvailReceiver receiver = receiver_;  // the handler may unregister it
  {
    std::lock_guard lock(receiveLock_);
    const size_t unread = RingUsed();
    if (late) {
      // The dispatch thread stopped waiting before this ran, and consumed nothing. A
      // newer notification, already queued, carries these bytes; else hand them now.
      if (!receiver || inDelivery_ || unread == 0) return;
      inDelivery_ = true;
      taken_ = mostTaken_ = 0;
      serial = ++deliverySerial_;
      delivery_ = nullptr;  // this one is ended here, never waited for
      count = static_cast<uint16_t>(std::min(unread, kMaxCount));
    } else {
      // A handler that outlived its own delivery may have read some of these already.
      const size_t left = inDelivery_ ? unread - std::min(taken_, unread) : unread;
      count = static_cast<uint16_t>(std::min<size_t>(count, left));
      if (!receiver || count == 0) {
        if (inDelivery_ && deliverySerial_ == serial) EndDelivery();
        return;
      }
    }
  }
  ++handlerDepth_;
  try {
    receiver(count);
  } catch (...) {
    ShowSerialException(ExceptionText(std::current_exception()));
  }
  --handlerDepth_;
  {
    std::lock_guard lock(receiveLock_);
    if (inDelivery_ && deliverySerial_ == serial) EndDelivery();
  }
  if (handlerDepth_ == 0 && endedWaiting_) {
    endedWaiting_ = false;
    ui_delivery::Post([handle = handle_] { EndedOnMain(handle); });
  }
}

void TBaseDispatcher::LostOnMain(uint16_t handle) {
  std::shared_ptr<TBaseDispatcher> d;
  LostReceiver receiver;
  {
    std::lock_guard lock(DispatcherTableLock());
    d = FindDispatcher(handle);
    // The slot may belong to a newer dispatcher by now, on a device that is still there.
    if (!d || !d->device_->Lost()) return;
    receiver = std::move(d->lostReceiver_);
    d->lostReceiver_ = nullptr;
  }
  // The receiver closes the port (which may show windows): no table lock held meanwhile.
  if (receiver) receiver();
}

void TBaseDispatcher::EndedOnMain(uint16_t handle) {
  std::lock_guard lock(DispatcherTableLock());
  if (auto d = FindDispatcher(handle)) d->HandleEnded();
}

void TBaseDispatcher::HandleEnded() {
  if (InHandler()) {
    endedWaiting_ = true;  // completed when the outermost handler returns
    return;
  }
  auto onEnded = std::move(onEnded_);
  onEnded_ = nullptr;
  if (onEnded) onEnded();
}

void TBaseDispatcher::OutputLoop() {
  handshake_.Set();
  while (true) {
    const int which = Signal::WaitAny({&outputReady_, &outputStop_, &stopping_});
    if (stop_) break;
    if (which == 1) {
      device_->ClearAbort();
      handshake_.Set();  // a flush while idle
      continue;
    }
    WriteAllPending();
  }
}

bool TBaseDispatcher::OutputStopRequested() {
  if (!outputStop_.Wait(std::chrono::milliseconds(0))) return false;
  device_->ClearAbort();
  handshake_.Set();
  return true;
}

void TBaseDispatcher::WriteAllPending() {
  while (!stop_ && !OutputStopRequested()) {
    const uint8_t* piece = nullptr;
    size_t size = 0;
    {
      std::lock_guard lock(outputLock_);
      // During a flush the bytes are being thrown away; what is queued after it sets
      // output-ready again.
      if (outFlushing_ || (!outFull_ && outRead_ == outWrite_)) break;
      // Up to the write index, or to the end of the ring when the bytes wrap; the rest
      // is the next piece. The pending bytes are not touched by anyone else meanwhile.
      piece = outRing_.data() + outRead_;
      size = outWrite_ > outRead_ ? outWrite_ - outRead_ : outRing_.size() - outRead_;
    }
    size_t written = 0;
    const auto result = device_->Write(piece, size, written);
    if (device_->Lost()) deviceEvent_.Set();  // the dispatch thread reports it
    if (result == SerialDevice::WriteResult::kAborted) {
      Signal::WaitAny({&outputStop_, &stopping_});
      handshake_.Set();
      return;
    }
    {
      std::lock_guard lock(outputLock_);
      // A failed write drops the piece, as if it had been sent.
      const size_t done = result == SerialDevice::WriteResult::kDone ? written : size;
      outRead_ = (outRead_ + done) % outRing_.size();
      if (done > 0) outFull_ = false;
      if (outRead_ == outWrite_ && !outFull_) outRead_ = outWrite_ = 0;
    }
    writeComplete_.Set();
    outDrained_.notify_all();
  }
  outDrained_.notify_all();
}
