// Where a line of text sits: the rule of SDL_ttf on FreeType, written out so that every display
// puts a text's baseline and box where the Linux one does.
#pragma once

namespace qv {

struct LineMetrics {
  int ascent = 0;  // pixels from the top of the box to the baseline
  int height = 0;  // the box's height
};

// From a scalable face's design metrics (its horizontal header's ascender and descender, in
// font units) at `points` and 96 dots per inch.
LineMetrics ScaledLineMetrics(int ascender, int descender, int unitsPerEm, int points);

}  // namespace qv
