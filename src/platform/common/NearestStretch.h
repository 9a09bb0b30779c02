// The scaled rectangle copy of the displays: nearest neighbour, with the rounding and clipping
// of SDL's software stretch, so that every platform shows the same pixels for the same layout.
#pragma once

#include <cstdint>

#include "platform/Display.h"

namespace qv {

// 32-bit pixels, `pitch` bytes a row.
struct PixelRows {
  uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int pitch = 0;
};

// Copies `srcRect` of `src` onto `dstRect` of `dst`, scaled where the sizes differ; both are
// clipped to their surfaces, the other rectangle shrinking in proportion. `src` and `dst` must
// not overlap.
void StretchPixels(const PixelRows& src, Rect srcRect, const PixelRows& dst, Rect dstRect);

}  // namespace qv
