#include "platform/linux/StderrDiagnostics.h"

#include <cstdio>

namespace qv {

void StderrDiagnostics::Warn(const std::string& line) {
  // One write per line, so that lines of parallel runs do not interleave.
  std::string text = "quorvin: " + line + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace qv
