#include "platform/sdl/GlyphCache.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>

#include "platform/common/Utf8.h"
#include "platform/sdl/FontCache.h"

namespace qv {
namespace {

// Letters of scripts that need no shaping: one glyph per code point, left to right.
bool PlainCodePoint(uint32_t cp) {
  return (cp >= 0x20 && cp < 0x7F) || (cp >= 0xA0 && cp < 0x300 && cp != 0xAD) ||
         (cp >= 0x370 && cp < 0x530) || (cp >= 0x2010 && cp < 0x2028) ||
         (cp >= 0x2030 && cp < 0x205F) || (cp >= 0x20A0 && cp < 0x20C0);
}

SDL_Color ToSdlColor(Color c) {
  return SDL_Color{uint8_t(c & 0xFF), uint8_t((c >> 8) & 0xFF), uint8_t((c >> 16) & 0xFF), 255};
}

}  // namespace

struct GlyphCache::Glyph {
  int minx = 0;     // left edge of the ink from the pen position
  int maxx = 0;     // right edge of the ink
  int advance = 0;  // whole pixels: the fonts are hinted
  int imageWidth = 0;
  std::vector<uint8_t> coverage;  // imageWidth x face height; column 0 is min(0, minx)
};

struct GlyphCache::Face {
  TTF_Font* font = nullptr;
  int height = 0;
  bool plain = false;  // no synthetic style: a glyph drawn alone is drawn as in a line
  std::unordered_map<uint32_t, std::unique_ptr<Glyph>> glyphs;  // null: needs the library
  // The same for ASCII, looked up without hashing: paths and figures are mostly ASCII.
  std::array<const Glyph*, 128> ascii{};
  std::array<bool, 128> asciiKnown{};
};

GlyphCache::Face& GlyphCache::FaceOf(TTF_Font* font) {
  if (lastFace_ && lastFace_->font == font) return *lastFace_;
  std::unique_ptr<Face>& face = faces_[font];
  if (!face) {
    face = std::make_unique<Face>();
    face->font = font;
    face->height = TTF_FontHeight(font);
    face->plain = !fonts_.HasSyntheticStyle(font) && TTF_GetFontOutline(font) == 0;
  }
  lastFace_ = face.get();
  return *face;
}

const GlyphCache::Glyph* GlyphCache::GlyphOf(Face& face, uint32_t codePoint) {
  if (codePoint < face.ascii.size()) {
    if (!face.asciiKnown[codePoint]) {
      face.asciiKnown[codePoint] = true;
      face.ascii[codePoint] = CachedGlyph(face, codePoint);
    }
    return face.ascii[codePoint];
  }
  return CachedGlyph(face, codePoint);
}

const GlyphCache::Glyph* GlyphCache::CachedGlyph(Face& face, uint32_t codePoint) {
  auto found = face.glyphs.find(codePoint);
  if (found != face.glyphs.end()) return found->second.get();
  std::unique_ptr<Glyph>& slot = face.glyphs[codePoint];
  TTF_Font* font = face.font;
  if (!face.plain || !PlainCodePoint(codePoint) || !TTF_GlyphIsProvided32(font, codePoint))
    return nullptr;
  auto glyph = std::make_unique<Glyph>();
  int miny = 0, maxy = 0;
  if (TTF_GlyphMetrics32(font, codePoint, &glyph->minx, &glyph->maxx, &miny, &maxy,
                         &glyph->advance) != 0)
    return nullptr;
  SDL_Surface* image = TTF_RenderGlyph32_Blended(font, codePoint, SDL_Color{255, 255, 255, 255});
  if (!image) return nullptr;
  // A glyph that reaches beyond the line's height or box makes the library grow the line; such
  // text stays with the library.
  const int width = std::max(glyph->maxx, glyph->advance) - std::min(0, glyph->minx);
  bool fits = image->format->format == SDL_PIXELFORMAT_ARGB8888 && image->h == face.height &&
              image->w == width && SDL_LockSurface(image) == 0;
  if (fits) {
    glyph->imageWidth = width;
    glyph->coverage.resize(size_t(width) * face.height);
    for (int y = 0; y < face.height; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(
          static_cast<const uint8_t*>(image->pixels) + size_t(y) * image->pitch);
      for (int x = 0; x < width; ++x)
        glyph->coverage[size_t(y) * width + x] = uint8_t(row[x] >> 24);
    }
    SDL_UnlockSurface(image);
  }
  SDL_FreeSurface(image);
  if (!fits) return nullptr;
  slot = std::move(glyph);
  return slot.get();
}

bool GlyphCache::LayOut(Face& face, const std::string& utf8, int* width,
                        std::vector<const Glyph*>* glyphs) {
  static thread_local std::vector<uint32_t> codePoints;
  if (!face.plain) return false;
  if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return (c & 0x80) == 0; })) {
    codePoints.assign(utf8.begin(), utf8.end());
  } else if (!DecodeUtf8(utf8, &codePoints)) {
    return false;
  }
  glyphs->clear();
  int pen = 0, left = 0, right = 0;
  for (uint32_t cp : codePoints) {
    const Glyph* g = GlyphOf(face, cp);
    if (!g) return false;
    left = std::min(left, pen + g->minx);
    right = std::max(right, pen + g->maxx);
    pen += g->advance;
    right = std::max(right, pen);
    glyphs->push_back(g);
  }
  *width = right - left;
  return true;
}

GlyphCache::GlyphCache(FontCache& fonts) : fonts_(fonts) {}
GlyphCache::~GlyphCache() = default;

TextSize GlyphCache::Measure(TTF_Font* f, const std::string& utf8) {
  TextSize size;
  if (utf8.empty()) {
    size.h = TTF_FontHeight(f);
    return size;
  }
  // A text box measures its text to shorten it, to place it and to draw it: the same question
  // several times in a row.
  for (const Measured& m : measured_)
    if (m.font == f && m.text == utf8) return m.size;
  Face& face = FaceOf(f);
  static thread_local std::vector<const Glyph*> glyphs;
  if (LayOut(face, utf8, &size.w, &glyphs)) {
    size.h = face.height;
  } else if (TTF_SizeUTF8(f, utf8.c_str(), &size.w, &size.h) != 0) {
    size = TextSize{};
  }
  Measured& slot = measured_[nextMeasured_++ % measured_.size()];
  slot.font = f;
  slot.text = utf8;
  slot.size = size;
  return size;
}

void GlyphCache::Render(SDL_Surface* target, int dstX, int dstY, const std::string& utf8,
                        TTF_Font* font, Color color) {
  Face& face = FaceOf(font);
  static thread_local std::vector<const Glyph*> glyphs;
  int width = 0;
  SDL_Surface* line = nullptr;
  if (LayOut(face, utf8, &width, &glyphs)) {
    // The glyphs' own pictures, side by side; where two overlap the stronger ink wins.
    line = SDL_CreateRGBSurfaceWithFormat(0, width, face.height, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!line) return;
    const uint32_t rgb = uint32_t(color & 0xFF) << 16 | (color & 0xFF00) | ((color >> 16) & 0xFF);
    int pen = 0, left = 0;
    for (const Glyph* g : glyphs) {
      left = std::min(left, pen + g->minx);
      pen += g->advance;
    }
    pen = 0;
    for (const Glyph* g : glyphs) {
      const int x0 = pen + std::min(0, g->minx) - left;
      for (int y = 0; y < face.height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(line->pixels) +
                                                size_t(y) * line->pitch);
        const uint8_t* cover = g->coverage.data() + size_t(y) * g->imageWidth;
        for (int x = 0; x < g->imageWidth; ++x) {
          const uint32_t a = cover[x];
          if (a > (row[x0 + x] >> 24)) row[x0 + x] = a << 24 | rgb;
        }
      }
      pen += g->advance;
    }
  } else {
    line = TTF_RenderUTF8_Blended(font, utf8.c_str(), ToSdlColor(color));
    if (!line) return;
  }
  SDL_SetSurfaceBlendMode(line, SDL_BLENDMODE_BLEND);
  SDL_Rect dr{dstX, dstY, line->w, line->h};
  SDL_BlitSurface(line, nullptr, target, &dr);
  SDL_FreeSurface(line);
}

}  // namespace qv
