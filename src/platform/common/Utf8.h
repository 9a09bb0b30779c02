// The one UTF-8 decoder: strict, as text from files, layouts and the file system must be judged
// the same way everywhere. Header-only so that the core's profile reader can use it without
// linking the platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qv {

// Length of the well-formed sequence at text[i] (1 to 4), its code point in `codePoint`; 0 where
// none starts there: a stray continuation byte, a cut-off end, an overlong form, a surrogate or
// a value past U+10FFFF.
inline size_t Utf8Sequence(std::string_view text, size_t i, uint32_t* codePoint = nullptr) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const size_t len = lead < 0x80             ? 1
                     : (lead & 0xE0) == 0xC0 ? 2
                     : (lead & 0xF0) == 0xE0 ? 3
                     : (lead & 0xF8) == 0xF0 ? 4
                                             : 0;
  if (len == 0 || len > text.size() - i) return 0;
  uint32_t cp = len == 1 ? lead : lead & (0x7Fu >> len);
  for (size_t k = 1; k < len; ++k) {
    const auto c = static_cast<unsigned char>(text[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (c & 0x3F);
  }
  static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  if (codePoint) *codePoint = cp;
  return len;
}

// The code points of `text`; false (and `out` cut short) at the first malformed sequence.
inline bool DecodeUtf8(std::string_view text, std::vector<uint32_t>* out) {
  out->clear();
  for (size_t i = 0; i < text.size();) {
    uint32_t cp = 0;
    const size_t len = Utf8Sequence(text, i, &cp);
    if (len == 0) return false;
    out->push_back(cp);
    i += len;
  }
  return true;
}

}  // namespace qv
