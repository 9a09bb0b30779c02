// Text of the Linux display. SDL_ttf renders each glyph of a face once; text of scripts that
// need no shaping is then laid out from those pictures, which is several times faster than
// having the library lay out every line again. Anything else goes to SDL_ttf whole.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Display.h"

struct SDL_Surface;
typedef struct _TTF_Font TTF_Font;

namespace qv {

class FontCache;

class GlyphCache {
 public:
  explicit GlyphCache(FontCache& fonts);
  ~GlyphCache();
  GlyphCache(const GlyphCache&) = delete;
  GlyphCache& operator=(const GlyphCache&) = delete;

  // `font` comes from `fonts` and stays open as long as it: its address is its identity here.
  TextSize Measure(TTF_Font* font, const std::string& utf8);
  void Render(SDL_Surface* target, int dstX, int dstY, const std::string& utf8, TTF_Font* font,
              Color color);

 private:
  struct Glyph;
  struct Face;

  Face& FaceOf(TTF_Font* font);
  const Glyph* GlyphOf(Face& face, uint32_t codePoint);
  const Glyph* CachedGlyph(Face& face, uint32_t codePoint);
  // Width and glyphs of text laid out from cached glyphs; false where the text needs the
  // library's shaping (then both measuring and drawing use it).
  bool LayOut(Face& face, const std::string& utf8, int* width, std::vector<const Glyph*>* glyphs);

  FontCache& fonts_;
  std::unordered_map<TTF_Font*, std::unique_ptr<Face>> faces_;
  Face* lastFace_ = nullptr;  // text comes in runs of one face
  struct Measured {
    TTF_Font* font = nullptr;
    std::string text;
    TextSize size;
  };
  std::array<Measured, 4> measured_;  // the last answers of Measure
  size_t nextMeasured_ = 0;
};

}  // namespace qv
