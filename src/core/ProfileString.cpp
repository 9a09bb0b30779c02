#include "core/ProfileString.h"

#include <algorithm>

#include "platform/common/Utf8.h"

namespace qv {

namespace {

// Windows-1252 code points of 0x80..0x9F; 0 marks the five unassigned bytes.
const char32_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

bool IsValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const size_t len = Utf8Sequence(s, i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

std::string DecodeAnsiOrUtf8(const std::vector<uint8_t>& bytes) {
  std::string raw(bytes.begin(), bytes.end());
  if (raw.size() >= 3 && static_cast<unsigned char>(raw[0]) == 0xEF &&
      static_cast<unsigned char>(raw[1]) == 0xBB && static_cast<unsigned char>(raw[2]) == 0xBF)
    raw.erase(0, 3);
  if (IsValidUtf8(raw)) return raw;
  std::string out;
  out.reserve(raw.size() + raw.size() / 4);
  for (unsigned char c : raw) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0xA0) {
      const char32_t cp = kCp1252High[c - 0x80];
      AppendUtf8(out, cp ? cp : static_cast<char32_t>(c));
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

std::string LowerCase(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 'A' && c <= 'Z') {
      out += static_cast<char>(c + 32);
    } else if (c == 0xC3 && i + 1 < s.size()) {
      // U+00C0..U+00DE (C3 80..C3 9E) except U+00D7 lower-case by adding 0x20.
      const unsigned char d = static_cast<unsigned char>(s[i + 1]);
      out += static_cast<char>(c);
      out += static_cast<char>((d >= 0x80 && d <= 0x9E && d != 0x97) ? d + 0x20 : d);
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && LowerCase(a) == LowerCase(b);
}

size_t Utf8Length(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s)
    if (!IsContinuation(c)) ++n;
  return n;
}

namespace {
size_t ByteOffsetOfChar(const std::string& s, size_t chars) {
  size_t i = 0;
  size_t seen = 0;
  while (i < s.size()) {
    if (!IsContinuation(static_cast<unsigned char>(s[i]))) {
      if (seen == chars) return i;
      ++seen;
    }
    ++i;
  }
  return s.size();
}
}  // namespace

std::string Utf8Left(const std::string& s, size_t n) {
  return s.substr(0, ByteOffsetOfChar(s, n));
}

std::string Utf8From(const std::string& s, size_t from) {
  return s.substr(ByteOffsetOfChar(s, from));
}

std::string Trim(const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t p = s.find(sep, start);
    if (p == std::string::npos) {
      parts.push_back(s.substr(start));
      return parts;
    }
    parts.push_back(s.substr(start, p - start));
    start = p + 1;
  }
}

namespace {

// UTF-16 with its byte-order mark, as Windows' service reads it; anything else as before.
std::string DecodeProfileText(const std::vector<uint8_t>& bytes, bool* utf16) {
  const bool le = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
  const bool be = bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF;
  *utf16 = le || be;
  if (!*utf16) return DecodeAnsiOrUtf8(bytes);
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    char32_t c = le ? (bytes[i] | bytes[i + 1] << 8) : (bytes[i] << 8 | bytes[i + 1]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size()) {
      const char32_t d =
          le ? (bytes[i + 2] | bytes[i + 3] << 8) : (bytes[i + 2] << 8 | bytes[i + 3]);
      if (d >= 0xDC00 && d <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00);
        i += 2;
      }
    }
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace

ProfileFile::ProfileFile(const std::vector<uint8_t>& bytes) {
  bool utf16 = false;
  const std::string text = DecodeProfileText(bytes, &utf16);
  if (utf16)
    quirks_.push_back(
        {"-", "-",
         "warning: UTF-16 text; read as the Windows service reads it, other tools may not"});
  bool loneCr = false;
  bool nul = false;
  Section* current = nullptr;
  size_t pos = 0;
  while (pos <= text.size()) {
    // A line ends at CR LF, LF or a lone CR.
    size_t eol = text.find_first_of("\r\n", pos);
    size_t next;
    if (eol == std::string::npos) {
      eol = next = text.size() + 1;
    } else if (text[eol] == '\r' && eol + 1 < text.size() && text[eol + 1] == '\n') {
      next = eol + 2;
    } else {
      if (text[eol] == '\r') loneCr = true;
      next = eol + 1;
    }
    std::string line = text.substr(pos, std::min(eol, text.size()) - pos);
    pos = next;
    const size_t zero = line.find('\0');
    if (zero != std::string::npos) {
      line.erase(zero);
      nul = true;
    }
    line = Trim(line);
    if (line.empty() || line[0] == ';') continue;
    const size_t close = line[0] == '[' ? line.find(']') : std::string::npos;
    if (close != std::string::npos) {
      const std::string name = Trim(line.substr(1, close - 1));
      const auto [it, fresh] = firstSection_.emplace(LowerCase(name), sections_.size());
      if (!fresh)
        quirks_.push_back(
            {name, "-", "warning: the section is written again; only its first block is read"});
      sections_.push_back(Section{name, {}, {}});
      current = &sections_.back();
      continue;
    }
    if (line[0] == '[')
      quirks_.push_back(
          {current ? current->name : "-", line, "warning: a header without \"]\" is no section"});
    if (!current) continue;
    const size_t eq = line.find('=');
    Entry entry;
    if (eq == std::string::npos) {
      entry.key = line;
    } else {
      entry.key = Trim(line.substr(0, eq));
      entry.value = Trim(line.substr(eq + 1));
      if (entry.value.size() >= 2 && ((entry.value.front() == '"' && entry.value.back() == '"') ||
                                      (entry.value.front() == '\'' && entry.value.back() == '\'')))
        entry.value = entry.value.substr(1, entry.value.size() - 2);
    }
    current->firstKey.emplace(LowerCase(entry.key), current->entries.size());
    current->entries.push_back(std::move(entry));
  }
  if (loneCr)
    quirks_.push_back({"-", "-", "warning: a carriage return without line feed ends a line"});
  if (nul) quirks_.push_back({"-", "-", "warning: a NUL byte ends its line's value"});
}

const ProfileFile::Section* ProfileFile::Find(const std::string& section) const {
  const auto it = firstSection_.find(LowerCase(Trim(section)));
  return it == firstSection_.end() ? nullptr : &sections_[it->second];
}

std::string ProfileFile::Get(const std::string& section, const std::string& key) const {
  const Section* s = Find(section);
  if (!s) return std::string();
  const auto it = s->firstKey.find(LowerCase(Trim(key)));
  return it == s->firstKey.end() ? std::string()
                                 : Utf8Left(s->entries[it->second].value, kProfileValueMax);
}

std::vector<std::string> ProfileFile::Sections() const {
  std::vector<std::string> names;
  for (const Section& s : sections_) names.push_back(s.name);
  return names;
}

std::vector<std::string> ProfileFile::Keys(const std::string& section) const {
  std::vector<std::string> keys;
  if (const Section* s = Find(section))
    for (const Entry& e : s->entries) keys.push_back(e.key);
  return keys;
}

}  // namespace qv
