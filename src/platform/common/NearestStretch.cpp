#include "platform/common/NearestStretch.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qv {
namespace {

uint32_t* Row(const PixelRows& p, int y) {
  return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(p.pixels) + size_t(y) * p.pitch);
}

bool Inside(const PixelRows& p, const Rect& r) {
  return r.x >= 0 && r.y >= 0 && r.w > 0 && r.h > 0 && int64_t(r.x) + r.w <= p.width &&
         int64_t(r.y) + r.h <= p.height;
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

int Round(double v) {
  return int(std::floor(v + 0.5));
}

}  // namespace

void StretchPixels(const PixelRows& src, Rect srcRect, const PixelRows& dst, Rect dstRect) {
  if (!src.pixels || !dst.pixels || srcRect.Empty() || dstRect.Empty()) return;
  if (srcRect.w == dstRect.w && srcRect.h == dstRect.h)
    return CopyExact(src, srcRect, dst, dstRect);
  // Both rectangles as inclusive corners, clipped in proportion, then rounded.
  const double scaleW = double(dstRect.w) / srcRect.w, scaleH = double(dstRect.h) / srcRect.h;
  double sx0 = srcRect.x, sy0 = srcRect.y;
  double sx1 = sx0 + srcRect.w - 1, sy1 = sy0 + srcRect.h - 1;
  double dx0 = dstRect.x, dy0 = dstRect.y;
  double dx1 = dx0 + dstRect.w - 1, dy1 = dy0 + dstRect.h - 1;
  if (sx0 < 0) {
    dx0 -= sx0 * scaleW;
    sx0 = 0;
  }
  if (sx1 >= src.width) {
    dx1 -= (sx1 - src.width + 1) * scaleW;
    sx1 = src.width - 1;
  }
  if (sy0 < 0) {
    dy0 -= sy0 * scaleH;
    sy0 = 0;
  }
  if (sy1 >= src.height) {
    dy1 -= (sy1 - src.height + 1) * scaleH;
    sy1 = src.height - 1;
  }
  if (dx0 < 0) {
    sx0 -= dx0 / scaleW;
    dx0 = 0;
  }
  if (dx1 >= dst.width) {
    sx1 -= (dx1 - dst.width + 1) / scaleW;
    dx1 = dst.width - 1;
  }
  if (dy0 < 0) {
    sy0 -= dy0 / scaleH;
    dy0 = 0;
  }
  if (dy1 >= dst.height) {
    sy1 -= (dy1 - dst.height + 1) / scaleH;
    dy1 = dst.height - 1;
  }
  const Rect s{Round(sx0), Round(sy0), Round(sx1 + 1) - Round(sx0), Round(sy1 + 1) - Round(sy0)};
  const Rect d{Round(dx0), Round(dy0), int(std::floor(dx1 - dx0 + 1.5)),
               int(std::floor(dy1 - dy0 + 1.5))};
  // What rounding leaves outside a surface is not drawn at all.
  if (!Inside(src, s) || !Inside(dst, d) || s.w > 65535 || s.h > 65535 || d.w > 65535 ||
      d.h > 65535)
    return;
  Scale(src, s, dst, d);
}

}  // namespace qv
