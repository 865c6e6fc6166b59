#include "vmodem/ParamRange.h"

#include <cctype>
#include <optional>
#include <utility>

namespace vmodem {
namespace {

std::string trim(const std::string& s) {
  const auto begin = s.find_first_not_of(" \t");
  if (begin == std::string::npos) return {};
  return s.substr(begin, s.find_last_not_of(" \t") - begin + 1);
}

std::optional<long> number(const std::string& s) {
  const std::string t = trim(s);
  if (t.empty() || t.size() > 9) return std::nullopt;
  for (char c : t)
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
  return std::stol(t);
}

// "(0-255)" or "(0,1,4-6)" as intervals; nothing when it is not in that form.
std::optional<std::vector<std::pair<long, long>>> intervals(std::string spec) {
  spec = trim(spec);
  if (spec.size() >= 2 && spec.front() == '(' && spec.back() == ')')
    spec = spec.substr(1, spec.size() - 2);
  std::vector<std::pair<long, long>> result;
  for (const auto& item : splitArguments(spec)) {
    const auto dash = item.find('-');
    const auto low = number(item.substr(0, dash));
    const auto high = dash == std::string::npos ? low : number(item.substr(dash + 1));
    if (!low || !high) return std::nullopt;
    result.emplace_back(*low, *high);
  }
  return result;
}

}  // namespace

std::vector<std::string> splitArguments(const std::string& text, char separator) {
  std::vector<std::string> parts(1);
  int depth = 0;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (!quoted && (c == '(' || c == '[' || c == '{')) ++depth;
    if (!quoted && (c == ')' || c == ']' || c == '}') && depth > 0) --depth;
    if (!quoted && depth == 0 && c == separator) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  for (auto& p : parts) p = trim(p);
  return parts;
}

bool argumentsFit(const std::string& range, const std::string& args) {
  const auto specs = splitArguments(range);
  const auto values = splitArguments(args);
  if (values.size() > specs.size()) return false;
  for (size_t i = 0; i < values.size(); ++i) {
    if (values[i].empty()) continue;
    const auto allowed = intervals(specs[i]);
    if (!allowed) continue;
    const auto value = number(values[i]);
    if (!value) return false;
    bool inside = false;
    for (const auto& [low, high] : *allowed) inside = inside || (*value >= low && *value <= high);
    if (!inside) return false;
  }
  return true;
}

}  // namespace vmodem
