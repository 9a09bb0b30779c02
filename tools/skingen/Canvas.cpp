#include "Canvas.h"

#include <algorithm>
#include <cmath>

namespace skingen {

namespace {

int R(Rgb c) {
  return (c >> 16) & 255;
}
int G(Rgb c) {
  return (c >> 8) & 255;
}
int B(Rgb c) {
  return c & 255;
}

float Clamp01(float v) {
  return v < 0 ? 0 : (v > 1 ? 1 : v);
}

int Lerp(int a, int b, float t) {
  return int(std::lround(a + (b - a) * t));
}

}  // namespace

Rgb Mix(Rgb a, Rgb b, float t) {
  t = Clamp01(t);
  return MakeRgb(Lerp(R(a), R(b), t), Lerp(G(a), G(b), t), Lerp(B(a), B(b), t));
}

Rgb Shade(Rgb c, float amount) {
  return amount >= 0 ? Mix(c, MakeRgb(255, 255, 255), amount) : Mix(c, 0, -amount);
}

Rgb Desaturate(Rgb c, float keep) {
  const int y = int(0.3f * R(c) + 0.59f * G(c) + 0.11f * B(c));
  return Mix(MakeRgb(y, y, y), c, keep);
}

Sdf RoundRectSdf(const Box& b, float radius) {
  const float r = std::min({radius, b.w / 2, b.h / 2});
  const float cx = b.Cx(), cy = b.Cy(), hx = b.w / 2 - r, hy = b.h / 2 - r;
  return [=](float x, float y) {
    const float qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
    const float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f) - r;
  };
}

Sdf CircleSdf(float cx, float cy, float r) {
  return [=](float x, float y) { return std::hypot(x - cx, y - cy) - r; };
}

Sdf RingSdf(float cx, float cy, float r, float thickness) {
  return
      [=](float x, float y) { return std::fabs(std::hypot(x - cx, y - cy) - r) - thickness / 2; };
}

Sdf StrokeSdf(const std::vector<float>& xy, float width) {
  return [xy, half = width / 2](float x, float y) {
    float best = 1e9f;
    for (size_t i = 0; i + 3 < xy.size(); i += 2) {
      const float ax = xy[i], ay = xy[i + 1], bx = xy[i + 2], by = xy[i + 3];
      const float ex = bx - ax, ey = by - ay, wx = x - ax, wy = y - ay;
      const float len2 = ex * ex + ey * ey;
      const float t = len2 > 0 ? Clamp01((wx * ex + wy * ey) / len2) : 0;
      best = std::min(best, std::hypot(wx - ex * t, wy - ey * t));
    }
    if (xy.size() == 2) best = std::hypot(x - xy[0], y - xy[1]);
    return best - half;
  };
}

Sdf PolygonSdf(const std::vector<float>& xy) {
  return [xy](float x, float y) {
    const size_t n = xy.size() / 2;
    float d = 1e18f, s = 1;
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
      const float vix = xy[2 * i], viy = xy[2 * i + 1], vjx = xy[2 * j], vjy = xy[2 * j + 1];
      const float ex = vjx - vix, ey = vjy - viy, wx = x - vix, wy = y - viy;
      const float len2 = ex * ex + ey * ey;
      const float t = len2 > 0 ? Clamp01((wx * ex + wy * ey) / len2) : 0;
      const float bx = wx - ex * t, by = wy - ey * t;
      d = std::min(d, bx * bx + by * by);
      const bool c1 = y >= viy, c2 = y<vjy, c3 = ex * wy> ey * wx;
      if ((c1 && c2 && c3) || (!c1 && !c2 && !c3)) s = -s;
    }
    return s * std::sqrt(d);
  };
}

Sdf Union(Sdf a, Sdf b) {
  return [a, b](float x, float y) { return std::min(a(x, y), b(x, y)); };
}

Sdf Subtract(Sdf a, Sdf b) {
  return [a, b](float x, float y) { return std::max(a(x, y), -b(x, y)); };
}

Paint Solid(Rgb c) {
  return [c](float, float) { return c; };
}

Paint VerticalGradient(float y0, Rgb top, float y1, Rgb bottom) {
  return [=](float, float y) { return Mix(top, bottom, y1 > y0 ? (y - y0) / (y1 - y0) : 0); };
}

Paint HorizontalGradient(float x0, Rgb left, float x1, Rgb right) {
  return [=](float x, float) { return Mix(left, right, x1 > x0 ? (x - x0) / (x1 - x0) : 0); };
}

Canvas::Canvas(int width, int height, Rgb fill)
    : width_(width), height_(height), pixels_(size_t(width) * height, fill) {}

Rgb Canvas::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return pixels_[size_t(y) * width_ + x];
}

void Canvas::Blend(int x, int y, Rgb c, float alpha) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_ || alpha <= 0) return;
  uint32_t& p = pixels_[size_t(y) * width_ + x];
  p = alpha >= 1 ? c : Mix(p, c, alpha);
}

void Canvas::Fill(const Box& bounds, const Sdf& shape, const Paint& paint, float opacity) {
  const int x0 = std::max(0, int(std::floor(bounds.x)) - 1);
  const int y0 = std::max(0, int(std::floor(bounds.y)) - 1);
  const int x1 = std::min(width_, int(std::ceil(bounds.Right())) + 1);
  const int y1 = std::min(height_, int(std::ceil(bounds.Bottom())) + 1);
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      const float px = x + 0.5f, py = y + 0.5f;
      const float coverage = Clamp01(0.5f - shape(px, py));
      if (coverage > 0) Blend(x, y, paint(px, py), coverage * opacity);
    }
  }
}

void Canvas::Shadow(const Box& b, float radius, float blur, float opacity) {
  const Sdf shape = RoundRectSdf(b, radius);
  const Box area{b.x - blur, b.y - blur, b.w + 2 * blur, b.h + 2 * blur};
  const int x0 = std::max(0, int(area.x)), y0 = std::max(0, int(area.y));
  const int x1 = std::min(width_, int(std::ceil(area.Right())));
  const int y1 = std::min(height_, int(std::ceil(area.Bottom())));
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      const float d = shape(x + 0.5f, y + 0.5f);
      const float t = Clamp01(1 - (d + blur * 0.25f) / blur);
      Blend(x, y, 0, t * t * opacity);
    }
  }
}

void Canvas::BlendMask(int x, int y, int w, int h, const uint8_t* mask, int pitch, Rgb c) {
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) Blend(x + i, y + j, c, mask[size_t(j) * pitch + i] / 255.0f);
}

void Canvas::CopyFrom(const Canvas& other, int x, int y, int w, int h) {
  for (int j = std::max(0, y); j < std::min(height_, y + h); ++j)
    for (int i = std::max(0, x); i < std::min(width_, x + w); ++i)
      pixels_[size_t(j) * width_ + i] = other.At(i, j);
}

}  // namespace skingen
