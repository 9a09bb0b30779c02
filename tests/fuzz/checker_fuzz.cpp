// A file system checker's output as the disk check reads it: terminal bytes cut into lines in
// any chunking, e2fsck's progress lines and the surface scan's figures.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/PosixCheckEngine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte sets how the stream arrives: in reads of 1 to 256 bytes.
  const size_t chunk = data[0] + 1u;
  const char* text = reinterpret_cast<const char*>(data + 1);
  const size_t length = size - 1;
  qv::TerminalLines whole, pieces;
  std::vector<std::string> a, b;
  whole.Feed(text, length, &a);
  for (size_t at = 0; at < length; at += chunk)
    pieces.Feed(text + at, length - at < chunk ? length - at : chunk, &b);
  if (whole.Partial() != pieces.Partial()) __builtin_trap();
  whole.Finish(&a);
  pieces.Finish(&b);
  if (a != b) __builtin_trap();
  for (const std::string& line : a) {
    if (line.size() > qv::TerminalLines::kMaxLine) __builtin_trap();
    for (unsigned char c : line)
      if (c < 0x20) __builtin_trap();
    uint32_t percent = 0;
    if (qv::ParseProgressLine(line, &percent) && percent > 100) __builtin_trap();
    if (qv::ScanProgress(line, &percent) && percent > 100) __builtin_trap();
  }
  return 0;
}
