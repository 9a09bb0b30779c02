// The Windows command-line rules: how a program receives its arguments from one line, and how
// to write an argument or a program path so that it comes back as it was. Header-only, so that
// the core can quote without linking a platform.
#pragma once

#include <string>
#include <vector>

namespace qv {

// Splits a command line the way Windows programs receive it: the program path ends at the first
// blank or is quoted as a whole; arguments follow the backslash and double-quote rules.
inline std::vector<std::string> SplitWindowsCommandLine(const std::string& line) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  std::vector<std::string> args;
  size_t i = 0;
  while (i < line.size() && blank(line[i])) ++i;
  if (i == line.size()) return args;
  // The program path knows no escapes: a quote runs to the next quote.
  std::string program;
  if (line[i] == '"') {
    size_t end = line.find('"', i + 1);
    if (end == std::string::npos) end = line.size();
    program = line.substr(i + 1, end - i - 1);
    i = end < line.size() ? end + 1 : end;
  } else {
    while (i < line.size() && !blank(line[i])) program += line[i++];
  }
  args.push_back(program);

  for (;;) {
    while (i < line.size() && blank(line[i])) ++i;
    if (i == line.size()) break;
    std::string arg;
    int quotes = 0;  // quotes seen in the current run: odd while inside a quoted part
    size_t backslashes = 0;
    while (i < line.size() && !(blank(line[i]) && quotes == 0)) {
      char c = line[i];
      if (c == '\\') {
        ++backslashes;
        arg += c;
        ++i;
        continue;
      }
      if (c != '"') {
        backslashes = 0;
        arg += c;
        ++i;
        continue;
      }
      // 2n backslashes and a quote: n backslashes, and the quote opens or closes.
      // 2n+1 backslashes and a quote: n backslashes and a literal quote.
      arg.resize(arg.size() - backslashes / 2 - (backslashes % 2));
      bool literal = backslashes % 2 == 1;
      backslashes = 0;
      ++i;
      if (literal) {
        arg += '"';
        continue;
      }
      ++quotes;
      // Inside quotes, a doubled quote stands for one quote and ends the quoted part.
      while (i < line.size() && line[i] == '"') {
        if (++quotes == 3) {
          arg += '"';
          quotes = 0;
        }
        ++i;
      }
      if (quotes == 2) quotes = 0;
    }
    args.push_back(arg);
  }
  return args;
}

// One argument of a command line, quoted so that the splitting gives it back byte for byte
// (quotes and the backslashes before them escaped, blanks kept inside).
inline std::string QuoteArgument(const std::string& argument) {
  std::string out = "\"";
  size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
    } else {
      // Backslashes count only before a quote: there each is doubled and the quote escaped.
      if (c == '"') out.append(backslashes + 1, '\\');
      backslashes = 0;
    }
    out += c;
  }
  // The closing quote must not be escaped by backslashes that end the argument.
  out.append(backslashes, '\\');
  return out + "\"";
}

// The program path of a command line, quoted as a whole; "" when it holds a double quote, which
// that form cannot carry there.
inline std::string QuoteProgramPath(const std::string& path) {
  if (path.find('"') != std::string::npos) return "";
  return "\"" + path + "\"";
}

}  // namespace qv
