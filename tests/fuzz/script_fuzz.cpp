// The probe's script reader: any text gives lines or an error naming a line, never a crash.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "probe/Script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<probe::ScriptLine> lines;
  probe::ScriptError error;
  if (!probe::ParseScript(text, &lines, &error) && error.line <= 0) __builtin_trap();
  const std::string shown = probe::EscapeControls(error.text);
  for (const char c : shown)
    if (static_cast<unsigned char>(c) < 0x20) __builtin_trap();
  probe::ClockTime t;
  probe::ParseClockTime(text, &t);
  return 0;
}
