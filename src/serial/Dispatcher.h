#pragma once
// The engine under the port component: owns the device, the receive ring (8192 bytes),
// the output ring (OutSize bytes) and three threads while the port is open:
//  - the event thread waits for the device to have bytes; when the ring is free it moves
//    them into the receive ring and hands "data available" to the main thread itself,
//    else it wakes the dispatch thread;
//  - the dispatch thread does the same for arrivals the event thread left to it: the
//    ring holds still until the handler has run (at most 3000 ms), which it waits for
//    only when more bytes come meanwhile, or a full ring has room again;
//  - the writer thread writes queued output, so that queuing never waits for the line.
// Each thread wakes only for work: an arrival of bytes, output to write, a close.
// When the device goes away (hang-up, unplugged) the dispatch thread hands the bytes that
// came before it over as usual, then the loss, and sleeps until the close.
// Locks: main (settings, flags), receive (receive ring), output (output ring); all
// re-entrant; receive before output where both are held. A process-wide table maps the
// 16-bit handle carried by each notification to its dispatcher.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/SerialDevice.h"
#include "serial/Signals.h"
#include "serial/UiDelivery.h"

// Line-control flags given to Open.
namespace line_control {
inline constexpr uint32_t kDtr = 0x01;
inline constexpr uint32_t kRts = 0x02;
inline constexpr uint32_t kDtrFlow = 0x10;
inline constexpr uint32_t kRtsFlow = 0x20;
}  // namespace line_control

// The trigger settings a component keeps across a close and gives to its next
// dispatcher. This system registers no triggers of its own: only the threshold.
struct TTriggerSave {
  uint16_t availThreshold = 0;
};

// The names of an open port's threads (at most 15 characters, the system's limit).
inline constexpr char kEventThreadName[] = "port-event";
inline constexpr char kDispatchThreadName[] = "port-dispatch";
inline constexpr char kWriterThreadName[] = "port-writer";

class TBaseDispatcher;

// The process-wide table: handle -> dispatcher (null when gone), and its lock, which
// the main thread holds while a notification's handlers run.
std::shared_ptr<TBaseDispatcher> FindDispatcher(uint16_t handle);
std::recursive_mutex& DispatcherTableLock();

class TBaseDispatcher {
 public:
  static constexpr size_t kReceiveRingSize = 8192;
  using AvailReceiver = std::function<void(uint16_t count)>;
  using LostReceiver = std::function<void()>;

  // A new dispatcher, entered in the process-wide table.
  static std::shared_ptr<TBaseDispatcher> Create();
  ~TBaseDispatcher();
  TBaseDispatcher(const TBaseDispatcher&) = delete;
  TBaseDispatcher& operator=(const TBaseDispatcher&) = delete;

  uint16_t Handle() const { return handle_; }

  // Main thread. Opens the device, applies the line settings and starts the threads.
  // 0 or the negative OS error number (-8 when the wait objects cannot be created).
  int Open(const std::string& path, int32_t baud, int parity, int dataBits, int stopBits,
           uint16_t inSize, uint16_t outSize, uint32_t lineFlags);
  // Only opens and closes the device (availability probe); no threads, no settings.
  int OpenDevice(const std::string& path);
  void CloseDevice();
  // After an open that another program's lock file refused: the lock file and its
  // process, to be shown instead of the bare "already open".
  std::string OpenRefusal() const { return device_->OpenRefusal(); }

  int SetLine(int32_t baud, int parity, int dataBits, int stopBits);
  int SetDTR(bool raised);
  int SetRTS(bool raised);
  // Flow control is never switched on by this program; the setter rewrites the line
  // settings with the flow-control characters.
  int SetFlow(bool hardware, bool software, uint8_t xon, uint8_t xoff);

  uint16_t OutputFree();
  size_t OutputPending();
  int PutBlock(const uint8_t* data, size_t size);  // 0, -3006 or -3004
  int GetChar(uint8_t& c);                         // 0 or -3007
  size_t GetChars(uint8_t* out, size_t n);         // as GetChar n times: how many were read
  size_t InBuffUsed();                             // unread, less what a handler took
  void SetAvailThreshold(uint16_t threshold);
  uint16_t AvailThreshold();

  // Main thread: the component's endpoint for data-available; empty to unregister.
  void RegisterReceiver(AvailReceiver receiver);
  void SetOwnerWantsNotifications(bool wants);
  // Main thread: told once, on the main thread, when the device has gone away.
  void SetLostReceiver(LostReceiver receiver);
  TTriggerSave SaveTriggers();
  void RestoreTriggers(const TTriggerSave& saved);

  int FlushOutput();
  int FlushInput();

  // Main thread: discards output and input and shuts the device down. Returns true when
  // everything has ended. Called from inside a data-available handler it returns false:
  // the dispatch thread ends once the handler has returned, and then onEnded runs on
  // the main thread (never inside a handler); call Finish from there.
  bool Close(std::function<void()> onEnded);
  void Finish();
  bool InHandler() const { return handlerDepth_ > 0; }
  bool ThreadsAlive() const { return liveThreads_.load() > 0; }

 private:
  TBaseDispatcher() = default;

  // Receive ring, receive lock held.
  size_t RingUsed() const;
  void RingAdvance(size_t count);
  // Output ring, output lock held.
  size_t OutPending() const;

  void StartThreads();
  void RequestStop();
  void StopThreads();

  void EventLoop();
  void DispatchLoop();
  void OutputLoop();
  void RunThread(void (TBaseDispatcher::*loop)());
  bool TakeArrival();
  void Cycle();
  void AwaitDelivery();
  void EndDelivery();  // receive lock held
  void Extract();
  void CheckAvail();
  void WriteAllPending();
  bool OutputStopRequested();

  // Main thread, from the delivery mechanism.
  static void DeliverOnMain(uint16_t handle, uint16_t count, bool late, uint64_t serial);
  static void EndedOnMain(uint16_t handle);
  static void LostOnMain(uint16_t handle);
  void HandleOnMain(uint16_t count, bool late, uint64_t serial);
  void HandleEnded();

  uint16_t handle_ = 0;
  std::unique_ptr<SerialDevice> device_ = SerialDevice::Create();

  std::recursive_mutex mainLock_;
  std::recursive_mutex receiveLock_;
  std::recursive_mutex outputLock_;

  // Line control (main lock).
  bool dtr_ = true, rts_ = true, dtrAuto_ = false, rtsAuto_ = false;
  int32_t lastSpeed_ = 0;
  std::atomic<uint8_t> modemStatus_{0};

  // Receive ring (receive lock).
  std::vector<uint8_t> ring_;
  size_t readIndex_ = 0, writeIndex_ = 0;
  bool full_ = false;
  uint64_t received_ = 0;  // bytes ever put into the ring
  uint64_t notified_ = 0;  // received_ at the last data-available notification
  uint16_t threshold_ = 0;
  bool inDelivery_ = false;
  size_t taken_ = 0, mostTaken_ = 0;
  uint64_t deliverySerial_ = 0;            // of the latest delivery
  ui_delivery::Channel::Ticket delivery_;  // its job, while the dispatch thread may wait
  ui_delivery::Channel::Clock::time_point deliveryBegan_;

  // Output ring (output lock).
  std::vector<uint8_t> outRing_;
  size_t outRead_ = 0, outWrite_ = 0;
  bool outFull_ = false;
  // A flush is emptying the ring: the writer must not take a piece of the old bytes
  // between its abort and the reset.
  bool outFlushing_ = false;
  std::condition_variable_any outDrained_;

  // Threads and signals.
  std::thread eventThread_, dispatchThread_, outputThread_;
  bool threadsStarted_ = false;  // main lock
  std::atomic<int> liveThreads_{0};
  std::atomic<bool> stop_{false};
  std::atomic<bool> closePending_{false};
  std::atomic<bool> eventThreadEnded_{false};  // its device wait failed
  SignalGroup signals_;
  Signal deviceEvent_{signals_, Signal::Reset::kAuto};
  Signal handshake_{signals_, Signal::Reset::kAuto};
  Signal outputReady_{signals_, Signal::Reset::kAuto};
  Signal writeComplete_{signals_, Signal::Reset::kManual};
  Signal outputStop_{signals_, Signal::Reset::kAuto};
  Signal stopping_{signals_, Signal::Reset::kManual};
  Signal writerGone_{signals_, Signal::Reset::kManual};
  ui_delivery::Channel channel_;

  // Receivers (main thread only, except the two flags read by the event and dispatch
  // threads).
  AvailReceiver receiver_;
  std::atomic<bool> hasReceiver_{false};
  std::atomic<bool> ownerWants_{false};
  int handlerDepth_ = 0;
  bool endedWaiting_ = false;  // the threads ended while a handler was still running
  std::function<void()> onEnded_;
  LostReceiver lostReceiver_;
};
