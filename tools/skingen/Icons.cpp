#include "Icons.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace skingen {

namespace {

Sdf Intersect(Sdf a, Sdf b) {
  return [a, b](float x, float y) { return std::max(a(x, y), b(x, y)); };
}

// Maps grid units to pixels of one box and draws in one colour.
class Pen {
 public:
  Pen(Canvas& c, const Box& b, Rgb color) : c_(c), b_(b), s_(b.w / 24.0f), color_(color) {}

  std::vector<float> P(std::vector<float> pts) const {
    for (size_t i = 0; i < pts.size(); i += 2) {
      pts[i] = b_.x + pts[i] * s_;
      pts[i + 1] = b_.y + pts[i + 1] * s_;
    }
    return pts;
  }
  Box B(float x, float y, float w, float h) const {
    return {b_.x + x * s_, b_.y + y * s_, w * s_, h * s_};
  }
  float S(float v) const { return v * s_; }

  void Shape(const Sdf& sdf, Rgb color) { c_.Fill(b_.Inset(-2), sdf, color); }
  void Shape(const Sdf& sdf) { Shape(sdf, color_); }
  void Line(std::vector<float> pts, float w = 2, Rgb* color = nullptr) {
    Shape(StrokeSdf(P(std::move(pts)), S(w)), color ? *color : color_);
  }
  void Poly(std::vector<float> pts) { Shape(PolygonSdf(P(std::move(pts)))); }
  void Circle(float cx, float cy, float r) { Shape(CircleSdf(X(cx), Y(cy), S(r))); }
  void Ring(float cx, float cy, float r, float t = 2) { Shape(RingSdf(X(cx), Y(cy), S(r), S(t))); }
  void RoundRect(float x, float y, float w, float h, float r) {
    Shape(RoundRectSdf(B(x, y, w, h), S(r)));
  }
  void RoundRectLine(float x, float y, float w, float h, float r, float t = 2) {
    Shape(Outline(RoundRectSdf(B(x, y, w, h), S(r)), S(t)));
  }
  static Sdf Outline(Sdf s, float t) {
    return [s, t](float x, float y) { return std::fabs(s(x, y)) - t / 2; };
  }
  float X(float v) const { return b_.x + v * s_; }
  float Y(float v) const { return b_.y + v * s_; }

 private:
  Canvas& c_;
  Box b_;
  float s_;
  Rgb color_;
};

void Chevron(Pen& p, bool up, float y) {
  if (up)
    p.Line({5, y + 4, 12, y - 3, 19, y + 4}, 2.4f);
  else
    p.Line({5, y - 4, 12, y + 3, 19, y - 4}, 2.4f);
}

void Folder(Pen& p) {
  p.RoundRect(2, 4, 9, 6, 1.5f);
  p.RoundRect(2, 7, 20, 13, 2);
}

}  // namespace

bool DrawIcon(Canvas& canvas, const std::string& name, const Box& box, Rgb color, Rgb background) {
  Pen p(canvas, box, color);
  Rgb bg = background;
  if (name == "back") {
    p.Line({20, 12, 4.5f, 12}, 2.4f);
    p.Line({11, 5, 4, 12, 11, 19}, 2.4f);
  } else if (name == "up") {
    Chevron(p, true, 12);
  } else if (name == "down") {
    Chevron(p, false, 12);
  } else if (name == "first") {
    p.Line({5, 5, 19, 5}, 2.4f);
    Chevron(p, true, 14);
  } else if (name == "last") {
    p.Line({5, 19, 19, 19}, 2.4f);
    Chevron(p, false, 10);
  } else if (name == "plus") {
    p.Line({12, 4, 12, 20}, 2.6f);
    p.Line({4, 12, 20, 12}, 2.6f);
  } else if (name == "minus") {
    p.Line({4, 12, 20, 12}, 2.6f);
  } else if (name == "check") {
    p.Line({4.5f, 12.5f, 9.5f, 17.5f, 19.5f, 6.5f}, 2.6f);
  } else if (name == "stop") {
    p.Line({6, 6, 18, 18}, 2.4f);
    p.Line({18, 6, 6, 18}, 2.4f);
  } else if (name == "play") {
    p.Poly({7, 4, 20, 12, 7, 20});
  } else if (name == "folder") {
    Folder(p);
  } else if (name == "newfolder") {
    Folder(p);
    p.Line({12, 10, 12, 17.5f}, 2, &bg);
    p.Line({8.25f, 13.75f, 15.75f, 13.75f}, 2, &bg);
  } else if (name == "file") {
    p.Line({5, 2.5f, 14, 2.5f, 19, 7.5f, 19, 21.5f, 5, 21.5f, 5, 2.5f}, 2);
    p.Line({14, 2.5f, 14, 7.5f, 19, 7.5f}, 2);
    p.Line({8.5f, 12.5f, 15.5f, 12.5f}, 1.8f);
    p.Line({8.5f, 16.5f, 15.5f, 16.5f}, 1.8f);
  } else if (name == "music") {
    p.Circle(7, 18, 3.2f);
    p.Circle(17, 16, 3.2f);
    p.Line({9.6f, 18, 9.6f, 6}, 2);
    p.Line({19.6f, 16, 19.6f, 4}, 2);
    p.Poly({8.6f, 5, 20.6f, 2.6f, 20.6f, 6.6f, 8.6f, 9});
  } else if (name == "film") {
    p.RoundRectLine(3, 4, 18, 16, 2);
    p.Line({8, 4, 8, 20}, 1.6f);
    p.Line({16, 4, 16, 20}, 1.6f);
    for (float y : {7.5f, 12.0f, 16.5f}) {
      p.Circle(5.5f, y, 0.9f);
      p.Circle(18.5f, y, 0.9f);
    }
  } else if (name == "picture") {
    p.RoundRectLine(2.5f, 4, 19, 16, 2);
    p.Circle(8.5f, 9, 1.9f);
    p.Poly({4.5f, 18, 10, 11.5f, 13.5f, 15, 16, 12.5f, 19.5f, 18});
  } else if (name == "drive") {
    p.RoundRectLine(2.5f, 6, 19, 12, 2.5f);
    p.Line({2.5f, 13, 21.5f, 13}, 1.6f);
    p.Circle(17.5f, 15.5f, 1.1f);
    p.Circle(14, 15.5f, 1.1f);
  } else if (name == "diskcheck") {
    p.Ring(11, 11, 8.2f, 2);
    p.Circle(11, 11, 2.2f);
    p.Circle(18, 18, 5.6f);
    p.Line({15.4f, 18.2f, 17.4f, 20.2f, 20.8f, 16.2f}, 1.8f, &bg);
  } else if (name == "defrag") {
    const float alpha[9] = {1, 1, 1, 1, 1, 0, 1, 0, 0};
    for (int i = 0; i < 9; ++i) {
      const float x = 2.5f + (i % 3) * 7, y = 2.5f + (i / 3) * 7;
      if (alpha[i] > 0)
        p.RoundRect(x, y, 5.5f, 5.5f, 1.2f);
      else
        p.RoundRectLine(x + 0.6f, y + 0.6f, 4.3f, 4.3f, 1, 1.2f);
    }
  } else if (name == "broom") {
    p.Line({20, 3, 13, 10}, 2.2f);
    p.Poly({9.5f, 8.5f, 15.5f, 14.5f, 12, 21, 3, 21, 3, 15});
    p.Line({6.5f, 20, 9.5f, 17}, 1.2f, &bg);
    p.Line({10, 20.5f, 12.5f, 18}, 1.2f, &bg);
  } else if (name == "trash") {
    p.Line({3.5f, 6, 20.5f, 6}, 2);
    p.Line({9, 6, 9, 3.5f, 15, 3.5f, 15, 6}, 1.8f);
    p.Line({6, 6, 7, 21, 17, 21, 18, 6}, 2);
    p.Line({10, 10, 10, 17}, 1.6f);
    p.Line({14, 10, 14, 17}, 1.6f);
  } else if (name == "info") {
    p.Ring(12, 12, 9.5f, 2);
    p.Circle(12, 7.6f, 1.4f);
    p.Line({12, 11, 12, 17}, 2.2f);
  } else if (name == "clock") {
    p.Ring(12, 12, 9.5f, 2);
    p.Line({12, 6.5f, 12, 12, 16, 14.5f}, 2);
  } else if (name == "power") {
    const Sdf ring = RingSdf(p.X(12), p.Y(13), p.S(8), p.S(2.2f));
    const Sdf wedge = PolygonSdf(p.P({12, 13, 6, -2, 18, -2}));
    p.Shape(Subtract(ring, wedge));
    p.Line({12, 2.5f, 12, 11.5f}, 2.2f);
  } else if (name == "cpu") {
    p.RoundRectLine(6, 6, 12, 12, 1.8f, 1.8f);
    p.RoundRect(9.2f, 9.2f, 5.6f, 5.6f, 1);
    for (float k : {9.0f, 12.0f, 15.0f}) {
      p.Line({k, 2, k, 5}, 1.6f);
      p.Line({k, 19, k, 22}, 1.6f);
      p.Line({2, k, 5, k}, 1.6f);
      p.Line({19, k, 22, k}, 1.6f);
    }
  } else if (name == "copy") {
    p.RoundRectLine(8, 8, 13, 13, 2);
    p.Line({4, 15.5f, 3.5f, 15.5f, 3.5f, 3.5f, 15.5f, 3.5f, 15.5f, 4}, 2);
  } else if (name == "keyboard") {
    p.RoundRectLine(2, 5.5f, 20, 13, 2);
    for (float x : {6.0f, 9.3f, 12.6f, 15.9f}) {
      p.Circle(x + 0.6f, 9.5f, 0.9f);
      p.Circle(x + 0.6f, 12.5f, 0.9f);
    }
    p.Line({7.5f, 15.5f, 16.5f, 15.5f}, 1.6f);
  } else if (name == "selectall") {
    p.RoundRectLine(3.5f, 3.5f, 17, 17, 3);
    p.Line({7.5f, 12, 10.5f, 15, 16.5f, 9}, 2.2f);
  } else if (name == "selectnone") {
    p.RoundRectLine(3.5f, 3.5f, 17, 17, 3);
  } else if (name == "invert") {
    p.RoundRectLine(3.5f, 3.5f, 17, 17, 3);
    p.Shape(Intersect(RoundRectSdf(p.B(6.5f, 6.5f, 11, 11), p.S(1.5f)),
                      PolygonSdf(p.P({6, 18, 18, 6, 18, 18}))));
  } else if (name == "rename") {
    p.Poly({4, 20, 5, 15, 15.5f, 4.5f, 19.5f, 8.5f, 9, 19});
    p.Line({13.8f, 6.2f, 17.8f, 10.2f}, 1.1f, &bg);
    p.Line({12, 21, 20, 21}, 1.8f);
  } else if (name == "paste") {
    p.RoundRectLine(4.5f, 4.5f, 15, 17.5f, 2);
    p.RoundRect(8.5f, 2, 7, 5, 1.2f);
    p.Line({8.5f, 12, 15.5f, 12}, 1.8f);
    p.Line({8.5f, 16, 13.5f, 16}, 1.8f);
  } else if (name == "backspace") {
    p.Line({8.5f, 5, 21, 5, 21, 19, 8.5f, 19, 2.5f, 12, 8.5f, 5}, 2);
    p.Line({11.5f, 9, 17.5f, 15}, 2);
    p.Line({17.5f, 9, 11.5f, 15}, 2);
  } else if (name == "shift") {
    p.Line({12, 3, 21, 12, 16, 12, 16, 20, 8, 20, 8, 12, 3, 12, 12, 3}, 2);
  } else if (name == "caps") {
    p.Line({12, 2.5f, 20, 10.5f, 16, 10.5f, 16, 15.5f, 8, 15.5f, 8, 10.5f, 4, 10.5f, 12, 2.5f}, 2);
    p.Line({8, 20, 16, 20}, 2);
  } else if (name == "logo") {
    canvas.Fill(box, RoundRectSdf(box, box.w * 0.24f),
                VerticalGradient(box.y, Shade(color, 0.15f), box.Bottom(), Shade(color, -0.35f)));
    Pen white(canvas, box, MakeRgb(255, 255, 255));
    white.Ring(12, 11.4f, 5.6f, 2.5f);
    white.Line({14.6f, 14.2f, 18, 17.8f}, 2.7f);
  } else {
    return false;
  }
  return true;
}

void DrawFolderPicture(Canvas& canvas, Rgb background, Rgb accent) {
  const float w = float(canvas.Width()), h = float(canvas.Height());
  canvas.Fill({0, 0, w, h}, RoundRectSdf({-10, -10, w + 20, h + 20}, 0), background);
  const float s = w / 48;
  const Box tab{5 * s, 9 * s, 17 * s, 10 * s};
  const Box body{4 * s, 14 * s, 40 * s, 26 * s};
  canvas.Fill(tab, RoundRectSdf(tab, 3 * s), Shade(accent, -0.25f));
  canvas.Fill(body, RoundRectSdf(body, 4 * s),
              VerticalGradient(body.y, Shade(accent, 0.2f), body.Bottom(), Shade(accent, -0.15f)));
  const Box lip{4 * s, 17 * s, 40 * s, 3 * s};
  canvas.Fill(lip, RoundRectSdf(lip, 1.5f * s), Shade(accent, 0.4f), 0.6f);
}

void DrawFilePicture(Canvas& canvas, Rgb background) {
  const float w = float(canvas.Width()), h = float(canvas.Height());
  canvas.Fill({0, 0, w, h}, RoundRectSdf({-10, -10, w + 20, h + 20}, 0), background);
  const float s = w / 48;
  const std::vector<float> page = {10 * s, 4 * s,  29 * s, 4 * s,  39 * s,
                                   14 * s, 39 * s, 44 * s, 10 * s, 44 * s};
  const Rgb paper = MakeRgb(226, 232, 238);
  canvas.Fill({0, 0, w, h}, PolygonSdf(page), paper);
  canvas.Fill({0, 0, w, h}, PolygonSdf({29 * s, 4 * s, 39 * s, 14 * s, 29 * s, 14 * s}),
              MakeRgb(150, 162, 176));
  const Rgb ink = MakeRgb(120, 134, 150);
  for (float y : {22.0f, 28.0f, 34.0f})
    canvas.Fill({0, 0, w, h}, StrokeSdf({15 * s, y * s, 34 * s, y * s}, 2.2f * s), ink);
}

}  // namespace skingen
