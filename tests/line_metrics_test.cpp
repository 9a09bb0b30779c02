// Where a line of text sits, against what SDL_ttf 2.20 reports for Liberation Sans (the face
// that stands in for Arial on Linux and under Wine): ascender 1854, descender -434, 2048 units.
#include <gtest/gtest.h>

#include "platform/common/LineMetrics.h"

namespace qv {
namespace {

TEST(LineMetrics, AscentAndHeightRoundAsSdlTtfRoundsThem) {
  struct Known {
    int points, ascent, height;
  };
  // TTF_FontAscent and TTF_FontHeight at 96 dots per inch; GDI's own rounding differs at 10,
  // 12 and 20 points, which put the baseline a row higher than on Linux.
  const Known known[] = {{8, 10, 12},  {9, 11, 14},  {10, 13, 15}, {11, 14, 17}, {12, 15, 18},
                         {14, 17, 21}, {16, 20, 24}, {18, 22, 27}, {20, 25, 30}, {24, 29, 36}};
  for (const Known& k : known) {
    const LineMetrics m = ScaledLineMetrics(1854, -434, 2048, k.points);
    EXPECT_EQ(m.ascent, k.ascent) << k.points;
    EXPECT_EQ(m.height, k.height) << k.points;
  }
}

}  // namespace
}  // namespace qv
