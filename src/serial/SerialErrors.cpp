// Error texts and the mapping of negative codes to exceptions.
#include "serial/SerialErrors.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace {

struct ErrorRow {
  int number;
  const char* text;
};

// Rows are looked up by the absolute value of the code.
constexpr ErrorRow kErrorTable[] = {
    {2, "File not found"},
    {3, "Path not found"},
    {4, "Too many open files"},
    {5, "File access denied"},
    {6, "Invalid file handle"},
    {8, "Insufficient memory"},
    {15, "Invalid drive"},
    {18, "No more files"},
    {100, "Attempt to read beyond end of file"},
    {101, "Disk is full"},
    {102, "File/device not assigned"},
    {103, "File/device not open"},
    {104, "File/device not open for input"},
    {105, "File/device not open for output"},
    {150, "Disk is write-protected"},
    {151, "Unknown disk unit"},
    {152, "Drive is not ready"},
    {153, "Unknown command"},
    {154, "Data error"},
    {155, "Bad request structure length"},
    {156, "Seek error"},
    {157, "Unknown media type"},
    {158, "Disk sector not found"},
    {159, "Printer is out of paper"},
    {160, "Device write error"},
    {161, "Device read error"},
    {162, "General failure"},
    {1002, "Bad argument passed to function"},
    {2001, "ie_BadId - Specified comport doesn't exist"},
    {2007, "ie_NOpen - device not open"},
    {2008, "ie_Open - device already open"},
    {2011, "The ComNumber property of the TSerialPort has not been set"},
    {3004, "Failed to put entire block"},
    {3006, "Output buffer too small for block"},
    {3007, "Buffer is empty"},
};

constexpr int kMaxSystemTextLength = 255;
constexpr int kFirstOsError = 2;
constexpr int kLastOsError = 162;
const char kVexaException[] = "Vexa exception";
// The usual reason why a serial device cannot be opened on Linux; the bare system text
// ("Permission denied") does not tell the user what to do.
const char kDialoutHint[] = " (add the user to the dialout group and log in again)";

// The system's text for an error number: control characters blanked, runs of blanks
// folded into one, at most 255 characters.
QString SystemErrorText(int number) {
  const char* raw = std::strerror(number);
  if (raw == nullptr) return QString();
  QString text;
  bool lastBlank = false;
  for (const QChar c : QString::fromLocal8Bit(raw)) {
    const bool blank = c.unicode() < 32 || c == QLatin1Char(' ');
    if (blank && lastBlank) continue;
    text.append(blank ? QLatin1Char(' ') : c);
    lastBlank = blank;
  }
  return text.left(kMaxSystemTextLength);
}

template <class E>
[[noreturn]] void Raise(int code) {
  throw E(code, SerialErrorMessage(code));
}

}  // namespace

ESerialException::ESerialException(int errorNumber, const QString& message)
    : std::runtime_error(message.toStdString()), ErrorNumber(errorNumber) {}

QString SerialErrorMessage(int code) {
  const int number = std::abs(code);
  for (const ErrorRow& row : kErrorTable) {
    if (row.number == number) return QString::fromLatin1(row.text);
  }
  QString text = SystemErrorText(number);
  if (number == serial_error::kOsPermission && !text.isEmpty()) {
    text += QLatin1String(kDialoutHint);
  }
  return text;
}

int CheckSerialResult(int code) {
  using namespace serial_error;
  if (code >= 0) return code;
  switch (code) {
    case kBadArgument:
      Raise<EBadArgument>(code);
    case kBadId:
      Raise<EBadId>(code);
    case kCommNotOpen:
      Raise<ECommNotOpen>(code);
    case kAlreadyOpen:
      Raise<EAlreadyOpen>(code);
    case kNoPortSelected:
      Raise<ENoPortSelected>(code);
    case kPutBlockFail:
      Raise<EPutBlockFail>(code);
    case kOutputBufferTooSmall:
      Raise<EOutputBufferTooSmall>(code);
    case kBufferIsEmpty:
      Raise<EBufferIsEmpty>(code);
    case kOutOfMemory:
      throw std::bad_alloc();
    default:
      break;
  }
  if (code <= -1001 && code >= -1009) Raise<EGeneral>(code);
  if (code <= -2001 && code >= -2012) Raise<EOpenComm>(code);
  if (code <= -3001 && code >= -3010) Raise<ESerialIO>(code);
  if (code <= -kFirstOsError && code >= -kLastOsError) {
    throw EInOutError(-code, SerialErrorMessage(code));
  }
  throw ESerialException(0, QString::fromLatin1(kVexaException));
}

int CheckOpenResult(int code, const std::string& lockRefusal) {
  if (code == serial_error::kAlreadyOpen && !lockRefusal.empty()) {
    throw ELockHeld(code, QString::fromStdString(lockRefusal));
  }
  return CheckSerialResult(code);
}

QString OpenFailureMessage(const QString& message, const std::exception& e) {
  if (dynamic_cast<const ELockHeld*>(&e) == nullptr) return message;
  return message + QLatin1Char('\n') + QString::fromStdString(e.what());
}
