#include "platform/sdl/FontCache.h"

#include <SDL_ttf.h>

namespace qv {

TTF_Font* FontCache::Remember(const FontSpec& face, TTF_Font* font) {
  last_ = true;
  lastSpec_ = face;
  lastFont_ = font;
  return font;
}

FontCache::~FontCache() {
  for (auto& entry : fonts_) {
    if (entry.second) TTF_CloseFont(entry.second);
  }
  if (ttfStarted_) TTF_Quit();
}

TTF_Font* FontCache::Get(const FontSpec& face) {
  if (face.size <= 0) return nullptr;
  if (last_ && face.size == lastSpec_.size && face.bold == lastSpec_.bold &&
      face.italic == lastSpec_.italic && face.name == lastSpec_.name)
    return lastFont_;
  auto key = std::make_tuple(face.name, face.size, face.bold, face.italic);
  auto found = fonts_.find(key);
  if (found != fonts_.end()) return Remember(face, found->second);

  TTF_Font* font = nullptr;
  if (!ttfStarted_) ttfStarted_ = TTF_Init() == 0;
  if (ttfStarted_ && lookup_) {
    int index = 0;
    std::string file = lookup_->Find(face.name, face.bold, face.italic, &index);
    if (!file.empty()) {
      font = TTF_OpenFontIndexDPI(file.c_str(), face.size, index, 96, 96);
    }
    if (font) {
      // Where the machine has no real bold or italic face, SDL_ttf's synthetic style stands in.
      int style = TTF_STYLE_NORMAL;
      std::string faceStyle = TTF_FontFaceStyleName(font) ? TTF_FontFaceStyleName(font) : "";
      auto has = [&](const char* word) { return faceStyle.find(word) != std::string::npos; };
      if (face.bold && !has("Bold") && !has("Black") && !has("Heavy") && !has("Semibold")) {
        style |= TTF_STYLE_BOLD;
      }
      if (face.italic && !has("Italic") && !has("Oblique")) style |= TTF_STYLE_ITALIC;
      TTF_SetFontStyle(font, style);
      if (style != TTF_STYLE_NORMAL) synthetic_.insert(font);
    }
  }
  fonts_[key] = font;  // failures too, so that a missing font is looked up once
  return Remember(face, font);
}

}  // namespace qv
