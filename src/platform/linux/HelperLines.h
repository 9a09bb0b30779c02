// The lines quorvin-helper writes to its standard output, and their reading on the program's
// side: "P <percent>", "T <text>", "D <0|1>". A text's backslashes and control bytes are
// escaped, so that no text can end its line early and pass for a line of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

struct HelperReport {
  enum Kind { Progress, Text, Done } kind = Text;
  uint32_t percent = 0;  // Progress: at most 100
  std::string text;      // Text: as the helper had it
  bool success = false;  // Done
};

// One line, with its line end.
std::string HelperLine(const HelperReport& report);

// Cuts the bytes of a pipe into reports, whatever pieces they come in. A line that is not one
// of the three, or longer than kMaxLine, is dropped.
class HelperLineReader {
 public:
  static constexpr size_t kMaxLine = 64 * 1024;
  void Feed(const char* data, size_t size, std::vector<HelperReport>* reports);

 private:
  std::string line_;
  bool overlong_ = false;
};

}  // namespace qv
