#pragma once
// The operating-system serial device behind the dispatcher. One implementation per
// platform (posix/ on Linux); the dispatcher and its threads see only this interface.
// Failures are reported as positive operating-system error numbers already mapped to
// the numbering the component understands (2 = no such device, 5 = held by someone
// else, any other number keeps its own meaning and text).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Line settings of an open device.
struct LineSettings {
  int32_t baud = 0;
  uint16_t dataBits = 8;
  uint8_t parity = 0;    // TParity order: none, odd, even, mark, space
  uint8_t stopBits = 1;  // 1 or 2
  bool hardwareFlow = false;
  bool softwareFlow = false;
  uint8_t xonChar = 17;
  uint8_t xoffChar = 19;
};

// Modem-line status bits as read from the device.
namespace modem_status {
inline constexpr uint8_t kCts = 0x10;
inline constexpr uint8_t kDsr = 0x20;
inline constexpr uint8_t kRing = 0x40;
inline constexpr uint8_t kDcd = 0x80;
}  // namespace modem_status

class SerialDevice {
 public:
  enum class WaitResult { kReady, kCancelled, kFailed };
  enum class WriteResult { kDone, kAborted, kFailed };
  enum class Line { kDtr, kRts };

  static std::unique_ptr<SerialDevice> Create();
  virtual ~SerialDevice() = default;

  // Opens the device for exclusive use; 0 or an OS error number. Closes everything it
  // opened on failure.
  virtual int Open(const std::string& path) = 0;
  // After an Open that another program's lock file refused: the text naming that lock
  // file and its process; empty after any other outcome.
  virtual std::string OpenRefusal() const = 0;
  // Restores the device's settings, drops the locks and closes it. Only after every
  // thread that used the device has ended.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // True once the device has gone away under us (hung up, unplugged): every operation
  // fails from then on. Any thread; cleared by the next Open.
  virtual bool Lost() const = 0;

  virtual int GetLine(LineSettings& out) = 0;
  virtual int SetLine(const LineSettings& settings) = 0;
  // A device without modem lines (a pseudo-terminal) takes these as done; it is not
  // asked again until the next Open.
  virtual int SetModemLine(Line line, bool raised) = 0;
  virtual uint8_t ModemStatus() = 0;

  // Bytes waiting in the driver's receive queue.
  virtual size_t Unread() = 0;
  // Reads what has arrived, up to size, without waiting; 0 on failure.
  virtual size_t Read(uint8_t* buffer, size_t size) = 0;
  // Writes all bytes, waiting for room in the driver as needed; AbortWrite ends the
  // wait (kAborted). written tells how many went out.
  virtual WriteResult Write(const uint8_t* data, size_t size, size_t& written) = 0;
  virtual void AbortWrite() = 0;
  // Forgets an AbortWrite that no write has consumed.
  virtual void ClearAbort() = 0;

  // Blocks until bytes have arrived since the last return (each arrival wakes it once,
  // however long the bytes then wait to be read), CancelWaits is called (sticky until
  // Close), or the device fails (kFailed; a hang-up also makes Lost() true).
  virtual WaitResult WaitInput() = 0;
  virtual void CancelWaits() = 0;

  // Discards the driver's queues; 0 or an OS error number.
  virtual int Purge(bool input, bool output) = 0;
};
