// A file system checker's output as the disk check reads it: e2fsck's progress descriptor, the
// surface scan's figures, and terminal bytes cut into lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// Percentage of a whole e2fsck run at `current` of `max` in pass `pass` (1 to 5), weighted as
// e2fsck weights its passes itself.
uint32_t ProgressOfPass(int pass, uint64_t current, uint64_t max);
// Reads one line of e2fsck's progress descriptor ("PASS CURRENT MAX NAME").
bool ParseProgressLine(const std::string& line, uint32_t* percent);

// Reads a progress percentage from a line of a surface scan, in whatever language it is written.
bool ScanProgress(const std::string& text, uint32_t* percent);

// Turns a checker's terminal output into lines: a carriage return or backspace moves back over
// what is overwritten, escape sequences and other control bytes are dropped, tabs become blanks,
// and an endless line is cut into pieces (between characters).
class TerminalLines {
 public:
  static constexpr size_t kMaxLine = 4096;
  void Feed(const char* data, size_t size, std::vector<std::string>* lines);
  // The rest that no line end has closed yet (a progress text being overwritten).
  std::string Partial() const;
  void Finish(std::vector<std::string>* lines);

 private:
  void Close(std::vector<std::string>* lines);
  void Cut(std::vector<std::string>* lines);
  std::string line_;
  size_t cursor_ = 0;
  enum class Escape { None, Start, Csi, String, StringEsc } escape_ = Escape::None;
};

}  // namespace qv
