#pragma once
// Checks the arguments of a "+Xxx=..." command against the range the modem announces
// for it in its "=?" answer, as "(0-255),(0,1)".
#include <string>
#include <vector>

namespace vmodem {

// Splits at commas that are not inside parentheses, brackets or quotes.
std::vector<std::string> splitArguments(const std::string& text, char separator = ',');

// True when every given argument lies in its announced range. Arguments may be left
// empty (the modem keeps its value); parts of the range the modem describes in a form
// other than numbers and number ranges accept anything.
bool argumentsFit(const std::string& range, const std::string& args);

}  // namespace vmodem
