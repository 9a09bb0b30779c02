#include "TextPainter.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <cmath>
#include <vector>

namespace skingen {

bool TextPainter::Measure(const qv::FontSpec& font, const std::string& utf8, int* w, int* h) {
  TTF_Font* f = fonts_.Get(font);
  if (!f) return false;
  if (utf8.empty()) {
    *w = 0;
    *h = TTF_FontHeight(f);
    return true;
  }
  return TTF_SizeUTF8(f, utf8.c_str(), w, h) == 0;
}

void TextPainter::Draw(Canvas& canvas, int x, int y, const std::string& utf8,
                       const qv::FontSpec& font, Rgb color) {
  TTF_Font* f = fonts_.Get(font);
  if (!f || utf8.empty()) return;
  SDL_Surface* s = TTF_RenderUTF8_Blended(f, utf8.c_str(), SDL_Color{255, 255, 255, 255});
  if (!s) return;
  SDL_Surface* argb = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(s);
  if (!argb) return;
  std::vector<uint8_t> mask(size_t(argb->w) * argb->h);
  for (int j = 0; j < argb->h; ++j) {
    const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(argb->pixels) +
                                                        size_t(j) * argb->pitch);
    for (int i = 0; i < argb->w; ++i) mask[size_t(j) * argb->w + i] = uint8_t(row[i] >> 24);
  }
  canvas.BlendMask(x, y, argb->w, argb->h, mask.data(), argb->w, color);
  SDL_FreeSurface(argb);
}

int TextPainter::DrawIn(Canvas& canvas, const Box& box, const std::string& utf8, qv::FontSpec font,
                        Rgb color, Align align) {
  int w = 0, h = 0;
  while (Measure(font, utf8, &w, &h) && w > box.w && font.size > 6) --font.size;
  float x = box.x;
  if (align == Align::Center) x = box.x + (box.w - w) / 2;
  if (align == Align::Right) x = box.Right() - w;
  const float y = box.y + (box.h - h) / 2;
  Draw(canvas, int(std::lround(x)), int(std::lround(y)), utf8, font, color);
  return w;
}

}  // namespace skingen
