#include "vmodem/CommandLine.h"

#include <algorithm>
#include <cstdlib>

namespace vmodem {
namespace {

bool toDouble(const std::string& s, double& value) {
  if (s.empty()) return false;
  char* end = nullptr;
  value = std::strtod(s.c_str(), &end);
  return end && *end == '\0' && value >= 0;
}

// A time in seconds the modem can wait for: beyond this it is no test of anything, and
// a clock duration could not hold it.
bool toSeconds(const std::string& s, double& value) {
  constexpr double kMaxSeconds = 1e6;
  return toDouble(s, value) && value <= kMaxSeconds;
}

bool toSize(const std::string& s, size_t& value) {
  double d = 0;
  // Checked before the conversion: a double beyond size_t has no size_t value.
  constexpr double kSizeLimit = 18446744073709551616.0;  // 2^64
  if (!toDouble(s, d) || !(d < kSizeLimit) || d != static_cast<double>(static_cast<size_t>(d)))
    return false;
  value = static_cast<size_t>(d);
  return true;
}

// "N" or "LOW-HIGH" with LOW <= HIGH; high is 0 for a single number.
bool parseRange(const std::string& s, size_t& low, size_t& high) {
  const auto dash = s.find('-');
  high = 0;
  if (dash == std::string::npos) return toSize(s, low);
  return toSize(s.substr(0, dash), low) && toSize(s.substr(dash + 1), high) && low <= high;
}

bool parseHex(const std::string& hex, std::string& bytes) {
  std::string digits;
  for (char c : hex)
    if (c != ' ' && c != ',' && c != ':') digits += c;
  if (digits.empty() || digits.size() % 2 != 0) return false;
  for (size_t i = 0; i < digits.size(); i += 2) {
    char* end = nullptr;
    const std::string pair = digits.substr(i, 2);
    const long v = std::strtol(pair.c_str(), &end, 16);
    if (*end != '\0') return false;
    bytes += static_cast<char>(v);
  }
  return true;
}

bool parseLine(const std::string& spec, LineOptions& line) {
  const auto colon = spec.find(':');
  const std::string kind = spec.substr(0, colon);
  const std::string arg = colon == std::string::npos ? std::string() : spec.substr(colon + 1);
  if (kind == "synthetic" && arg.empty()) {
    line.kind = LineOptions::Kind::Synthetic;
  } else if (kind == "silence" && arg.empty()) {
    line.kind = LineOptions::Kind::Silence;
  } else if (kind == "tone") {
    line.kind = LineOptions::Kind::Tone;
    if (!arg.empty() && (!toDouble(arg, line.toneHz) || line.toneHz <= 0)) return false;
  } else if (kind == "wav" && !arg.empty()) {
    line.kind = LineOptions::Kind::Wav;
    line.wavPath = arg;
  } else if (kind == "pattern") {
    line.kind = LineOptions::Kind::Pattern;
    return parseHex(arg, line.pattern);
  } else {
    return false;
  }
  return true;
}

// Pieces of s between the separators (an empty s gives one empty piece).
std::vector<std::string> split(const std::string& s, char separator) {
  std::vector<std::string> pieces;
  size_t from = 0;
  for (size_t at = s.find(separator); at != std::string::npos; at = s.find(separator, from)) {
    pieces.push_back(s.substr(from, at - from));
    from = at + 1;
  }
  pieces.push_back(s.substr(from));
  return pieces;
}

// "NUMBER[,NAME]", printable, with a number.
bool parseCaller(const std::string& s, Caller& caller) {
  const auto comma = s.find(',');
  caller.number = s.substr(0, comma);
  caller.name = comma == std::string::npos ? std::string() : s.substr(comma + 1);
  bool printable = !caller.number.empty();
  for (char c : s) printable = printable && c >= ' ' && c < 127;
  return printable;
}

}  // namespace

std::string usage() {
  return "usage: tavrin-vmodem [options]\n"
         "A voice modem on a pseudo-terminal. Prints the device name, then answers on it\n"
         "until SIGINT or SIGTERM.\n"
         "  --link PATH           make PATH a symbolic link to the device\n"
         "  --profile NAME|FILE   the modem to be (default conexant); --list-profiles\n"
         "  --line SOURCE         what the line carries: synthetic (a call, default),\n"
         "                        silence, tone:HZ, wav:FILE, pattern:HEXBYTES\n"
         "  --event C@SECONDS     report <DLE>C that long into each stream\n"
         "                        (s silence, b busy, d dial tone); may repeat\n"
         "  --hangup-after SEC    the far end hangs up SEC seconds into each stream:\n"
         "                        <DLE>d once, then silence\n"
         "  --hangup-code C|none  the code reported at the hang-up (b, d, l; default d)\n"
         "  --ring-at SEC[,SEC...] a call comes in SEC seconds after the start: RING, the\n"
         "                        caller ID after +VCID=1, RING again... until the modem\n"
         "                        takes the line or the rings run out; one call a time\n"
         "  --caller NUMBER[,NAME][;NUMBER[,NAME]...] who calls, one a call, the last\n"
         "                        again for the calls after (default 5551234,JOHN DOE;\n"
         "                        P withheld, O unavailable; no NAME: the number alone)\n"
         "  --rings N             how often it rings (default 10, 6 s apart)\n"
         "  --ring-period SEC     from one ring to the next (default 6)\n"
         "  --varied-calls        each stream a synthetic voice of its own\n"
         "  --full-rate           stream as fast as 115200 bit/s carries\n"
         "  --keep-state          keep echo, class and settings when the port closes\n"
         "                        (default: back to the power-on state, echo on)\n"
         "  --vcid-reset-on-close hang up, forget +VCID and switch the echo on when the\n"
         "                        port closes, keeping the rest\n"
         "  --transcript FILE     log every byte both ways, time-stamped\n"
         "  --capture FILE        the exact bytes sent after each +VRX\n"
         "faults:\n"
         "  --no-answer           read everything, answer nothing\n"
         "  --split BYTES[:MS]    send answers in chunks of BYTES, MS apart (default 30);\n"
         "                        either may be a range LOW-HIGH to draw each from\n"
         "  --seed N              of the drawn chunk sizes and gaps (default 1)\n"
         "  --delay MS            wait MS before each answer\n"
         "  --garbage N           send N noise bytes before each answer\n"
         "  --unplug-after SEC    go quiet SEC seconds into a stream, vanish 0.5 s later\n"
         "  --replug-after SEC    after an unplug: a new device behind the same link\n";
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  Options& o = cl.options;
  for (size_t i = 0; i < args.size() && cl.error.empty(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    auto value = [&]() -> std::string {
      if (!hasValue) {
        cl.error = a + " needs a value";
        return {};
      }
      return args[++i];
    };
    auto bad = [&](const std::string& v) { cl.error = "bad value for " + a + ": " + v; };
    if (a == "-h" || a == "--help") {
      cl.help = true;
    } else if (a == "--list-profiles") {
      cl.listProfiles = true;
    } else if (a == "--link") {
      o.linkPath = value();
    } else if (a == "--profile") {
      o.profile = value();
    } else if (a == "--line") {
      const std::string v = value();
      if (cl.error.empty() && !parseLine(v, o.line)) bad(v);
    } else if (a == "--event") {
      const std::string v = value();
      LineEvent e;
      const auto at = v.find('@');
      if (!cl.error.empty()) break;
      if (at != 1 || !toDouble(v.substr(2), e.seconds)) {
        bad(v);
      } else {
        e.code = v[0];
        o.line.events.push_back(e);
      }
    } else if (a == "--hangup-after") {
      const std::string v = value();
      if (cl.error.empty() && !toSeconds(v, o.line.hangupAfterSeconds)) bad(v);
    } else if (a == "--hangup-code") {
      const std::string v = value();
      if (!cl.error.empty()) break;
      if (v == "none") {
        o.line.hangupCode = 0;
      } else if (v.size() == 1 && v[0] > ' ' && v[0] < 127) {
        o.line.hangupCode = v[0];
      } else {
        bad(v);
      }
    } else if (a == "--ring-at") {
      const std::string v = value();
      if (!cl.error.empty()) break;
      std::vector<double> times;
      for (const std::string& piece : split(v, ',')) {
        double at = 0;
        if (!toSeconds(piece, at)) {
          bad(v);
          break;
        }
        times.push_back(at);
      }
      if (!cl.error.empty()) break;
      std::sort(times.begin(), times.end());
      o.ring.atSeconds = times.front();
      o.ring.moreAtSeconds.assign(times.begin() + 1, times.end());
    } else if (a == "--rings") {
      const std::string v = value();
      size_t n = 0;
      if (cl.error.empty() && (!toSize(v, n) || n == 0 || n > 1000)) bad(v);
      o.ring.rings = static_cast<int>(n);
    } else if (a == "--ring-period") {
      const std::string v = value();
      if (cl.error.empty() && (!toSeconds(v, o.ring.periodSeconds) || o.ring.periodSeconds <= 0))
        bad(v);
    } else if (a == "--varied-calls") {
      o.line.variedCalls = true;
    } else if (a == "--caller") {
      const std::string v = value();
      if (!cl.error.empty()) break;
      std::vector<Caller> callers;
      for (const std::string& piece : split(v, ';')) {
        Caller caller;
        if (!parseCaller(piece, caller)) {
          bad(v);
          break;
        }
        callers.push_back(caller);
      }
      if (!cl.error.empty()) break;
      o.ring.number = callers.front().number;
      o.ring.name = callers.front().name;
      o.ring.moreCallers.assign(callers.begin() + 1, callers.end());
    } else if (a == "--full-rate") {
      o.fullLineRate = true;
    } else if (a == "--keep-state") {
      o.keepStateOnClose = true;
    } else if (a == "--vcid-reset-on-close") {
      o.vcidResetOnClose = true;
    } else if (a == "--transcript") {
      o.transcriptPath = value();
    } else if (a == "--capture") {
      o.capturePath = value();
    } else if (a == "--no-answer") {
      o.faults.noAnswer = true;
    } else if (a == "--split") {
      const std::string v = value();
      if (!cl.error.empty()) break;
      const auto colon = v.find(':');
      int gapMax = -1;
      size_t gap = static_cast<size_t>(o.faults.splitGapMs);
      size_t gapTop = 0;
      bool good = parseRange(v.substr(0, colon), o.faults.splitBytes, o.faults.splitBytesMax) &&
                  o.faults.splitBytes > 0;
      if (good && colon != std::string::npos) {
        good = parseRange(v.substr(colon + 1), gap, gapTop);
        gapMax = static_cast<int>(gapTop);
      }
      if (!good) {
        bad(v);
      } else {
        o.faults.splitGapMs = static_cast<int>(gap);
        o.faults.splitGapMaxMs = gapMax;
      }
    } else if (a == "--seed") {
      const std::string v = value();
      size_t seed = 0;
      if (cl.error.empty() && !toSize(v, seed)) bad(v);
      o.faults.seed = static_cast<unsigned>(seed);
    } else if (a == "--delay") {
      const std::string v = value();
      size_t ms = 0;
      if (cl.error.empty() && !toSize(v, ms)) bad(v);
      o.faults.delayMs = static_cast<int>(ms);
    } else if (a == "--garbage") {
      const std::string v = value();
      if (cl.error.empty() && !toSize(v, o.faults.garbageBytes)) bad(v);
    } else if (a == "--unplug-after") {
      const std::string v = value();
      if (cl.error.empty() && !toSeconds(v, o.faults.unplugAfterSeconds)) bad(v);
    } else if (a == "--replug-after") {
      const std::string v = value();
      if (cl.error.empty() && !toSeconds(v, o.faults.replugAfterSeconds)) bad(v);
    } else {
      cl.error = "unknown option " + a;
    }
  }
  return cl;
}

}  // namespace vmodem
