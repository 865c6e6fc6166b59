#pragma once
// The modem's command interpreter: assembles command lines from the bytes the computer
// sends, echoes them, executes "AT" lines and frames the answers the way the profile's
// modem does. No I/O here: the modem loop sends what it returns.
#include <map>
#include <string>

#include "vmodem/Profile.h"

namespace vmodem {

// What to do after a byte was fed.
struct EngineOutput {
  std::string echo;                    // to send at once
  std::string answer;                  // the framed answer of a completed command line
  size_t pauseAt = std::string::npos;  // where in the answer the profile's pause goes
  bool lineDone = false;
  std::string line;            // the command line, when one was completed
  bool startReceive = false;   // stream samples after the answer (+VRX)
  bool startTransmit = false;  // take samples until <DLE><ETX> (+VTX)
};

class CommandEngine {
 public:
  explicit CommandEngine(const Profile& profile);

  // Power-on state: command mode, echo on, verbose results, class 0.
  void powerOn();
  // What a modem that resets its caller ID reporting on DTR does when DTR drops: it hangs
  // up (line 0), forgets +VCID and switches its echo on. The rest stays.
  void forgetCallerIdAndEcho();
  // One byte from the computer while in command mode.
  void feed(char c, EngineOutput& out);

  // The result code that ends a data phase (after <DLE><ETX>).
  std::string resultText(const char* code) const;
  // RING, framed as the result codes are (nothing when they are off).
  std::string ringText() const;
  // Information lines sent unasked (the caller ID block), framed as an answer's.
  std::string infoText(const std::string& lines) const;
  // The +VCID setting: "0" off, "1" formatted caller ID, "2" unformatted.
  std::string callerIdMode() const;

  bool echo() const { return echo_; }
  const std::string& fclass() const { return fclass_; }
  int line() const { return line_; }
  const CompressionMethod* method() const { return method_; }
  int rate() const { return rate_; }

 private:
  enum class Result { Ok, Error, Connect, Vcon, NoCarrier, None };
  Result execute(const std::string& body, std::string& info, EngineOutput& out);
  Result basic(const std::string& body, size_t& pos, std::string& info);
  Result extended(const std::string& name, const std::string& op, const std::string& args,
                  std::string& info, EngineOutput& out);
  Result voice(const std::string& name, const std::string& op, const std::string& args,
               std::string& info, EngineOutput& out);
  Result generic(const std::string& name, const std::string& op, const std::string& args,
                 std::string& info);
  void addInfo(std::string& info, const std::string& text);
  std::string frame(Result result, const std::string& info) const;
  std::string framedLine(const std::string& text) const;
  void enterClass(const std::string& fclass);
  void resetVoiceSettings();

  const Profile& profile_;
  std::string buffer_;
  bool overflow_ = false;
  bool echo_ = true;
  bool verbose_ = true;
  bool quiet_ = false;
  std::string fclass_ = "0";
  int line_ = 0;
  const CompressionMethod* method_ = nullptr;
  int rate_ = 0;
  std::map<std::string, std::string> values_;  // current value of each voice command
  std::map<int, int> sRegisters_;
  size_t lastLineAt_ = std::string::npos;  // in the info of the command being executed
};

}  // namespace vmodem
