// Layout face names resolved through fontconfig and opened with SDL_ttf at 96 dpi.
#pragma once

#include <future>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "platform/Display.h"

typedef struct _TTF_Font TTF_Font;
typedef struct _FcConfig FcConfig;

namespace qv {

class FontCache {
 public:
  FontCache() = default;
  ~FontCache();
  FontCache(const FontCache&) = delete;
  FontCache& operator=(const FontCache&) = delete;

  // Starts reading fontconfig's configuration on a thread of its own, so that it is ready by
  // the time the first text is measured; without it the first lookup reads it.
  void LoadConfigInBackground();

  // The font file fontconfig chooses for a face name ("arial"); empty when there is no font
  // on the machine at all. Fontconfig answers with a similar face when the name is unknown.
  std::string ResolveFile(const std::string& name, bool bold, bool italic,
                          int* faceIndex = nullptr);

  // An open font for the face, size and style, or null (size <= 0, no usable font). Kept until
  // destruction.
  TTF_Font* Get(const FontSpec& face);

  // True when bold or italic is made up by SDL_ttf for a font from Get (the machine has no such
  // face). TTF_GetFontStyle cannot tell: it reports a real bold face as bold too.
  bool HasSyntheticStyle(TTF_Font* font) const { return synthetic_.count(font) > 0; }

 private:
  // Our own configuration rather than fontconfig's global one, which is never freed.
  FcConfig* config_ = nullptr;
  std::future<FcConfig*> loading_;
  FcConfig* Config();
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
