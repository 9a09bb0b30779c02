// Text on a Canvas through the program's own font path (fontconfig + SDL_ttf at 96 dpi).
#pragma once

#include <memory>
#include <string>

#include "Canvas.h"
#include "platform/Display.h"
#include "platform/linux/FontconfigLookup.h"
#include "platform/sdl/FontCache.h"

namespace skingen {

enum class Align { Left, Center, Right };

class TextPainter {
 public:
  // False when no font could be opened for the request.
  bool Measure(const qv::FontSpec& font, const std::string& utf8, int* w, int* h);
  void Draw(Canvas& canvas, int x, int y, const std::string& utf8, const qv::FontSpec& font,
            Rgb color);
  // Draws one line placed in the box by `align` and centred vertically. A text wider than the
  // box is drawn with a smaller size until it fits (down to 6 points). Returns the width used.
  int DrawIn(Canvas& canvas, const Box& box, const std::string& utf8, qv::FontSpec font, Rgb color,
             Align align);

 private:
  qv::FontCache fonts_{std::make_shared<qv::FontconfigLookup>()};
};

}  // namespace skingen
