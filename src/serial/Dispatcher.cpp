// The dispatcher's main-thread side: opening, settings, the two rings, flushing,
// closing, and the process-wide table of dispatchers.
#include "serial/Dispatcher.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "serial/SerialErrors.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kStartLimit = 3000ms;
constexpr auto kDrainLimit = 10000ms;
constexpr int32_t kDefaultSpeed = 115200;
// Line-setting values that mean "keep the device's current value".
constexpr int kKeepParity = 5;
constexpr int kKeepDataBits = 9;
constexpr int kKeepStopBits = 3;
constexpr int kCharacterTimesAfterDrain = 18;

// The table of dispatchers: the slot index is the handle carried by notifications.
struct DispatcherTable {
  std::recursive_mutex mutex;
  std::vector<std::weak_ptr<TBaseDispatcher>> entries;
};

DispatcherTable& Table() {
  static DispatcherTable table;
  return table;
}

}  // namespace

std::shared_ptr<TBaseDispatcher> FindDispatcher(uint16_t handle) {
  DispatcherTable& table = Table();
  std::lock_guard lock(table.mutex);
  if (handle >= table.entries.size()) return nullptr;
  return table.entries[handle].lock();
}

std::recursive_mutex& DispatcherTableLock() {
  return Table().mutex;
}

std::shared_ptr<TBaseDispatcher> TBaseDispatcher::Create() {
  std::shared_ptr<TBaseDispatcher> d(new TBaseDispatcher);
  DispatcherTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto free = std::find_if(table.entries.begin(), table.entries.end(),
                           [](const auto& slot) { return slot.expired(); });
  if (free == table.entries.end()) {
    table.entries.push_back(d);
    d->handle_ = static_cast<uint16_t>(table.entries.size() - 1);
  } else {
    *free = d;
    d->handle_ = static_cast<uint16_t>(free - table.entries.begin());
  }
  return d;
}

TBaseDispatcher::~TBaseDispatcher() {
  RequestStop();
  StopThreads();
  device_->Close();
  DispatcherTable& table = Table();
  std::lock_guard lock(table.mutex);
  if (handle_ < table.entries.size()) table.entries[handle_].reset();
  while (!table.entries.empty() && table.entries.back().expired()) table.entries.pop_back();
}

int TBaseDispatcher::OpenDevice(const std::string& path) {
  const int err = device_->Open(path);
  return err == 0 ? 0 : -err;
}

void TBaseDispatcher::CloseDevice() {
  device_->Close();
}

int TBaseDispatcher::Open(const std::string& path, int32_t baud, int parity, int dataBits,
                          int stopBits, uint16_t inSize, uint16_t outSize, uint32_t lineFlags) {
  (void)inSize;  // the driver's queues have a fixed size here
  if (const int rc = OpenDevice(path); rc != 0) return rc;
  {
    std::scoped_lock lock(receiveLock_, outputLock_);
    ring_.assign(kReceiveRingSize, 0);
    readIndex_ = writeIndex_ = 0;
    full_ = false;
    received_ = notified_ = 0;
    threshold_ = 0;  // until the component sets it
    inDelivery_ = false;
    taken_ = mostTaken_ = 0;
    delivery_ = nullptr;
    outRing_.assign(outSize, 0);
    outRead_ = outWrite_ = 0;
    outFull_ = false;
  }
  {
    std::lock_guard lock(mainLock_);
    dtrAuto_ = (lineFlags & line_control::kDtrFlow) != 0;
    rtsAuto_ = (lineFlags & line_control::kRtsFlow) != 0;
    dtr_ = (lineFlags & line_control::kDtr) != 0;
    rts_ = (lineFlags & line_control::kRts) != 0;
    int rc = 0;
    if (!dtrAuto_) rc = device_->SetModemLine(SerialDevice::Line::kDtr, dtr_);
    if (rc == 0 && !rtsAuto_) rc = device_->SetModemLine(SerialDevice::Line::kRts, rts_);
    modemStatus_ = device_->ModemStatus();
    lastSpeed_ = kDefaultSpeed;
    if (rc == 0) rc = -SetLine(baud, parity, dataBits, stopBits);
    if (rc != 0) {
      device_->Purge(true, true);
      device_->Close();
      return -rc;
    }
  }
  StartThreads();
  return 0;
}

int TBaseDispatcher::SetLine(int32_t baud, int parity, int dataBits, int stopBits) {
  LineSettings line;
  {
    std::lock_guard lock(mainLock_);
    if (const int err = device_->GetLine(line); err != 0) return -err;
    if (stopBits == kKeepStopBits) stopBits = line.stopBits;
    stopBits = std::clamp(stopBits, 1, 2);
    if (baud == 0) baud = line.baud;
    if (parity == kKeepParity) parity = line.parity;
    if (dataBits == kKeepDataBits) dataBits = line.dataBits;
    if (baud == line.baud && parity == line.parity && dataBits == line.dataBits &&
        stopBits == line.stopBits) {
      return 0;
    }
  }
  // Let queued output leave at the old settings first.
  {
    std::unique_lock lock(outputLock_);
    outDrained_.wait_for(lock, kDrainLimit, [&] { return OutPending() == 0 || stop_; });
  }
  {
    std::lock_guard lock(mainLock_);
    const int bits = 2 + dataBits + (parity != 0 ? 1 : 0) + (stopBits != 1 ? 1 : 0);
    const int32_t speed = lastSpeed_ > 0 ? lastSpeed_ : kDefaultSpeed;
    std::this_thread::sleep_for(std::chrono::microseconds(
        (1000000LL * bits * kCharacterTimesAfterDrain + speed - 1) / speed));
  }
  std::lock_guard lock(mainLock_);
  if (const int err = device_->GetLine(line); err != 0) return -err;
  line.baud = baud;
  line.parity = static_cast<uint8_t>(parity);
  line.dataBits = static_cast<uint16_t>(dataBits);
  line.stopBits = static_cast<uint8_t>(stopBits);
  const int err = device_->SetLine(line);
  if (err == 0) lastSpeed_ = baud;
  if (!dtrAuto_) device_->SetModemLine(SerialDevice::Line::kDtr, dtr_);
  if (!rtsAuto_) device_->SetModemLine(SerialDevice::Line::kRts, rts_);
  return -err;
}

int TBaseDispatcher::SetDTR(bool raised) {
  std::lock_guard lock(mainLock_);
  if (dtrAuto_) return 1;
  dtr_ = raised;
  return -device_->SetModemLine(SerialDevice::Line::kDtr, raised);
}

int TBaseDispatcher::SetRTS(bool raised) {
  std::lock_guard lock(mainLock_);
  if (rtsAuto_) return 1;
  rts_ = raised;
  return -device_->SetModemLine(SerialDevice::Line::kRts, raised);
}

int TBaseDispatcher::SetFlow(bool hardware, bool software, uint8_t xon, uint8_t xoff) {
  std::lock_guard lock(mainLock_);
  LineSettings line;
  if (const int err = device_->GetLine(line); err != 0) return -err;
  line.hardwareFlow = hardware;
  line.softwareFlow = software;
  line.xonChar = xon;
  line.xoffChar = xoff;
  return -device_->SetLine(line);
}

size_t TBaseDispatcher::OutPending() const {
  if (outFull_) return outRing_.size();
  return (outWrite_ + outRing_.size() - outRead_) % std::max<size_t>(outRing_.size(), 1);
}

uint16_t TBaseDispatcher::OutputFree() {
  std::lock_guard lock(outputLock_);
  return static_cast<uint16_t>(outRing_.size() - OutPending());
}

size_t TBaseDispatcher::OutputPending() {
  std::lock_guard lock(outputLock_);
  return OutPending();
}

int TBaseDispatcher::PutBlock(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  {
    std::lock_guard lock(outputLock_);
    const size_t capacity = outRing_.size();
    const size_t free = capacity - OutPending();
    if (size > free) return serial_error::kOutputBufferTooSmall;
    const size_t first = std::min(size, capacity - outWrite_);
    std::memcpy(outRing_.data() + outWrite_, data, first);
    std::memcpy(outRing_.data(), data + first, size - first);
    outWrite_ = (outWrite_ + size) % capacity;
    if (size == free) outFull_ = true;
  }
  outputReady_.Set();
  return 0;
}

size_t TBaseDispatcher::RingUsed() const {
  if (full_) return kReceiveRingSize;
  return (writeIndex_ + kReceiveRingSize - readIndex_) % kReceiveRingSize;
}

void TBaseDispatcher::RingAdvance(size_t count) {
  count = std::min(count, RingUsed());
  readIndex_ = (readIndex_ + count) % kReceiveRingSize;
  if (count > 0 && full_) {
    full_ = false;
    // Bytes that found no room wait in the driver, and no arrival announces them.
    deviceEvent_.Set();
  }
}

int TBaseDispatcher::GetChar(uint8_t& c) {
  std::lock_guard lock(receiveLock_);
  const size_t unread = RingUsed();
  if (inDelivery_) {
    // Inside a handler the byte is only read; the delivery consumes it afterwards.
    if (taken_ >= unread) return serial_error::kBufferIsEmpty;
    c = ring_[(readIndex_ + taken_) % kReceiveRingSize];
    ++taken_;
    return 0;
  }
  if (unread == 0) return serial_error::kBufferIsEmpty;
  c = ring_[readIndex_];
  RingAdvance(1);
  return 0;
}

size_t TBaseDispatcher::GetChars(uint8_t* out, size_t n) {
  std::lock_guard lock(receiveLock_);
  const size_t unread = RingUsed();
  // Inside a handler the bytes are only read; the delivery consumes them afterwards.
  const size_t skip = inDelivery_ ? std::min(taken_, unread) : 0;
  const size_t count = std::min(n, unread - skip);
  const size_t from = (readIndex_ + skip) % kReceiveRingSize;
  const size_t first = std::min(count, kReceiveRingSize - from);
  std::memcpy(out, ring_.data() + from, first);
  std::memcpy(out + first, ring_.data(), count - first);
  if (inDelivery_) {
    taken_ += count;
  } else {
    RingAdvance(count);
  }
  return count;
}

size_t TBaseDispatcher::InBuffUsed() {
  std::lock_guard lock(receiveLock_);
  const size_t unread = RingUsed();
  return inDelivery_ ? unread - std::min(taken_, unread) : unread;
}

void TBaseDispatcher::SetAvailThreshold(uint16_t threshold) {
  std::lock_guard lock(receiveLock_);
  threshold_ = threshold;
}

uint16_t TBaseDispatcher::AvailThreshold() {
  std::lock_guard lock(receiveLock_);
  return threshold_;
}

void TBaseDispatcher::RegisterReceiver(AvailReceiver receiver) {
  hasReceiver_ = static_cast<bool>(receiver);
  receiver_ = std::move(receiver);
  deviceEvent_.Set();  // bytes that waited for a receiver are announced now
}

void TBaseDispatcher::SetLostReceiver(LostReceiver receiver) {
  lostReceiver_ = std::move(receiver);
}

void TBaseDispatcher::SetOwnerWantsNotifications(bool wants) {
  ownerWants_ = wants;
  if (wants) deviceEvent_.Set();
}

TTriggerSave TBaseDispatcher::SaveTriggers() {
  return TTriggerSave{AvailThreshold()};
}

void TBaseDispatcher::RestoreTriggers(const TTriggerSave& saved) {
  SetAvailThreshold(saved.availThreshold);
}

int TBaseDispatcher::FlushOutput() {
  if (!device_->IsOpen()) return 0;
  bool writer = false;
  {
    std::lock_guard lock(mainLock_);
    writer = threadsStarted_ && outputThread_.joinable();
  }
  if (writer) {
    {
      std::lock_guard lock(outputLock_);
      outFlushing_ = true;
    }
    // The abort goes first, so that a writer that sees output-stop also finds the
    // abort of its device write and never takes a stale one later.
    device_->AbortWrite();
    outputStop_.Set();
    Signal::WaitAny({&handshake_, &writerGone_});
  }
  {
    std::lock_guard lock(outputLock_);
    outRead_ = outWrite_ = 0;
    outFull_ = false;
    outFlushing_ = false;
  }
  outDrained_.notify_all();
  return -device_->Purge(!writer, writer);
}

int TBaseDispatcher::FlushInput() {
  if (!device_->IsOpen()) return 0;
  std::lock_guard lock(receiveLock_);
  const int err = device_->Purge(true, false);
  if (inDelivery_) {
    mostTaken_ = RingUsed();  // consumed when the delivery ends
  } else {
    readIndex_ = writeIndex_;
    full_ = false;
    taken_ = 0;
  }
  return -err;
}

void TBaseDispatcher::StartThreads() {
  std::lock_guard lock(mainLock_);
  if (threadsStarted_) throw std::logic_error("Dispatcher already started");
  threadsStarted_ = true;
  stop_ = false;
  eventThreadEnded_ = false;
  handshake_.Clear();
  liveThreads_ = 3;
  eventThread_ = std::thread(&TBaseDispatcher::RunThread, this, &TBaseDispatcher::EventLoop);
  handshake_.Wait(kStartLimit);
  dispatchThread_ = std::thread(&TBaseDispatcher::RunThread, this, &TBaseDispatcher::DispatchLoop);
  handshake_.Wait(kStartLimit);
  outputThread_ = std::thread(&TBaseDispatcher::RunThread, this, &TBaseDispatcher::OutputLoop);
  handshake_.Wait(kStartLimit);
}

void TBaseDispatcher::RequestStop() {
  stop_ = true;
  channel_.Cancel();
  stopping_.Set();
  if (device_->IsOpen()) {
    device_->CancelWaits();
    device_->AbortWrite();
  }
  outDrained_.notify_all();
}

// Every wait of the threads ends on RequestStop (the channel is cancelled, the device
// waits are cancelled, the signals are set), so joining cannot hang on the main thread.
void TBaseDispatcher::StopThreads() {
  for (std::thread* t : {&outputThread_, &eventThread_, &dispatchThread_}) {
    if (t->joinable()) t->join();
  }
}

bool TBaseDispatcher::Close(std::function<void()> onEnded) {
  if (device_->IsOpen()) {
    FlushOutput();
    FlushInput();
  }
  if (InHandler()) {
    onEnded_ = std::move(onEnded);
    closePending_ = true;
    RequestStop();
    return false;
  }
  RequestStop();
  Finish();
  return true;
}

void TBaseDispatcher::Finish() {
  StopThreads();
  device_->Close();
}
