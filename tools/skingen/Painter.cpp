#include "Painter.h"

#include <algorithm>
#include <cmath>

#include "Icons.h"
#include "Theme.h"

namespace skingen {

namespace {

using namespace theme;

qv::FontSpec Arial(int size, bool bold = false) {
  return {"arial", size, bold, false};
}

struct LabelStyle {
  int size;
  bool bold;
  Rgb color;
  Align align;
};

LabelStyle StyleOfLabel(const std::string& style) {
  if (style == "hero") return {40, true, kText, Align::Center};
  if (style == "hero_small") return {26, true, kText, Align::Left};
  if (style == "title") return {21, true, kText, Align::Left};
  if (style == "subtitle") return {11, false, kMuted, Align::Left};
  if (style == "subtitle_center") return {14, false, kMuted, Align::Center};
  if (style == "heading") return {15, true, kText, Align::Left};
  if (style == "tile_title") return {16, true, kText, Align::Left};
  if (style == "row_label") return {13, false, kTextSoft, Align::Left};
  if (style == "row_label_big") return {16, false, kTextSoft, Align::Left};
  if (style == "pattern") return {12, true, kAccent, Align::Left};
  if (style == "legend") return {11, false, kTextSoft, Align::Left};
  if (style == "hint") return {11, false, kMuted, Align::Left};
  if (style == "hint_center") return {11, false, kMuted, Align::Center};
  if (style == "caption_center") return {11, false, kMuted, Align::Center};
  if (style == "caption_right") return {11, false, kMuted, Align::Right};
  return {11, false, kMuted, Align::Left};  // caption
}

Align AlignOf(int layoutAlign) {
  return layoutAlign == 2 ? Align::Center : (layoutAlign == 3 ? Align::Right : Align::Left);
}

Sdf Border(const Sdf& shape, float width) {
  return [shape, width](float x, float y) {
    const float d = shape(x, y);
    return std::max(d, -d - width);
  };
}

// Fills a rounded shape with a vertical gradient and draws a 1-pixel border inside its edge.
void Plate(Canvas& c, const Box& b, float radius, Rgb top, Rgb bottom, Rgb border) {
  const Sdf shape = RoundRectSdf(b, radius);
  c.Fill(b, shape, VerticalGradient(b.y, top, b.Bottom(), bottom));
  c.Fill(b, Border(shape, 1.0f), border);
}

std::pair<std::string, std::string> SplitLabel(const std::string& label) {
  const size_t bar = label.find('|');
  if (bar == std::string::npos) return {label, ""};
  return {label.substr(0, bar), label.substr(bar + 1)};
}

}  // namespace

void Painter::PaintBackground(Canvas& c) {
  const Box all{0, 0, float(width_), float(height_)};
  c.Fill(all, RoundRectSdf({-4, -4, all.w + 8, all.h + 8}, 0),
         VerticalGradient(0, kBackgroundTop, all.h, kBackgroundBottom));
}

void Painter::PaintPanel(Canvas& c, const SkinItem& item) {
  const Box& b = item.pos;
  if (item.style == "header") {
    c.Fill(b, RoundRectSdf(b.Inset(-0.5f), 0),
           VerticalGradient(b.y, kHeaderTop, b.Bottom(), kHeaderBottom));
    const Box line{b.x, b.Bottom() - 1, b.w, 1};
    c.Fill(line, RoundRectSdf(line, 0), kCardBorder);
  } else if (item.style == "track_frame") {
    Plate(c, b, b.h / 2, kField, kField, kFieldBorder);
  } else if (item.style == "swatch_accent") {
    c.Fill(b, RoundRectSdf(b, 4), kAccent);
  } else if (item.style == "swatch_used") {
    Plate(c, b, 4, kMapUsed, kMapUsed, kFieldBorder);
  } else {
    c.Shadow(b.Offset(0, 3), 16, 14, 0.45f);
    Plate(c, b, 16, Shade(kCard, 0.02f), kCard, kCardBorder);
  }
}

void Painter::PaintLabel(Canvas& c, const SkinItem& item) {
  const LabelStyle s = StyleOfLabel(item.style);
  if (item.hasFont) {
    text_.DrawIn(c, item.pos, item.label, item.font, item.fontColor, AlignOf(item.align));
  } else {
    text_.DrawIn(c, item.pos, item.label, Arial(s.size, s.bold), s.color, s.align);
  }
}

void Painter::PaintImage(Canvas& c, const SkinItem& item) {
  const Rgb color = item.style == "muted" ? MakeRgb(58, 72, 88) : kAccent;
  DrawIcon(c, item.icon, item.pos, color, c.At(int(item.pos.Cx()), int(item.pos.Cy())));
}

// Text elements draw their text at their very edge; the field around them is wider so that the
// text keeps a margin from the frame.
void Painter::PaintField(Canvas& c, const SkinItem& item) {
  const Box& b = item.pos;
  if (item.style == "plain") return;
  if (item.type == "textbox") {
    Plate(c, {b.x - 12, b.y, b.w + 24, b.h}, 8, kField, kField, kFieldBorder);
  } else if (item.type == "listbox" || item.type == "textboxmultiline") {
    Plate(c, b.Inset(-6), 10, kField, kField, kFieldBorder);
  } else if (item.type == "drivelist") {
    const Box f{b.x - 10, b.y - 10, b.w + 20, b.h + 14};
    Plate(c, f, 10, kButtonTop, kButtonBottom, kButtonBorder);
    const float cx = b.Right() - 14, cy = b.y + 14;
    c.Fill(f, StrokeSdf({cx - 7, cy - 3.5f, cx, cy + 3.5f, cx + 7, cy - 3.5f}, 2.6f), kAccent);
  } else if (item.type == "diagramm") {
    Plate(c, b.Inset(-5), 8, kField, kField, kFieldBorder);
    c.Fill(b, RoundRectSdf(b, 0),
           VerticalGradient(b.y, Shade(kMapUsed, 0.06f), b.Bottom(), Shade(kMapUsed, -0.08f)));
  }
}

void Painter::PaintBarTrack(Canvas& c, const Box& b) {
  Plate(c, b, b.h / 2, kField, MakeRgb(15, 21, 27), kFieldBorder);
}

void Painter::PaintBarFull(Canvas& c, const Box& b) {
  const Sdf shape = RoundRectSdf(b, b.h / 2);
  c.Fill(b, shape, HorizontalGradient(b.x, kAccentDeep, b.Right(), MakeRgb(30, 150, 224)));
}

void Painter::PaintButtonShadow(Canvas& c, const SkinItem& item) {
  const float radius = item.style == "tile" ? 18 : 12;
  c.Shadow(item.pos.Offset(0, 3), radius, item.style == "tile" ? 16 : 8, 0.5f);
}

void Painter::PaintButton(Canvas& c, const SkinItem& item, State state) {
  const std::string& style = item.style;
  const bool tile = style == "tile";
  const bool primary = style == "primary";
  const bool key = style == "key" || style == "key_fn";
  const float radius = tile ? 18 : (key ? 10 : 12);
  Box b = item.pos;

  Rgb top = kButtonTop, bottom = kButtonBottom, border = kButtonBorder;
  Rgb iconColor = kAccent, textColor = kText, hintColor = kMuted;
  if (tile) {
    top = MakeRgb(32, 42, 53);
    bottom = MakeRgb(25, 33, 42);
    border = MakeRgb(44, 56, 70);
  } else if (style == "key_fn") {
    top = MakeRgb(30, 39, 49);
    bottom = MakeRgb(24, 31, 40);
    textColor = kTextSoft;
  } else if (primary) {
    top = MakeRgb(43, 170, 240);
    bottom = MakeRgb(22, 128, 206);
    border = MakeRgb(92, 196, 250);
    iconColor = textColor = kWhite;
  }
  if (state == State::Active) {
    top = primary ? MakeRgb(16, 104, 170) : MakeRgb(30, 150, 226);
    bottom = primary ? MakeRgb(12, 82, 138) : MakeRgb(16, 112, 184);
    border = MakeRgb(120, 210, 252);
    iconColor = textColor = kWhite;
    hintColor = MakeRgb(214, 238, 252);
  } else if (state == State::Disabled) {
    top = bottom = kDisabledFill;
    border = kDisabledBorder;
    iconColor = textColor = hintColor = kDisabledContent;
  }
  Plate(c, b, radius, top, bottom, border);
  if (state != State::Disabled) {
    // A thin highlight along the upper edge makes the face read as raised.
    const Box hl{b.x + radius, b.y + 1, b.w - 2 * radius, 1};
    c.Fill(hl, RoundRectSdf(hl, 0), kWhite, state == State::Active ? 0.18f : 0.07f);
  }
  if (state == State::Active) b = b.Offset(0, 1);
  const Rgb face = c.At(int(b.Cx()), int(b.Cy()));

  const auto [label, hint] = SplitLabel(item.label);
  if (tile) {
    DrawIcon(c, item.icon, {b.x + 22, b.y + 22, 52, 52}, iconColor, face);
    text_.DrawIn(c, {b.x + 22, b.Bottom() - 76, b.w - 44, 32}, label, Arial(16, true), textColor,
                 Align::Left);
    text_.DrawIn(c, {b.x + 22, b.Bottom() - 44, b.w - 44, 22}, hint, Arial(11), hintColor,
                 Align::Left);
    return;
  }
  const bool hasIcon = !item.icon.empty();
  if (label.empty()) {
    const float s = std::min(b.w, b.h) * 0.42f;
    DrawIcon(c, item.icon, {b.Cx() - s / 2, b.Cy() - s / 2, s, s}, iconColor, face);
    return;
  }
  if (!hasIcon) {
    const int size = key ? (label.size() == 1 ? 20 : 14) : 14;
    text_.DrawIn(c, b.Inset(6), label, Arial(size, !key || label.size() > 1), textColor,
                 Align::Center);
    return;
  }
  const qv::FontSpec font = Arial(key ? 13 : 14, true);
  if (style != "command" && b.w >= 1.8f * b.h) {
    // Icon and label side by side, centred together.
    const float iconSize = std::min(26.0f, b.h * 0.42f);
    int tw = 0, th = 0;
    text_.Measure(font, label, &tw, &th);
    tw = std::min<int>(tw, int(b.w - iconSize - 40));
    const float x = b.Cx() - (iconSize + 10 + tw) / 2;
    DrawIcon(c, item.icon, {x, b.Cy() - iconSize / 2, iconSize, iconSize}, iconColor, face);
    text_.DrawIn(c, {x + iconSize + 10, b.y, float(tw) + 1, b.h}, label, font, textColor,
                 Align::Left);
  } else {
    const float iconSize = std::min(24.0f, b.h * 0.36f);
    DrawIcon(c, item.icon,
             {b.Cx() - iconSize / 2, b.y + b.h * 0.5f - iconSize - 2, iconSize, iconSize},
             iconColor, face);
    text_.DrawIn(c, {b.x + 4, b.y + b.h * 0.5f + 4, b.w - 8, 20}, label, Arial(11, true), textColor,
                 Align::Center);
  }
}

ScreenPictures Painter::Paint(const SkinScreen& screen) {
  Canvas base(width_, height_);
  PaintBackground(base);
  for (const SkinItem& item : screen.items)
    if (item.type == "panel") PaintPanel(base, item);
  for (const SkinItem& item : screen.items) {
    if (item.type == "label") PaintLabel(base, item);
    if (item.type == "image") PaintImage(base, item);
    if (item.type == "textbox" || item.type == "listbox" || item.type == "textboxmultiline" ||
        item.type == "drivelist" || item.type == "diagramm")
      PaintField(base, item);
    if (item.type == "statusbar") PaintBarTrack(base, item.pos);
    if (item.type == "button") PaintButtonShadow(base, item);
  }
  ScreenPictures out{base, base, base};
  for (const SkinItem& item : screen.items) {
    if (item.type == "button") {
      PaintButton(out.enabled, item, State::Enabled);
      PaintButton(out.disabled, item, State::Disabled);
      PaintButton(out.active, item, State::Active);
    }
    if (item.type == "statusbar") PaintBarFull(out.active, item.pos);
  }
  return out;
}

}  // namespace skingen
