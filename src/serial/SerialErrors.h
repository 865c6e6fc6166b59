#pragma once
// Error codes of the serial layer and the exception family raised at the component
// boundary. Inside the layer errors are negative integers; the component maps them
// to exceptions once, with messages from one fixed table.
#include <QString>
#include <stdexcept>
#include <string>

namespace serial_error {
inline constexpr int kBadArgument = -1002;
inline constexpr int kBadId = -2001;
inline constexpr int kCommNotOpen = -2007;
inline constexpr int kAlreadyOpen = -2008;
inline constexpr int kNoPortSelected = -2011;
inline constexpr int kPutBlockFail = -3004;
inline constexpr int kOutputBufferTooSmall = -3006;
inline constexpr int kBufferIsEmpty = -3007;
inline constexpr int kOutOfMemory = -8;
// Operating-system error numbers as the dispatcher reports them (negated), and the two
// that the component gives a meaning of their own.
inline constexpr int kOsFileNotFound = 2;
inline constexpr int kOsPathNotFound = 3;
inline constexpr int kOsAccessDenied = 5;
inline constexpr int kOsPermission = 13;
inline constexpr int kOsGeneralFailure = 162;
}  // namespace serial_error

class ESerialException : public std::runtime_error {
 public:
  ESerialException(int errorNumber, const QString& message);
  int ErrorNumber;
};

class EGeneral : public ESerialException {
  using ESerialException::ESerialException;
};
class EOpenComm : public ESerialException {
  using ESerialException::ESerialException;
};
class ESerialIO : public ESerialException {
  using ESerialException::ESerialException;
};
class EModem : public ESerialException {
  using ESerialException::ESerialException;
};
class ETrigger : public ESerialException {
  using ESerialException::ESerialException;
};
class EProtocol : public ESerialException {
  using ESerialException::ESerialException;
};
class EINI : public ESerialException {
  using ESerialException::ESerialException;
};
class EFax : public ESerialException {
  using ESerialException::ESerialException;
};
class ETapi : public ESerialException {
  using ESerialException::ESerialException;
};
class ERas : public ESerialException {
  using ESerialException::ESerialException;
};

class EBadArgument : public EGeneral {
  using EGeneral::EGeneral;
};
class EBadId : public EOpenComm {
  using EOpenComm::EOpenComm;
};
class ECommNotOpen : public EOpenComm {
  using EOpenComm::EOpenComm;
};
class EAlreadyOpen : public EOpenComm {
  using EOpenComm::EOpenComm;
};
// The device is held through another program's lock file; the message names the lock
// file and the process ("/var/lock/LCK..ttyACM0 is held by process 1234").
class ELockHeld : public EAlreadyOpen {
  using EAlreadyOpen::EAlreadyOpen;
};
class ENoPortSelected : public EOpenComm {
  using EOpenComm::EOpenComm;
};
class EPutBlockFail : public ESerialIO {
  using ESerialIO::ESerialIO;
};
class EOutputBufferTooSmall : public ESerialIO {
  using ESerialIO::ESerialIO;
};
class EBufferIsEmpty : public ESerialIO {
  using ESerialIO::ESerialIO;
};
// An operating-system failure while opening or configuring the device; ErrorNumber is
// the positive error number (2 to 162).
class EInOutError : public ESerialException {
  using ESerialException::ESerialException;
};

// The message of code c: row |c| of the error text table, else the system's text for
// that number (control characters blanked, runs of blanks folded, at most 255 chars).
QString SerialErrorMessage(int code);

// Throws the exception mapped from a negative code; returns codes >= 0 unchanged.
int CheckSerialResult(int code);
// The same for the result of an open, where a refusal by another program's lock file
// (its text from the device layer) raises ELockHeld with that text.
int CheckOpenResult(int code, const std::string& lockRefusal);

// A caller's own message about a port that did not open, with the lock file and its
// process on a second line when a lock refused the open.
QString OpenFailureMessage(const QString& message, const std::exception& e);
