#include "platform/linux/HelperLines.h"

#include <cstdio>

namespace qv {
namespace {

std::string Escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (byte < 0x20 || byte == 0x7f) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Undoes Escape; false for what Escape never writes.
bool Unescape(const std::string& in, std::string* out) {
  out->clear();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '\\') {
      *out += in[i];
      continue;
    }
    if (i + 1 >= in.size()) return false;
    const char next = in[++i];
    if (next == '\\') {
      *out += '\\';
    } else if (next == 'n') {
      *out += '\n';
    } else if (next == 'x' && i + 2 < in.size() && HexDigit(in[i + 1]) >= 0 &&
               HexDigit(in[i + 2]) >= 0) {
      *out += static_cast<char>(HexDigit(in[i + 1]) * 16 + HexDigit(in[i + 2]));
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

bool Parse(const std::string& line, HelperReport* r) {
  if (line.size() < 2 || line[1] != ' ') return false;
  const std::string rest = line.substr(2);
  switch (line[0]) {
    case 'P': {
      if (rest.empty() || rest.size() > 3 ||
          rest.find_first_not_of("0123456789") != std::string::npos)
        return false;
      const int percent = std::stoi(rest);
      if (percent > 100) return false;
      r->kind = HelperReport::Progress;
      r->percent = static_cast<uint32_t>(percent);
      return true;
    }
    case 'T':
      r->kind = HelperReport::Text;
      return Unescape(rest, &r->text);
    case 'D':
      if (rest != "0" && rest != "1") return false;
      r->kind = HelperReport::Done;
      r->success = rest == "1";
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string HelperLine(const HelperReport& report) {
  switch (report.kind) {
    case HelperReport::Progress:
      return "P " + std::to_string(report.percent > 100 ? 100 : report.percent) + "\n";
    case HelperReport::Done:
      return std::string("D ") + (report.success ? "1" : "0") + "\n";
    case HelperReport::Text:
      break;
  }
  return "T " + Escape(report.text) + "\n";
}

void HelperLineReader::Feed(const char* data, size_t size, std::vector<HelperReport>* reports) {
  for (size_t i = 0; i < size; ++i) {
    if (data[i] != '\n') {
      if (line_.size() < kMaxLine)
        line_ += data[i];
      else
        overlong_ = true;
      continue;
    }
    HelperReport r;
    if (!overlong_ && Parse(line_, &r)) reports->push_back(std::move(r));
    line_.clear();
    overlong_ = false;
  }
}

}  // namespace qv
