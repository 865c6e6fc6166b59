#include "vmodem/Profile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

// The source tree's profiles, for a build run from there; an installed program finds its
// own beside it, at TAVRIN_VMODEM_PROFILES_FROM_BINDIR from the executable's folder.
#ifndef TAVRIN_VMODEM_PROFILE_DIR
#define TAVRIN_VMODEM_PROFILE_DIR "profiles"
#endif
#ifndef TAVRIN_VMODEM_PROFILES_FROM_BINDIR
#define TAVRIN_VMODEM_PROFILES_FROM_BINDIR "../share/tavrin/vmodem"
#endif

namespace vmodem {
namespace {

constexpr const char* kProfileSuffix = ".profile";
constexpr int kStandardRates[] = {4800, 7200, 8000, 9600, 11025};

std::string trim(const std::string& s) {
  const auto begin = s.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return {};
  const auto end = s.find_last_not_of(" \t\r\n");
  return s.substr(begin, end - begin + 1);
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool parseInt(const std::string& s, int& value) {
  const std::string t = trim(s);
  if (t.empty() || t.size() > 9) return false;
  if (!std::all_of(t.begin(), t.end(),
                   [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
    return false;
  value = std::stoi(t);
  return true;
}

// Splits at the separator, but not inside quotes or parentheses.
std::vector<std::string> splitTopLevel(const std::string& s, char separator) {
  std::vector<std::string> fields(1);
  int depth = 0;
  bool quoted = false;
  for (char c : s) {
    if (c == '"') quoted = !quoted;
    if (!quoted && c == '(') ++depth;
    if (!quoted && c == ')' && depth > 0) --depth;
    if (!quoted && depth == 0 && c == separator) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  for (auto& f : fields) f = trim(f);
  return fields;
}

// "(7200,8000,11025)", "8000" or a range "(4800-11025)".
std::vector<int> parseRates(const std::string& field) {
  std::vector<int> numbers;
  std::vector<char> joins;
  std::string digits;
  for (char c : field + ' ') {
    if (std::isdigit(static_cast<unsigned char>(c))) {
      digits += c;
      continue;
    }
    if (!digits.empty()) {
      numbers.push_back(std::stoi(digits));
      digits.clear();
      joins.push_back(c);
    }
  }
  std::vector<int> rates;
  for (size_t i = 0; i < numbers.size(); ++i) {
    rates.push_back(numbers[i]);
    if (joins[i] == '-' && i + 1 < numbers.size()) {
      for (int r : kStandardRates)
        if (r > numbers[i] && r < numbers[i + 1]) rates.push_back(r);
    }
  }
  std::sort(rates.begin(), rates.end());
  rates.erase(std::unique(rates.begin(), rates.end()), rates.end());
  rates.erase(std::remove(rates.begin(), rates.end(), 0), rates.end());
  return rates;
}

int bitsFromName(const std::string& name) {
  for (int bits : {16, 14, 8, 4, 3, 2})
    if (name.find(std::to_string(bits) + "-BIT") != std::string::npos ||
        name.find(std::to_string(bits) + "BIT") != std::string::npos)
      return bits;
  return 8;
}

bool contains(const std::string& s, const char* what) {
  return s.find(what) != std::string::npos;
}

Coding codingOf(const std::string& name, int bits) {
  if (contains(name, "ADPCM")) return Coding::ImaAdpcm;
  if (contains(name, "711U") || contains(name, "ULAW") || contains(name, "U-LAW") ||
      contains(name, "MU-LAW"))
    return Coding::MuLaw;
  if (contains(name, "711A") || contains(name, "ALAW") || contains(name, "A-LAW"))
    return Coding::ALaw;
  if (bits == 16) return Coding::Signed16;
  if (bits == 14) return Coding::Signed14;
  if (contains(name, "UNSIGNED") || contains(name, "LINEAR")) return Coding::Unsigned8;
  if (contains(name, "SIGNED")) return Coding::Signed8;
  return Coding::Unsigned8;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read profile " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::optional<CompressionMethod> parseMethodLine(const std::string& line, char separator) {
  const auto fields = splitTopLevel(line, separator);
  if (fields.size() < 3) return std::nullopt;
  CompressionMethod m;
  if (!parseInt(fields[0], m.id)) return std::nullopt;
  m.name = fields[1];
  if (m.name.size() >= 2 && m.name.front() == '"' && m.name.back() == '"')
    m.name = m.name.substr(1, m.name.size() - 2);
  const std::string upperName = upper(m.name);
  if (!fields[2].empty() && fields[2].front() == '(') {
    m.bits = bitsFromName(upperName);
    m.rates = parseRates(fields[2]);
  } else {
    if (fields.size() < 5 || !parseInt(fields[2], m.bits)) return std::nullopt;
    m.rates = parseRates(fields[4]);
  }
  if (m.rates.empty()) return std::nullopt;
  m.coding = codingOf(upperName, m.bits);
  m.defaultRate = std::count(m.rates.begin(), m.rates.end(), 8000) ? 8000 : m.rates.front();
  return m;
}

std::string Profile::folder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const auto installed = exe.parent_path() / TAVRIN_VMODEM_PROFILES_FROM_BINDIR;
    if (std::filesystem::is_directory(installed, ec)) return installed.lexically_normal().string();
  }
  return TAVRIN_VMODEM_PROFILE_DIR;
}

std::vector<std::string> Profile::shippedNames() {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder(), ec)) {
    if (entry.path().extension() == kProfileSuffix) names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

Profile Profile::load(const std::string& nameOrPath) {
  const bool isPath = nameOrPath.find('/') != std::string::npos ||
                      std::filesystem::path(nameOrPath).extension() == kProfileSuffix;
  const std::string path = isPath ? nameOrPath : folder() + "/" + nameOrPath + kProfileSuffix;
  return parse(readFile(path), path);
}

Profile Profile::parse(const std::string& text, const std::string& origin) {
  Profile p;
  std::istringstream in(text);
  std::string raw;
  int lineNo = 0;
  auto fail = [&](const std::string& why) {
    throw std::runtime_error(origin + ":" + std::to_string(lineNo) + ": " + why);
  };
  while (std::getline(in, raw)) {
    ++lineNo;
    const std::string line = trim(raw);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    const auto eq = line.find('=');
    if (eq == std::string::npos) fail("expected key=value");
    const std::string key = trim(line.substr(0, eq));
    const std::string value = trim(line.substr(eq + 1));
    const std::string ukey = upper(key);
    int n = 0;
    if (ukey == "DESCRIPTION") {
      p.description = value;
    } else if (ukey == "SILENT") {
      p.silent = value == "1" || upper(value) == "YES" || upper(value) == "TRUE";
    } else if (ukey == "GMI" || ukey == "GMM" || ukey == "GMR" || ukey == "FMI" || ukey == "FMM" ||
               ukey == "FMR") {
      p.ident[ukey] = value;
    } else if (ukey.rfind("ATI", 0) == 0 && parseInt(ukey.substr(3), n)) {
      p.ati[n] = value;
    } else if (ukey == "FCLASS") {
      p.fclassRange = value;
    } else if (ukey == "SEPARATOR") {
      if (value != "," && value != ";") fail("separator must be , or ;");
      p.separator = value[0];
    } else if (ukey == "VLS") {
      if (!parseInt(value.substr(0, value.find_first_of(",;")), n)) fail("line without number");
      p.lineAnswer.push_back(value);
      p.lineNumbers.push_back(n);
    } else if (ukey == "VLS.RESULT") {
      p.lineSelectResult = upper(value);
      if (p.lineSelectResult != "OK" && p.lineSelectResult != "VCON") fail("OK or VCON expected");
    } else if (ukey == "VLS.ERROR") {
      for (const auto& field : splitTopLevel(value, ',')) {
        if (!parseInt(field, n)) fail("line number expected: " + field);
        p.lineErrors.push_back(n);
      }
    } else if (ukey == "FRAMING") {
      if (upper(value) == "STANDARD") {
        p.framing = Framing::Standard;
      } else if (upper(value) == "ESS") {
        p.framing = Framing::Ess;
      } else {
        fail("framing must be standard or ess");
      }
    } else if (ukey == "RESULT.BLANKLINES") {
      if (!parseInt(value, p.resultBlankLines)) fail("number expected");
    } else if (ukey == "LASTLINE.PAUSE") {
      if (!parseInt(value, p.lastLinePauseMs)) fail("milliseconds expected");
    } else if (ukey == "VSM") {
      p.methodAnswer.push_back(value);
      auto m = parseMethodLine(value, p.separator);
      if (!m) fail("cannot read compression method: " + value);
      p.methods.push_back(*m);
    } else if (ukey == "REFUSE") {
      for (const auto& name : splitTopLevel(upper(value), ','))
        if (!name.empty()) p.refused.push_back(name);
    } else if (ukey.size() > 1 && ukey[0] == '+') {
      const auto bar = value.find('|');
      VoiceCommand c;
      c.range = trim(value.substr(0, bar));
      if (bar != std::string::npos) c.initialValue = trim(value.substr(bar + 1));
      p.voiceCommands[ukey] = c;
    } else {
      fail("unknown key " + key);
    }
  }
  return p;
}

bool Profile::acceptsClass(const std::string& fclass) const {
  for (const auto& c : splitTopLevel(fclassRange, ','))
    if (c == fclass) return true;
  return false;
}

bool Profile::refuses(const std::string& command) const {
  for (const auto& r : refused) {
    if (r == command) return true;
    if (r.size() >= 2 && r.back() == '*' && command.rfind(r.substr(0, r.size() - 1), 0) == 0)
      return true;
  }
  return false;
}

const CompressionMethod* Profile::method(int id) const {
  for (const auto& m : methods)
    if (m.id == id) return &m;
  return nullptr;
}

}  // namespace vmodem
