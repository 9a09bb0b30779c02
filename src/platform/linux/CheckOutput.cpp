#include "platform/linux/CheckOutput.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <locale>
#include <sstream>

namespace qv {

uint32_t ProgressOfPass(int pass, uint64_t current, uint64_t max) {
  static constexpr int kBounds[] = {0, 70, 90, 92, 95, 100};
  if (pass < 1) return 0;
  if (pass > 5) return 100;
  const double share = max == 0 ? 0.0 : static_cast<double>(std::min(current, max)) / max;
  return static_cast<uint32_t>(kBounds[pass - 1] + (kBounds[pass] - kBounds[pass - 1]) * share);
}

bool ParseProgressLine(const std::string& line, uint32_t* percent) {
  int pass = 0;
  unsigned long long current = 0, max = 0;
  if (std::sscanf(line.c_str(), "%d %llu %llu", &pass, &current, &max) != 3) return false;
  *percent = ProgressOfPass(pass, current, max);
  return true;
}

void TerminalLines::Close(std::vector<std::string>* lines) {
  // What overwriting left at the end is blank padding.
  const size_t end = line_.find_last_not_of(' ');
  lines->push_back(end == std::string::npos ? std::string() : line_.substr(0, end + 1));
  line_.clear();
  cursor_ = 0;
}

void TerminalLines::Feed(const char* data, size_t size, std::vector<std::string>* lines) {
  for (size_t i = 0; i < size; ++i) {
    const unsigned char c = static_cast<unsigned char>(data[i]);
    switch (escape_) {
      case Escape::Start:
        escape_ = c == '[' ? Escape::Csi : c == ']' || c == 'P' ? Escape::String : Escape::None;
        continue;
      case Escape::Csi:
        if (c >= 0x40 && c <= 0x7E) escape_ = Escape::None;
        continue;
      case Escape::String:  // ends with BEL or ESC backslash
        if (c == 0x07) escape_ = Escape::None;
        if (c == 0x1B) escape_ = Escape::StringEsc;
        continue;
      case Escape::StringEsc:
        escape_ = c == '\\' ? Escape::None : Escape::String;
        continue;
      case Escape::None:
        break;
    }
    if (c == '\n') {
      Close(lines);
    } else if (c == '\r') {
      cursor_ = 0;
    } else if (c == '\b') {
      if (cursor_ > 0) --cursor_;
    } else if (c == 0x1B) {
      escape_ = Escape::Start;
    } else if (c == '\t' || c >= 0x20) {
      if (c == 0x7F) continue;
      const size_t width = c == '\t' ? 8 - cursor_ % 8 : 1;
      for (size_t k = 0; k < width; ++k) {
        const char out = c == '\t' ? ' ' : static_cast<char>(c);
        if (cursor_ < line_.size())
          line_[cursor_] = out;
        else
          line_.push_back(out);
        ++cursor_;
      }
      if (line_.size() >= kMaxLine) Cut(lines);
    }
  }
}

void TerminalLines::Cut(std::vector<std::string>* lines) {
  // Never inside a UTF-8 character: an unfinished one starts the next piece.
  size_t cut = line_.size();
  size_t lead = cut;
  while (lead > 0 && cut - lead < 4 && (static_cast<unsigned char>(line_[lead - 1]) & 0xC0) == 0x80)
    --lead;
  if (lead > 0) {
    const unsigned char c = static_cast<unsigned char>(line_[lead - 1]);
    const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (length > 1 && cut - (lead - 1) < length) cut = lead - 1;
  }
  if (cut == 0) cut = line_.size();
  std::string rest = line_.substr(cut);
  line_.resize(cut);
  lines->push_back(std::move(line_));
  line_ = std::move(rest);
  cursor_ = line_.size();
}

bool ScanProgress(const std::string& text, uint32_t* percent) {
  // The number that stands next to a "%", on either side and with at most a blank between, as
  // any language writes it ("12.5%", "12,5 %", "%12,5").
  const auto digit = [&](size_t i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
  const auto blank = [&](size_t i, bool back) -> size_t {  // bytes of a blank at (or ending at) i
    static const char* const kBlanks[] = {" ", "\xc2\xa0", "\xe2\x80\xaf"};
    for (const char* b : kBlanks) {
      const size_t n = std::strlen(b);
      if (back ? i >= n && text.compare(i - n, n, b) == 0 : text.compare(i, n, b) == 0) return n;
    }
    return 0;
  };
  const auto number = [&](size_t from, size_t to) {
    std::string n = text.substr(from, to - from);
    std::replace(n.begin(), n.end(), ',', '.');
    double value = 0;
    // Read without the user's locale: the dot is the separator here whatever it is there.
    std::istringstream in(n);
    in.imbue(std::locale::classic());
    in >> value;
    return value;
  };
  for (size_t pos = text.find('%'); pos != std::string::npos; pos = text.find('%', pos + 1)) {
    size_t end = pos - blank(pos, true);
    size_t start = end;
    while (start > 0 && (digit(start - 1) || ((text[start - 1] == '.' || text[start - 1] == ',') &&
                                              digit(start) && digit(start - 2))))
      --start;
    if (start == end || !digit(start)) {
      start = pos + 1 + blank(pos + 1, false);
      end = start;
      while (digit(end) ||
             ((text[end] == '.' || text[end] == ',') && digit(end + 1) && end > start))
        ++end;
      if (start == end) continue;
    }
    const double value = number(start, end);
    if (value < 0 || value > 100) continue;
    *percent = static_cast<uint32_t>(value);
    return true;
  }
  return false;
}

std::string TerminalLines::Partial() const {
  return line_;
}

void TerminalLines::Finish(std::vector<std::string>* lines) {
  if (!line_.empty()) Close(lines);
  escape_ = Escape::None;
}

}  // namespace qv
