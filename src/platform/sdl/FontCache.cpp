#include "platform/sdl/FontCache.h"

#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <system_error>

namespace qv {

TTF_Font* FontCache::Remember(const FontSpec& face, TTF_Font* font) {
  last_ = true;
  lastSpec_ = face;
  lastFont_ = font;
  return font;
}

void FontCache::LoadConfigInBackground() {
  if (config_ || loading_.valid()) return;
  try {
    loading_ = std::async(std::launch::async, [] { return FcInitLoadConfigAndFonts(); });
  } catch (const std::system_error&) {
    // No thread to spare: the first lookup reads the configuration itself.
  }
}

FcConfig* FontCache::Config() {
  if (!config_ && loading_.valid()) config_ = loading_.get();
  if (!config_) config_ = FcInitLoadConfigAndFonts();
  return config_;
}

FontCache::~FontCache() {
  if (loading_.valid()) {
    if (FcConfig* loaded = loading_.get()) FcConfigDestroy(loaded);
  }
  for (auto& entry : fonts_) {
    if (entry.second) TTF_CloseFont(entry.second);
  }
  if (ttfStarted_) TTF_Quit();
  if (config_) FcConfigDestroy(config_);
}

std::string FontCache::ResolveFile(const std::string& name, bool bold, bool italic,
                                   int* faceIndex) {
  // The name goes in as a family, not through the pattern parser: a layout's name must not be
  // read as size or style options ("arial-12", "x:bold").
  if (!Config()) return {};
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return {};
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(config_, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config_, pattern, &result);
  FcPatternDestroy(pattern);
  std::string file;
  if (match) {
    FcChar8* path = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path) {
      file = reinterpret_cast<const char*>(path);
    }
    int index = 0;
    if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
    if (faceIndex) *faceIndex = index;
    FcPatternDestroy(match);
  }
  return file;
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
  if (ttfStarted_) {
    int index = 0;
    std::string file = ResolveFile(face.name, face.bold, face.italic, &index);
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
