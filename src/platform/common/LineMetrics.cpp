#include "platform/common/LineMetrics.h"

#include <cstdint>
#include <cstdlib>

namespace qv {
namespace {

// FreeType's 16.16 fixed point, rounded as it rounds.
int64_t MulFix(int64_t a, int64_t b) {
  const int64_t magnitude = (std::llabs(a) * std::llabs(b) + 0x8000) >> 16;
  return (a < 0) != (b < 0) ? -magnitude : magnitude;
}

int64_t DivFix(int64_t a, int64_t b) {
  return b == 0 ? 0 : ((a << 16) + b / 2) / b;
}

// 26.6 pixels to whole pixels, upwards.
int Ceil(int64_t v) {
  return int(((v + 63) & ~int64_t(63)) / 64);
}

}  // namespace

LineMetrics ScaledLineMetrics(int ascender, int descender, int unitsPerEm, int points) {
  const int64_t pixels = (int64_t(points) * 64 * 96 + 36) / 72;  // the em in 26.6
  const int64_t scale = DivFix(pixels, unitsPerEm);
  return LineMetrics{Ceil(MulFix(ascender, scale)),
                     Ceil(MulFix(int64_t(ascender) - descender, scale))};
}

}  // namespace qv
