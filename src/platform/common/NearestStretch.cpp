#include "platform/common/NearestStretch.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/common/DirtyRegion.h"

namespace qv {
namespace {

uint32_t* Row(const PixelRows& p, int y) {
  return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(p.pixels) + size_t(y) * p.pitch);
}

// A copy at one to one: each rectangle clipped to its surface, the other following.
void CopyExact(const PixelRows& src, Rect s, const PixelRows& dst, Rect d) {
  auto clip = [](int& a, int& b, int& size, int limit) {
    if (a < 0) {
      b -= a;
      size += a;
      a = 0;
    }
    size = int(std::min<int64_t>(size, int64_t(limit) - a));
  };
  d.w = s.w;
  d.h = s.h;
  clip(s.x, d.x, s.w, src.width);
  clip(s.y, d.y, s.h, src.height);
  d.w = s.w;
  d.h = s.h;
  clip(d.x, s.x, d.w, dst.width);
  clip(d.y, s.y, d.h, dst.height);
  if (d.w <= 0 || d.h <= 0) return;
  for (int y = 0; y < d.h; ++y)
    std::memcpy(Row(dst, d.y + y) + d.x, Row(src, s.y + y) + s.x, size_t(d.w) * 4);
}

// Nearest neighbour in 16.16 fixed point, each pick taken at the middle of the target pixel.
void Scale(const PixelRows& src, const Rect& s, const PixelRows& dst, const Rect& d) {
  const uint32_t incX = (uint32_t(s.w) << 16) / uint32_t(d.w);
  const uint32_t incY = (uint32_t(s.h) << 16) / uint32_t(d.h);
  uint32_t posY = incY / 2;
  for (int y = 0; y < d.h; ++y, posY += incY) {
    const uint32_t* from = Row(src, s.y + int(posY >> 16)) + s.x;
    uint32_t* to = Row(dst, d.y + y) + d.x;
    uint32_t posX = incX / 2;
    for (int x = 0; x < d.w; ++x, posX += incX) to[x] = from[posX >> 16];
  }
}

// Halves away from zero.
int Round(double v) {
  return int(std::round(v));
}

}  // namespace

void StretchPixels(const PixelRows& src, Rect srcRect, const PixelRows& dst, Rect dstRect) {
  if (!src.pixels || !dst.pixels || srcRect.Empty() || dstRect.Empty()) return;
  if (srcRect.w == dstRect.w && srcRect.h == dstRect.h)
    return CopyExact(src, srcRect, dst, dstRect);
  // Edges as real numbers: each rectangle clipped to its surface, the other following in
  // proportion; rounded at the end and clipped once more.
  const double scaleW = double(dstRect.w) / srcRect.w, scaleH = double(dstRect.h) / srcRect.h;
  double sx0 = srcRect.x, sy0 = srcRect.y;
  double sx1 = sx0 + srcRect.w, sy1 = sy0 + srcRect.h;
  double dx0 = dstRect.x, dy0 = dstRect.y;
  double dx1 = dx0 + dstRect.w, dy1 = dy0 + dstRect.h;
  if (sx0 < 0) {
    dx0 -= sx0 * scaleW;
    sx0 = 0;
  }
  if (sx1 > src.width) {
    dx1 -= (sx1 - src.width) * scaleW;
    sx1 = src.width;
  }
  if (sy0 < 0) {
    dy0 -= sy0 * scaleH;
    sy0 = 0;
  }
  if (sy1 > src.height) {
    dy1 -= (sy1 - src.height) * scaleH;
    sy1 = src.height;
  }
  if (dx0 < 0) {
    sx0 -= dx0 / scaleW;
    dx0 = 0;
  }
  if (dx1 > dst.width) {
    sx1 -= (dx1 - dst.width) / scaleW;
    dx1 = dst.width;
  }
  if (dy0 < 0) {
    sy0 -= dy0 / scaleH;
    dy0 = 0;
  }
  if (dy1 > dst.height) {
    sy1 -= (dy1 - dst.height) / scaleH;
    dy1 = dst.height;
  }
  const Rect s = Intersect(Rect{Round(sx0), Round(sy0), Round(sx1 - sx0), Round(sy1 - sy0)},
                           Rect{0, 0, src.width, src.height});
  const Rect d = Intersect(Rect{Round(dx0), Round(dy0), Round(dx1 - dx0), Round(dy1 - dy0)},
                           Rect{0, 0, dst.width, dst.height});
  if (s.Empty() || d.Empty() || s.w > 65535 || s.h > 65535 || d.w > 65535 || d.h > 65535) return;
  Scale(src, s, dst, d);
}

}  // namespace qv
