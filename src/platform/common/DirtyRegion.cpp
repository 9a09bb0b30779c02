#include "platform/common/DirtyRegion.h"

#include <algorithm>

namespace qv {

Rect Intersect(const Rect& a, const Rect& b) {
  int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
  int x1 = std::min(int64_t(a.x) + a.w, int64_t(b.x) + b.w);
  int y1 = std::min(int64_t(a.y) + a.h, int64_t(b.y) + b.h);
  if (x1 <= x0 || y1 <= y0) return Rect{};
  return Rect{x0, y0, x1 - x0, y1 - y0};
}

bool Contains(const Rect& outer, const Rect& inner) {
  return inner.x >= outer.x && inner.y >= outer.y &&
         int64_t(inner.x) + inner.w <= int64_t(outer.x) + outer.w &&
         int64_t(inner.y) + inner.h <= int64_t(outer.y) + outer.h;
}

Rect Union(const Rect& a, const Rect& b) {
  if (a.Empty()) return b;
  if (b.Empty()) return a;
  int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
  int x1 = std::max(a.x + a.w, b.x + b.w), y1 = std::max(a.y + a.h, b.y + b.h);
  return Rect{x0, y0, x1 - x0, y1 - y0};
}

void DirtyRegion::Add(const Rect& r) {
  if (r.Empty()) return;
  for (Rect& e : rects) {
    // Touching or overlapping ones become one; an upload of both costs no more.
    if (r.x <= e.x + e.w && e.x <= r.x + r.w && r.y <= e.y + e.h && e.y <= r.y + r.h) {
      e = Union(e, r);
      return;
    }
  }
  if (rects.size() < kMaxRects)
    rects.push_back(r);
  else
    rects.back() = Union(rects.back(), r);
}

void DirtyRegion::Add(const DirtyRegion& other) {
  for (const Rect& r : other.rects) Add(r);
}

}  // namespace qv
