// Paints the three state pictures of one screen from its layout source.
#pragma once

#include <string>

#include "Canvas.h"
#include "Layout.h"
#include "TextPainter.h"

namespace skingen {

struct ScreenPictures {
  Canvas enabled;
  Canvas disabled;
  Canvas active;
};

class Painter {
 public:
  Painter(TextPainter& text, int width, int height) : text_(text), width_(width), height_(height) {}

  ScreenPictures Paint(const SkinScreen& screen);

 private:
  enum class State { Enabled, Disabled, Active };

  void PaintBackground(Canvas& c);
  void PaintPanel(Canvas& c, const SkinItem& item);
  void PaintLabel(Canvas& c, const SkinItem& item);
  void PaintImage(Canvas& c, const SkinItem& item);
  void PaintField(Canvas& c, const SkinItem& item);
  void PaintBarTrack(Canvas& c, const Box& b);
  void PaintBarFull(Canvas& c, const Box& b);
  void PaintButtonShadow(Canvas& c, const SkinItem& item);
  void PaintButton(Canvas& c, const SkinItem& item, State state);

  TextPainter& text_;
  int width_;
  int height_;
};

}  // namespace skingen
