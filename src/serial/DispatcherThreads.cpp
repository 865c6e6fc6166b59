// The dispatcher's three threads and the hand-over of data-available to the main thread.
#include <QString>
#include <algorithm>
#include <chrono>
#include <exception>

#include "serial/Dispatcher.h"
#include "serial/ExceptionDisplay.h"
#include "serial/posix/SysCall.h"

namespace {

using namespace std::chrono_literals;

// The dispatch thread looks at the device at least this often, also without events.
constexpr auto kPollInterval = 50ms;
// How long the dispatch thread waits for the main thread to handle a notification.
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
  while (!stop_) {
    bool full = false;
    {
      std::lock_guard lock(receiveLock_);
      full = full_;
    }
    if (full) {
      // Nothing can be read until the ring has room: follow the dispatch cycles.
      Signal::WaitAny({&cycleDone_, &stopping_});
      continue;
    }
    // A failed wait ends this thread; the dispatch thread still polls, and a device that
    // has gone away is its to report at once.
    if (device_->WaitInput() != SerialDevice::WaitResult::kReady) {
      deviceEvent_.Set();
      break;
    }
    cycleDone_.Clear();
    deviceEvent_.Set();
    Signal::WaitAny({&cycleDone_, &stopping_});
  }
}

void TBaseDispatcher::DispatchLoop() {
  handshake_.Set();
  while (true) {
    Signal::WaitAny({&deviceEvent_, &stopping_}, kPollInterval);
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

void TBaseDispatcher::Cycle() {
  modemStatus_ = device_->ModemStatus();
  Extract();
  while (!stop_ && CheckAvail()) {
  }
  cycleDone_.Set();
}

void TBaseDispatcher::Extract() {
  std::lock_guard lock(receiveLock_);
  if (full_) return;
  const size_t waiting = device_->Unread();
  if (waiting == 0) return;
  const size_t take = std::min(kReceiveRingSize - RingUsed(), waiting);
  auto readInto = [&](size_t limit) {
    const size_t n = device_->Read(ring_.data() + writeIndex_, limit);
    writeIndex_ = (writeIndex_ + n) % kReceiveRingSize;
    received_ += n;
    if (n > 0 && writeIndex_ == readIndex_) full_ = true;
    return n;
  };
  const size_t contiguous =
      readIndex_ > writeIndex_ ? readIndex_ - writeIndex_ : kReceiveRingSize - writeIndex_;
  if (readInto(contiguous) == contiguous && take > contiguous && !full_) {
    readInto(readIndex_ - writeIndex_);  // the rest, at the start of the ring
  }
}

// Each arrival of new bytes yields at most one notification, with the total unread.
bool TBaseDispatcher::CheckAvail() {
  uint16_t count = 0;
  {
    std::lock_guard lock(receiveLock_);
    if (inDelivery_ || threshold_ == 0 || received_ == notified_) return false;
    const size_t unread = RingUsed();
    if (unread < threshold_) return false;
    // Bytes that nobody listens to yet stay announced for when someone does.
    if (!hasReceiver_ || !ownerWants_) return false;
    notified_ = received_;
    count = static_cast<uint16_t>(std::min(unread, kMaxCount));
    inDelivery_ = true;
    taken_ = mostTaken_ = 0;
  }
  return DeliverAvail(count);
}

bool TBaseDispatcher::DeliverAvail(uint16_t count) {
  const auto result = channel_.Call(
      [handle = handle_, count](bool late) { DeliverOnMain(handle, count, late); }, kDeliveryLimit);
  bool allTaken = false;
  {
    std::lock_guard lock(receiveLock_);
    mostTaken_ = std::max(mostTaken_, taken_);
    allTaken = mostTaken_ == count;
    inDelivery_ = false;
    RingAdvance(mostTaken_);
    taken_ = mostTaken_ = 0;
  }
  if (result == ui_delivery::Channel::Result::kCancelled || stop_ || closePending_) return false;
  return allTaken;
}

void TBaseDispatcher::DeliverOnMain(uint16_t handle, uint16_t count, bool late) {
  std::lock_guard lock(DispatcherTableLock());
  if (auto d = FindDispatcher(handle)) d->HandleOnMain(count, late);
}

void TBaseDispatcher::HandleOnMain(uint16_t count, bool late) {
  const AvailReceiver receiver = receiver_;  // the handler may unregister it
  if (!receiver) return;
  {
    std::lock_guard lock(receiveLock_);
    const size_t unread = RingUsed();
    if (late) {
      // The dispatch thread stopped waiting before this ran, and consumed nothing. A
      // newer notification, already queued, carries these bytes; else hand them now.
      if (inDelivery_ || unread == 0) return;
      inDelivery_ = true;
      taken_ = mostTaken_ = 0;
      count = static_cast<uint16_t>(std::min(unread, kMaxCount));
    } else {
      // A handler that outlived its own delivery may have read some of these already.
      const size_t left = inDelivery_ ? unread - std::min(taken_, unread) : unread;
      count = static_cast<uint16_t>(std::min<size_t>(count, left));
      if (count == 0) return;
    }
  }
  ++handlerDepth_;
  try {
    receiver(count);
  } catch (...) {
    ShowSerialException(ExceptionText(std::current_exception()));
  }
  --handlerDepth_;
  if (late) {
    std::lock_guard lock(receiveLock_);
    mostTaken_ = std::max(mostTaken_, taken_);
    inDelivery_ = false;
    RingAdvance(mostTaken_);
    taken_ = mostTaken_ = 0;
    deviceEvent_.Set();  // bytes that came meanwhile are announced at once
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
