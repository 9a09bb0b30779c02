#include "probe/Script.h"

#include <cmath>
#include <cstdlib>

#include "core/Convert.h"
#include "core/ProfileString.h"

namespace probe {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// A whole number in [min, max]; no sign, no fraction.
bool ParseCount(const std::string& s, int64_t min, int64_t max, int64_t* out) {
  if (!AllDigits(s) || s.size() > 12) return false;
  const int64_t v = std::strtoll(s.c_str(), nullptr, 10);
  if (v < min || v > max) return false;
  *out = v;
  return true;
}

bool ParseCoordinate(const std::string& s, double* out) {
  return qv::ParseDecimal(s, out) && std::fabs(*out) <= 1e6;
}

struct Form {
  const char* word;
  Op op;
  size_t minArgs;
  size_t maxArgs;  // SIZE_MAX: the rest of the line
  const char* usage;
};

const Form kForms[] = {
    {"down", Op::Down, 2, 2, "down X Y"},
    {"up", Op::Up, 2, 2, "up X Y"},
    {"click", Op::Click, 2, 2, "click X Y"},
    {"dblclick", Op::DblClick, 2, 2, "dblclick X Y"},
    {"press", Op::Press, 2, 2, "press GROUP NAME"},
    {"tap", Op::Tap, 3, 3, "tap GROUP NAME ROW"},
    {"doubletap", Op::DoubleTap, 3, 3, "doubletap GROUP NAME ROW"},
    {"tick", Op::Tick, 1, 2, "tick cpu|clock [COUNT]"},
    {"advance", Op::Advance, 1, 1, "advance SECONDS"},
    {"dump", Op::Dump, 1, 1, "dump FILE"},
    {"shot", Op::Shot, 1, 1, "shot FILE"},
    {"echo", Op::Echo, 0, SIZE_MAX, "echo TEXT"},
};

// Fills `line` from its words (the "~" prefix already removed). Returns an error message or "".
std::string ParseCommand(const std::vector<std::string>& words, ScriptLine* line) {
  const std::string& word = words[0];
  const Form* form = nullptr;
  for (const Form& f : kForms)
    if (word == f.word) form = &f;
  if (!form) return "unknown command \"" + word + "\"";
  const size_t args = words.size() - 1;
  if (args < form->minArgs || args > form->maxArgs)
    return std::string("wrong number of arguments; usage: ") + form->usage;
  line->op = form->op;
  int64_t n = 0;
  switch (form->op) {
    case Op::Down:
    case Op::Up:
    case Op::Click:
    case Op::DblClick:
      if (!ParseCoordinate(words[1], &line->x) || !ParseCoordinate(words[2], &line->y))
        return "bad coordinates; usage: " + std::string(form->usage);
      break;
    case Op::Tap:
    case Op::DoubleTap:
      if (!ParseCount(words[3], 0, 1000000, &n)) return "bad row \"" + words[3] + "\"";
      line->row = static_cast<int>(n);
      [[fallthrough]];
    case Op::Press:
      line->group = qv::LowerCase(words[1]);
      line->name = qv::LowerCase(words[2]);
      break;
    case Op::Tick:
      if (words[1] == "cpu") {
        line->timer = TimerKind::Cpu;
      } else if (words[1] == "clock") {
        line->timer = TimerKind::Clock;
      } else {
        return "unknown timer \"" + words[1] + "\"; usage: " + form->usage;
      }
      if (args == 2) {
        if (!ParseCount(words[2], 1, 1000000, &n)) return "bad count \"" + words[2] + "\"";
        line->count = static_cast<int>(n);
      }
      break;
    case Op::Advance:
      if (!ParseCount(words[1], 0, int64_t{1} << 40, &line->seconds))
        return "bad number of seconds \"" + words[1] + "\"";
      break;
    case Op::Dump:
    case Op::Shot:
      if (words[1].empty()) return "empty file name";
      line->argument = words[1];
      break;
    case Op::Echo:
      for (size_t i = 1; i < words.size(); ++i) {
        if (i > 1) line->argument += ' ';
        line->argument += words[i];
      }
      break;
  }
  return "";
}

}  // namespace

bool SplitWords(const std::string& line, std::vector<std::string>* words, std::string* error) {
  words->clear();
  size_t i = 0;
  const size_t n = line.size();
  while (i < n) {
    while (i < n && IsBlank(line[i])) ++i;
    if (i >= n || line[i] == '#') break;
    std::string word;
    if (line[i] == '"') {
      ++i;
      bool closed = false;
      while (i < n) {
        if (line[i] == '"') {
          if (i + 1 < n && line[i + 1] == '"') {
            word += '"';
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        word += line[i++];
      }
      if (!closed) {
        *error = "a double quote is not closed";
        return false;
      }
      if (i < n && !IsBlank(line[i])) {
        *error = "a blank must follow a closing double quote";
        return false;
      }
    } else {
      while (i < n && !IsBlank(line[i])) word += line[i++];
    }
    words->push_back(word);
  }
  return true;
}

bool ParseScript(const std::string& text, std::vector<ScriptLine>* lines, ScriptError* error) {
  lines->clear();
  size_t start = 0;
  // A byte-order mark from an editor is not part of the first command.
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
  int number = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string raw = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();

    auto fail = [&](const std::string& message) {
      *error = ScriptError{number, raw, message};
      return false;
    };
    std::vector<std::string> words;
    std::string why;
    if (!SplitWords(raw, &words, &why)) return fail(why);
    if (words.empty()) continue;

    ScriptLine line;
    line.number = number;
    line.text = raw;
    // The "~" prefix only counts when it was not written inside quotes.
    size_t firstNonBlank = raw.find_first_not_of(" \t");
    if (raw[firstNonBlank] == '~') {
      std::string prefix = words[0].substr(1);
      size_t digits = 0;
      while (digits < prefix.size() && prefix[digits] >= '0' && prefix[digits] <= '9') ++digits;
      if (digits == prefix.size()) {
        // "~" or "~N" on its own; the command follows.
        line.yieldIndex = 1;
        if (digits > 0) {
          int64_t n = 0;
          if (!ParseCount(prefix, 1, 1000000, &n))
            return fail("bad yield number \"" + words[0] + "\"");
          line.yieldIndex = static_cast<int>(n);
        }
        words.erase(words.begin());
      } else if (digits == 0) {
        // "~command": the prefix written against the command word.
        line.yieldIndex = 1;
        words[0] = prefix;
      } else {
        return fail("write a blank between \"~" + prefix.substr(0, digits) + "\" and the command");
      }
      if (words.empty()) return fail("\"~\" without a command");
    }
    const std::string message = ParseCommand(words, &line);
    if (!message.empty()) return fail(message);
    lines->push_back(line);
  }
  return true;
}

std::string EscapeControls(const std::string& text) {
  std::string out;
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c != 0x7F) {
      out += ch;
      continue;
    }
    static const char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

bool ParseClockTime(const std::string& text, ClockTime* t) {
  // Exactly "YYYY-MM-DD HH:MM:SS".
  static const char kPattern[] = "dddd-dd-dd dd:dd:dd";
  if (text.size() != sizeof(kPattern) - 1) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kPattern[i] == 'd' ? !digit : text[i] != kPattern[i]) return false;
  }
  auto num = [&](size_t pos, size_t len) { return std::atoi(text.substr(pos, len).c_str()); };
  ClockTime c{num(0, 4), num(5, 2), num(8, 2), num(11, 2), num(14, 2), num(17, 2)};
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (c.year < 1 || c.month < 1 || c.month > 12 || c.day < 1) return false;
  const bool leap = (c.year % 4 == 0 && c.year % 100 != 0) || c.year % 400 == 0;
  const int days = kDays[c.month - 1] + (c.month == 2 && leap ? 1 : 0);
  if (c.day > days || c.hour > 23 || c.minute > 59 || c.second > 59) return false;
  *t = c;
  return true;
}

}  // namespace probe
