#include "vmodem/CommandEngine.h"

#include <cctype>
#include <cstdio>

#include "vmodem/ParamRange.h"

namespace vmodem {
namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr char kBackspace = 0x08;
constexpr char kDelete = 0x7f;
constexpr size_t kMaxLine = 255;
// Basic commands accepted without effect here (speaker, dialling modes, line options).
constexpr const char* kHarmlessBasic = "LMXBWYPTN";
constexpr const char* kHarmlessAmpersand = "CDKSWYQ";
const std::string kCallerIdCommand = "+VCID";

char up(char c) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

std::string upper(std::string s) {
  for (char& c : s) c = up(c);
  return s;
}

bool isDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool readNumber(const std::string& s, size_t& pos, int& value) {
  const size_t start = pos;
  value = 0;
  while (pos < s.size() && isDigit(s[pos]) && pos - start < 6)
    value = value * 10 + (s[pos++] - '0');
  return pos > start;
}

bool toInt(const std::string& s, int& value) {
  size_t pos = 0;
  return readNumber(s, pos, value) && pos == s.size();
}

std::string join(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text += (text.empty() ? "" : "\r\n") + l;
  return text;
}

bool isIdentification(const std::string& name) {
  return name == "+GMI" || name == "+GMM" || name == "+GMR" || name == "+FMI" || name == "+FMM" ||
         name == "+FMR";
}

}  // namespace

CommandEngine::CommandEngine(const Profile& profile) : profile_(profile) {
  powerOn();
}

void CommandEngine::powerOn() {
  buffer_.clear();
  overflow_ = false;
  echo_ = true;
  verbose_ = true;
  quiet_ = false;
  sRegisters_.clear();
  enterClass("0");
  resetVoiceSettings();
}

void CommandEngine::forgetCallerIdAndEcho() {
  buffer_.clear();
  overflow_ = false;
  echo_ = true;
  line_ = 0;
  const auto command = profile_.voiceCommands.find(kCallerIdCommand);
  if (command == profile_.voiceCommands.end()) {
    values_.erase(kCallerIdCommand);
  } else {
    values_[kCallerIdCommand] = command->second.initialValue;
  }
}

void CommandEngine::resetVoiceSettings() {
  values_.clear();
  for (const auto& [name, command] : profile_.voiceCommands) values_[name] = command.initialValue;
}

void CommandEngine::enterClass(const std::string& fclass) {
  fclass_ = fclass;
  line_ = 0;
  method_ = profile_.methods.empty() ? nullptr : &profile_.methods.front();
  rate_ = method_ ? method_->defaultRate : 0;
}

void CommandEngine::feed(char c, EngineOutput& out) {
  if (echo_) out.echo += c;
  if (c == kLf) return;
  if (c == kBackspace || c == kDelete) {
    if (!buffer_.empty()) buffer_.pop_back();
    return;
  }
  if (c != kCr) {
    if (buffer_.size() < kMaxLine) {
      buffer_ += c;
    } else {
      overflow_ = true;
    }
    return;
  }
  std::string line;
  line.swap(buffer_);
  const bool overflowed = overflow_;
  overflow_ = false;
  // Whatever precedes the "AT" (noise, a stray line feed) is not part of the command.
  size_t at = std::string::npos;
  for (size_t i = 0; i + 1 < line.size(); ++i) {
    if (up(line[i]) == 'A' && up(line[i + 1]) == 'T') {
      at = i;
      break;
    }
  }
  if (at == std::string::npos) return;
  out.lineDone = true;
  out.line = line.substr(at);
  std::string info;
  lastLineAt_ = std::string::npos;
  const Result result = overflowed ? Result::Error : execute(line.substr(at + 2), info, out);
  out.answer = frame(result, info);
  if (profile_.lastLinePauseMs > 0) out.pauseAt = lastLineAt_;
}

CommandEngine::Result CommandEngine::execute(const std::string& body, std::string& info,
                                             EngineOutput& out) {
  size_t pos = 0;
  Result last = Result::Ok;
  while (pos < body.size()) {
    const char c = body[pos];
    if (c == ' ' || c == ';') {
      ++pos;
      continue;
    }
    Result r;
    if (c == '+') {
      size_t end = pos + 1;
      while (end < body.size() && (std::isalnum(static_cast<unsigned char>(body[end])) != 0)) ++end;
      const std::string name = upper(body.substr(pos, end - pos));
      pos = end;
      std::string op, args;
      if (body.compare(pos, 2, "=?") == 0) {
        op = "=?";
        pos += 2;
      } else if (pos < body.size() && body[pos] == '?') {
        op = "?";
        ++pos;
      } else if (pos < body.size() && body[pos] == '=') {
        op = "=";
        ++pos;
        // With ";" as the modem's parameter separator, +VSM takes the rest of the line.
        const bool restOfLine = name == "+VSM" && profile_.separator == ';';
        int depth = 0;
        bool quoted = false;
        while (pos < body.size()) {
          const char a = body[pos];
          if (a == '"') quoted = !quoted;
          if (!quoted && a == '(') ++depth;
          if (!quoted && a == ')' && depth > 0) --depth;
          if (!restOfLine && !quoted && depth == 0 && a == ';') break;
          args += a;
          ++pos;
        }
      }
      r = extended(name, op, args, info, out);
    } else {
      r = basic(body, pos, info);
    }
    if (r == Result::Error || r == Result::Connect || r == Result::NoCarrier) return r;
    if (r == Result::Vcon) last = r;
  }
  return last;
}

CommandEngine::Result CommandEngine::basic(const std::string& body, size_t& pos,
                                           std::string& info) {
  char prefix = 0;
  if (body[pos] == '&' || body[pos] == '\\' || body[pos] == '%') prefix = body[pos++];
  if (pos >= body.size()) return Result::Error;
  const char letter = up(body[pos++]);
  int n = 0;
  if (prefix == 0 && letter == 'S') {
    int reg = 0;
    if (!readNumber(body, pos, reg)) reg = 0;
    if (pos < body.size() && body[pos] == '=') {
      ++pos;
      int value = 0;
      if (!readNumber(body, pos, value) || value > 255) return Result::Error;
      sRegisters_[reg] = value;
    } else if (pos < body.size() && body[pos] == '?') {
      ++pos;
      char text[8];
      std::snprintf(text, sizeof text, "%03d", sRegisters_[reg]);
      addInfo(info, text);
    }
    return Result::Ok;
  }
  if (prefix == 0 && letter == 'D') {
    pos = body.size();  // the rest of the line is the number to dial
    return Result::NoCarrier;
  }
  readNumber(body, pos, n);
  if (prefix == '&') {
    if (letter == 'F') {
      echo_ = true;
      verbose_ = true;
      quiet_ = false;
      enterClass("0");
      resetVoiceSettings();
      return Result::Ok;
    }
    return std::string(kHarmlessAmpersand).find(letter) != std::string::npos ? Result::Ok
                                                                             : Result::Error;
  }
  if (prefix != 0) return Result::Error;
  switch (letter) {
    case 'E':
      if (n > 1) return Result::Error;
      echo_ = n == 1;
      return Result::Ok;
    case 'Q':
      if (n > 1) return Result::Error;
      quiet_ = n == 1;
      return Result::Ok;
    case 'V':
      if (n > 1) return Result::Error;
      verbose_ = n == 1;
      return Result::Ok;
    case 'Z':
      echo_ = true;
      verbose_ = true;
      quiet_ = false;
      sRegisters_.clear();
      enterClass("0");
      resetVoiceSettings();
      pos = body.size();  // a reset ends the line
      return Result::Ok;
    case 'I': {
      const auto it = profile_.ati.find(n);
      if (it == profile_.ati.end()) return Result::Error;
      addInfo(info, it->second);
      return Result::Ok;
    }
    case 'H':
      if (n > 1) return Result::Error;
      line_ = 0;
      return Result::Ok;
    case 'A':
    case 'O':
      return Result::NoCarrier;
    default:
      return std::string(kHarmlessBasic).find(letter) != std::string::npos ? Result::Ok
                                                                           : Result::Error;
  }
}

CommandEngine::Result CommandEngine::extended(const std::string& name, const std::string& op,
                                              const std::string& args, std::string& info,
                                              EngineOutput& out) {
  if (name.size() < 2 || profile_.refuses(name)) return Result::Error;
  if (isIdentification(name)) {
    if (op == "=?") return Result::Ok;
    if (!op.empty() && op != "?") return Result::Error;
    const auto it = profile_.ident.find(name.substr(1));
    if (it == profile_.ident.end()) return Result::Error;
    addInfo(info, it->second);
    return Result::Ok;
  }
  if (name == "+FCLASS") {
    if (op == "=?") {
      addInfo(info, profile_.fclassRange);
    } else if (op == "?") {
      addInfo(info, fclass_);
    } else if (op == "=") {
      if (!profile_.acceptsClass(args)) return Result::Error;
      enterClass(args);
    } else {
      return Result::Error;
    }
    return Result::Ok;
  }
  if (name[1] == 'V') {
    // Caller ID is reported whatever the class, so it is set in any class.
    if (fclass_ != "8" && name != kCallerIdCommand) return Result::Error;
    return voice(name, op, args, info, out);
  }
  return generic(name, op, args, info);
}

CommandEngine::Result CommandEngine::voice(const std::string& name, const std::string& op,
                                           const std::string& args, std::string& info,
                                           EngineOutput& out) {
  if (name == "+VLS") {
    int n = 0;
    if (op == "=?" && !profile_.lineAnswer.empty()) {
      addInfo(info, join(profile_.lineAnswer));
      return Result::Ok;
    }
    if (op == "?") {
      addInfo(info, std::to_string(line_));
      return Result::Ok;
    }
    if (op != "=" || !toInt(args, n)) return Result::Error;
    bool listed = n == 0;
    for (int l : profile_.lineNumbers) listed = listed || l == n;
    for (int l : profile_.lineErrors) listed = listed && l != n;
    if (!listed) return Result::Error;
    line_ = n;
    return n != 0 && profile_.lineSelectResult == "VCON" ? Result::Vcon : Result::Ok;
  }
  if (name == "+VSM") {
    if (op == "=?" && !profile_.methodAnswer.empty()) {
      addInfo(info, join(profile_.methodAnswer));
      return Result::Ok;
    }
    if (op == "?" && method_) {
      const std::string sep(1, profile_.separator);
      addInfo(info,
              std::to_string(method_->id) + sep + std::to_string(rate_) + sep + "0" + sep + "0");
      return Result::Ok;
    }
    if (op != "=") return Result::Error;
    std::string normalised = args;
    if (profile_.separator == ';')
      for (char& c : normalised)
        if (c == ';') c = ',';
    const auto parts = splitArguments(normalised);
    int id = 0;
    if (parts.size() > 4 || !toInt(parts[0], id)) return Result::Error;
    const CompressionMethod* m = profile_.method(id);
    if (!m) return Result::Error;
    int rate = m->defaultRate;
    if (parts.size() > 1 && !parts[1].empty()) {
      if (!toInt(parts[1], rate)) return Result::Error;
      bool offered = false;
      for (int r : m->rates) offered = offered || r == rate;
      if (!offered) return Result::Error;
    }
    for (size_t i = 2; i < parts.size(); ++i) {
      int ignored = 0;
      if (!parts[i].empty() && !toInt(parts[i], ignored)) return Result::Error;
    }
    method_ = m;
    rate_ = rate;
    return Result::Ok;
  }
  if (name == "+VRX" || name == "+VTX") {
    if (!op.empty() || !method_) return Result::Error;
    (name == "+VRX" ? out.startReceive : out.startTransmit) = true;
    return Result::Connect;
  }
  if (name == "+VIP" && op.empty() && profile_.voiceCommands.count(name)) {
    resetVoiceSettings();
    return Result::Ok;
  }
  return generic(name, op, args, info);
}

CommandEngine::Result CommandEngine::generic(const std::string& name, const std::string& op,
                                             const std::string& args, std::string& info) {
  const auto it = profile_.voiceCommands.find(name);
  if (it == profile_.voiceCommands.end()) return Result::Error;
  if (op == "=?") {
    if (!it->second.range.empty()) addInfo(info, it->second.range);
  } else if (op == "?") {
    if (!values_[name].empty()) addInfo(info, values_[name]);
  } else if (op == "=") {
    if (!it->second.range.empty() && !argumentsFit(it->second.range, args)) return Result::Error;
    values_[name] = args;
  }
  return Result::Ok;
}

std::string CommandEngine::framedLine(const std::string& text) const {
  if (profile_.framing == Framing::Ess) return "\n\r\n" + text + "\r";
  return "\r\n" + text + "\r\n";
}

void CommandEngine::addInfo(std::string& info, const std::string& text) {
  if (!verbose_) {
    info += text + "\r\n";
    return;
  }
  const std::string framed = framedLine(text);
  const size_t lastBreak = text.rfind("\r\n");
  // The last line of an answer of several lines: where a slow modem pauses.
  if (lastBreak != std::string::npos) lastLineAt_ = info.size() + framed.find(text) + lastBreak + 2;
  info += framed;
}

std::string CommandEngine::frame(Result result, const std::string& info) const {
  if (quiet_ || result == Result::None) return info;
  const char* word = "OK";
  const char* digit = "0";
  switch (result) {
    case Result::Error:
      word = "ERROR";
      digit = "4";
      break;
    case Result::Connect:
      word = "CONNECT";
      digit = "1";
      break;
    case Result::NoCarrier:
      word = "NO CARRIER";
      digit = "3";
      break;
    case Result::Vcon:
      word = "VCON";
      digit = "VCON";
      break;
    default:
      break;
  }
  if (!verbose_) return info + digit + "\r";
  std::string blank;
  for (int i = 0; i < profile_.resultBlankLines; ++i) blank += "\r\n";
  return info + blank + framedLine(word);
}

std::string CommandEngine::resultText(const char* code) const {
  if (quiet_) return {};
  if (verbose_) return framedLine(code);
  return std::string(code) == "OK" ? "0\r" : std::string(code) + "\r";
}

std::string CommandEngine::ringText() const {
  if (quiet_) return {};
  return verbose_ ? framedLine("RING") : "2\r";
}

std::string CommandEngine::infoText(const std::string& lines) const {
  return verbose_ ? framedLine(lines) : lines + "\r\n";
}

std::string CommandEngine::callerIdMode() const {
  const auto it = values_.find(kCallerIdCommand);
  return it == values_.end() || it->second.empty() ? "0" : it->second;
}

}  // namespace vmodem
