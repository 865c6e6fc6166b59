#pragma once
// What one kind of modem answers: identification texts, the lines and compression
// methods it lists, the voice commands it has and their ranges, and its quirks.
// Profiles are text files of key=value lines in the profiles folder.
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vmodem {

// How a compression method codes the samples on the wire.
enum class Coding {
  Unsigned8,  // 8-bit linear, 128 is zero
  Signed8,    // 8-bit two's complement
  MuLaw,      // G.711 mu-law
  ALaw,       // G.711 A-law
  ImaAdpcm,   // 4-bit IMA ADPCM, two samples per byte, first in the low nibble
  Signed16,   // 16-bit little-endian
  Signed14,   // 14 significant bits in 16-bit little-endian words
};

struct CompressionMethod {
  int id = 0;
  std::string name;  // without quotes
  int bits = 8;
  Coding coding = Coding::Unsigned8;
  std::vector<int> rates;
  int defaultRate = 8000;
};

// How verbose answers are framed.
enum class Framing {
  Standard,  // <CR><LF>text<CR><LF> for every line and result
  Ess,       // <LF><CR><LF>text<CR>
};

struct VoiceCommand {
  std::string range;         // the answer to "=?"
  std::string initialValue;  // the answer to "?" after power-on
};

class Profile {
 public:
  // Reads a profile by name (from the profiles folder) or by path. Throws
  // std::runtime_error when it cannot be read or makes no sense.
  static Profile load(const std::string& nameOrPath);
  static Profile parse(const std::string& text, const std::string& origin = "profile");
  // The names of the profiles shipped in the profiles folder.
  static std::vector<std::string> shippedNames();
  // The installed profiles beside the running program, else the source tree's.
  static std::string folder();

  std::string description;
  bool silent = false;                       // never answers anything
  std::map<std::string, std::string> ident;  // "GMM" -> text; absent means ERROR
  std::map<int, std::string> ati;            // ATIn -> text
  std::string fclassRange = "0,1";           // answer to +FCLASS=?
  char separator = ',';                      // parameter separator of +VSM
  std::vector<std::string> lineAnswer;       // the lines of +VLS=?
  std::vector<int> lineNumbers;              // their numbers
  std::string lineSelectResult = "OK";       // OK or VCON for a line other than 0
  std::vector<int> lineErrors;               // listed lines whose selection is refused
  std::vector<std::string> methodAnswer;     // the lines of +VSM=?
  std::vector<CompressionMethod> methods;
  std::map<std::string, VoiceCommand> voiceCommands;  // "+VGR" -> range and value
  std::vector<std::string> refused;                   // names, "+V*" for all voice
  Framing framing = Framing::Standard;
  int resultBlankLines = 0;  // further empty lines before a final result
  int lastLinePauseMs = 0;   // pause before the last line of an answer of several lines

  bool acceptsClass(const std::string& fclass) const;
  bool refuses(const std::string& command) const;
  const CompressionMethod* method(int id) const;
};

// Reads one line of a +VSM=? answer: "128,"8-BIT LINEAR",(7200,8000,11025)",
// "0,"SIGNED PCM",8,0,8000,0,0" or the seven-field form with parenthesised lists.
std::optional<CompressionMethod> parseMethodLine(const std::string& line, char separator);

}  // namespace vmodem
