// Reading of Windows initialisation files ("profile strings"), with the rules of the system
// service the skins and settings files were written for.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace qv {

// Longest value the readers keep, in characters (a 255-character buffer with its terminator).
constexpr size_t kProfileValueMax = 254;

class ProfileFile {
 public:
  // Parses file contents. Text is taken as UTF-8 when it is valid UTF-8, else as Windows-1252.
  explicit ProfileFile(const std::vector<uint8_t>& bytes);
  ProfileFile() = default;

  // Value of key in section: sections and keys compared without regard to case, only the first
  // block of a section written twice counts and the first occurrence of a key wins, blanks around
  // names and values trimmed, one pair of enclosing quotes removed, cut to kProfileValueMax
  // characters. Empty when missing.
  std::string Get(const std::string& section, const std::string& key) const;

  // Every section name in file order, and every key name of one section (for the lint tool).
  std::vector<std::string> Sections() const;
  std::vector<std::string> Keys(const std::string& section) const;

  // Where the file relies on a reading rule a skin author may not expect (a section written
  // twice, a lone CR, a NUL, a header without "]", UTF-16), for the lint tool.
  struct Quirk {
    std::string section;
    std::string key;
    std::string problem;
  };
  const std::vector<Quirk>& Quirks() const { return quirks_; }

 private:
  struct Entry {
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
    std::unordered_map<std::string, size_t> firstKey;  // lower-cased key -> entry
  };
  const Section* Find(const std::string& section) const;

  std::vector<Section> sections_;
  std::unordered_map<std::string, size_t> firstSection_;  // lower-cased name -> first block
  std::vector<Quirk> quirks_;
};

// Text helpers shared by the readers.
std::string DecodeAnsiOrUtf8(const std::vector<uint8_t>& bytes);
bool IsValidUtf8(const std::string& s);
// Lower-cases ASCII and the Latin-1 capitals, as the Windows ANSI lower-casing does.
std::string LowerCase(const std::string& utf8);
bool EqualsNoCase(const std::string& a, const std::string& b);
size_t Utf8Length(const std::string& s);
// First n characters (code points) of s.
std::string Utf8Left(const std::string& s, size_t n);
// s from character index `from` (0-based) on.
std::string Utf8From(const std::string& s, size_t from);
std::string Trim(const std::string& s);
std::vector<std::string> Split(const std::string& s, char sep);

}  // namespace qv
