// The program's path convention, the same on every platform: "C:\a\b\", drive letters, "\" (or
// "/") between components, and host names the DOS form cannot hold carried in private-use form.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qv {

// Case of ASCII letters alone. The C library's mapping follows the locale: in a Turkish one
// tolower leaves "I" and toupper leaves "i" as they are, and DOS names would match by locale.
inline char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
inline char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool IsDosSeparator(char c) {
  return c == '\\' || c == '/';
}

// A host name in the DOS form: "\" anywhere and dots and blanks at the end become U+F000 plus
// their code. UnmapDosName is its inverse.
std::string MapHostName(const std::string& name);
std::string UnmapDosName(const std::string& name);

struct DosPath {
  char letter = 0;                 // upper case
  std::vector<std::string> names;  // host names of the components below the drive's root
  bool trailingSeparator = false;
};

// Splits "X:\a\b\" into its letter and host names; "." and ".." are resolved by name and never
// climb above the drive root, so a path cannot leave its drive. Nothing for a path without a
// drive letter.
std::optional<DosPath> SplitDosPath(const std::string& dos);

// "X:\" followed by the DOS forms of `hostNames` joined by "\".
std::string JoinDosPath(char letter, const std::vector<std::string>& hostNames);

}  // namespace qv
