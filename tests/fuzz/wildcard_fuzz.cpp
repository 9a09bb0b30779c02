// The junk cleaner's wildcard matcher: any text against any pattern ends, and the plain cases
// hold for every text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "disk/modHDDclean.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string text = input.substr(0, split);
  const std::string pattern = split == std::string::npos ? "" : input.substr(split + 1);
  qv::MatchesWildcard(text, pattern);
  if (!qv::MatchesWildcard(text, "*") || !qv::MatchesWildcard(text, "**")) __builtin_trap();
  const bool plain = text.find_first_of("*?#[") == std::string::npos;
  if (plain && (!qv::MatchesWildcard(text, text) || !qv::MatchesWildcard(text, "*" + text) ||
                !qv::MatchesWildcard(text, text + "*")))
    __builtin_trap();
  bool ascii = true;
  for (unsigned char c : text) ascii = ascii && c < 0x80;
  if (ascii && !qv::MatchesWildcard(text, std::string(text.size(), '?'))) __builtin_trap();
  if (ascii && qv::MatchesWildcard(text, std::string(text.size() + 1, '?'))) __builtin_trap();
  return 0;
}
