#include "platform/common/DosPath.h"

namespace qv {
namespace {

// Characters of a host name that the DOS form cannot hold ("\" anywhere, dots and blanks at the
// end, which Windows path handling strips) travel as U+F000 plus their code, as Windows tools on
// Linux write them: three bytes of UTF-8.
constexpr unsigned char kPrivateLead = 0xEF;

std::string Private(char c) {
  const unsigned code = 0xF000u + static_cast<unsigned char>(c);
  return {static_cast<char>(kPrivateLead), static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
          static_cast<char>(0x80 | (code & 0x3F))};
}

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::string MapHostName(const std::string& name) {
  size_t end = name.size();
  while (end > 0 && (name[end - 1] == '.' || name[end - 1] == ' ')) --end;
  if (end == name.size() && name.find('\\') == std::string::npos) return name;
  std::string out;
  for (size_t i = 0; i < name.size(); ++i)
    out += i >= end || name[i] == '\\' ? Private(name[i]) : std::string(1, name[i]);
  return out;
}

std::string UnmapDosName(const std::string& name) {
  if (name.find(static_cast<char>(kPrivateLead)) == std::string::npos) return name;
  const std::string backslash = Private('\\'), dot = Private('.'), blank = Private(' ');
  size_t end = name.size();
  while (end >= 3 && (name.compare(end - 3, 3, dot) == 0 || name.compare(end - 3, 3, blank) == 0))
    end -= 3;
  std::string out;
  for (size_t i = 0; i < end;) {
    if (name.compare(i, 3, backslash) == 0) {
      out += '\\';
      i += 3;
    } else {
      out += name[i++];
    }
  }
  for (size_t i = end; i < name.size(); i += 3) out += name.compare(i, 3, dot) == 0 ? '.' : ' ';
  return out;
}

std::optional<DosPath> SplitDosPath(const std::string& dos) {
  if (dos.size() < 2 || dos[1] != ':' || !IsAsciiLetter(dos[0])) return std::nullopt;
  DosPath path;
  path.letter = AsciiUpper(dos[0]);
  size_t i = 2;
  while (i < dos.size()) {
    while (i < dos.size() && IsDosSeparator(dos[i])) ++i;
    size_t end = i;
    while (end < dos.size() && !IsDosSeparator(dos[end])) ++end;
    if (end > i) {
      std::string name = dos.substr(i, end - i);
      if (name == "..") {
        if (!path.names.empty()) path.names.pop_back();
      } else if (name != ".") {
        path.names.push_back(UnmapDosName(name));
      }
    }
    i = end;
  }
  path.trailingSeparator = dos.size() > 2 && IsDosSeparator(dos.back());
  return path;
}

std::string JoinDosPath(char letter, const std::vector<std::string>& hostNames) {
  std::string dos = std::string(1, AsciiUpper(letter)) + ":\\";
  for (size_t k = 0; k < hostNames.size(); ++k) {
    if (k > 0) dos += '\\';
    dos += MapHostName(hostNames[k]);
  }
  return dos;
}

}  // namespace qv
