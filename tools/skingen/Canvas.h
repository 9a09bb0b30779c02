// A plain 32-bit picture with anti-aliased shapes described by signed distance functions.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace skingen {

// 0x00RRGGBB, as the project's JPEG codec expects.
using Rgb = uint32_t;

constexpr Rgb MakeRgb(int r, int g, int b) {
  return (uint32_t(r & 255) << 16) | (uint32_t(g & 255) << 8) | uint32_t(b & 255);
}
Rgb Mix(Rgb a, Rgb b, float t);
// Lighter (amount > 0) or darker (amount < 0), amount in -1..1.
Rgb Shade(Rgb c, float amount);
// Grey of the same brightness, mixed back toward the colour by `keep`.
Rgb Desaturate(Rgb c, float keep);

struct Box {
  float x = 0, y = 0, w = 0, h = 0;
  float Right() const { return x + w; }
  float Bottom() const { return y + h; }
  float Cx() const { return x + w / 2; }
  float Cy() const { return y + h / 2; }
  Box Inset(float d) const { return {x + d, y + d, w - 2 * d, h - 2 * d}; }
  Box Offset(float dx, float dy) const { return {x + dx, y + dy, w, h}; }
};

// Signed distance in pixels: negative inside, positive outside.
using Sdf = std::function<float(float x, float y)>;
// Colour at a pixel (gradients); a plain colour is the common case.
using Paint = std::function<Rgb(float x, float y)>;

Sdf RoundRectSdf(const Box& b, float radius);
Sdf CircleSdf(float cx, float cy, float r);
Sdf RingSdf(float cx, float cy, float r, float thickness);
// A polyline stroked with round caps and joins.
Sdf StrokeSdf(const std::vector<float>& xy, float width);
// A closed polygon (any simple polygon), filled.
Sdf PolygonSdf(const std::vector<float>& xy);
Sdf Union(Sdf a, Sdf b);
Sdf Subtract(Sdf a, Sdf b);

Paint Solid(Rgb c);
Paint VerticalGradient(float y0, Rgb top, float y1, Rgb bottom);
Paint HorizontalGradient(float x0, Rgb left, float x1, Rgb right);

class Canvas {
 public:
  Canvas(int width, int height, Rgb fill = 0);

  int Width() const { return width_; }
  int Height() const { return height_; }
  const std::vector<uint32_t>& Pixels() const { return pixels_; }
  Rgb At(int x, int y) const;

  void Blend(int x, int y, Rgb c, float alpha);
  // Fills the shape inside `bounds` (the area searched), with `opacity` on top of coverage.
  void Fill(const Box& bounds, const Sdf& shape, const Paint& paint, float opacity = 1.0f);
  void Fill(const Box& bounds, const Sdf& shape, Rgb c, float opacity = 1.0f) {
    Fill(bounds, shape, Solid(c), opacity);
  }
  // A soft shadow of a rounded rectangle, `blur` pixels wide.
  void Shadow(const Box& b, float radius, float blur, float opacity);
  // Blends an 8-bit coverage mask (text) in one colour with its top-left corner at (x, y).
  void BlendMask(int x, int y, int w, int h, const uint8_t* mask, int pitch, Rgb c);
  // A copy of a rectangle of another canvas (same coordinates).
  void CopyFrom(const Canvas& other, int x, int y, int w, int h);

 private:
  int width_;
  int height_;
  std::vector<uint32_t> pixels_;
};

}  // namespace skingen
