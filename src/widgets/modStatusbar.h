// Status bars: a whole-number percentage as a split bar with a caption.
#pragma once

#include <cstdint>
#include <string>

#include "core/Elements.h"

namespace qv {

struct Program;

void SetProgress(Program& p, const std::string& group, const std::string& name, int32_t percent);
void DrawStatusText(Program& p, const StatusBarElement& bar, const std::string& text);

// Filled width of a bar of `width` pixels at `percent` (out-of-range values drawn as 0 or 100).
int16_t FilledWidth(int16_t width, int32_t percent);

}  // namespace qv
