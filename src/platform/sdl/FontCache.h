// Layout face names resolved through the system's font lookup and opened with SDL_ttf at 96 dpi.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <utility>

#include "platform/Display.h"
#include "platform/common/FontLookup.h"

typedef struct _TTF_Font TTF_Font;

namespace qv {

class FontCache {
 public:
  // Without a lookup no font is found.
  explicit FontCache(std::shared_ptr<FontLookup> lookup) : lookup_(std::move(lookup)) {}
  ~FontCache();
  FontCache(const FontCache&) = delete;
  FontCache& operator=(const FontCache&) = delete;

  // An open font for the face, size and style, or null (size <= 0, no usable font). Kept until
  // destruction.
  TTF_Font* Get(const FontSpec& face);

  // True when bold or italic is made up by SDL_ttf for a font from Get (the machine has no such
  // face). TTF_GetFontStyle cannot tell: it reports a real bold face as bold too.
  bool HasSyntheticStyle(TTF_Font* font) const { return synthetic_.count(font) > 0; }

 private:
  std::shared_ptr<FontLookup> lookup_;
  bool ttfStarted_ = false;
  std::map<std::tuple<std::string, int, bool, bool>, TTF_Font*> fonts_;
  std::set<TTF_Font*> synthetic_;
  // Text is measured and drawn in runs of one face: the last answer saves the map's lookup.
  TTF_Font* Remember(const FontSpec& face, TTF_Font* font);
  bool last_ = false;
  FontSpec lastSpec_;
  TTF_Font* lastFont_ = nullptr;
};

}  // namespace qv
