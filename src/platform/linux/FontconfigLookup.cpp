#include "platform/linux/FontconfigLookup.h"

#include <fontconfig/fontconfig.h>

#include <system_error>

namespace qv {

void FontconfigLookup::LoadConfigInBackground() {
  if (config_ || loading_.valid()) return;
  try {
    loading_ = std::async(std::launch::async, [] { return FcInitLoadConfigAndFonts(); });
  } catch (const std::system_error&) {
    // No thread to spare: the first lookup reads the configuration itself.
  }
}

FcConfig* FontconfigLookup::Config() {
  if (!config_ && loading_.valid()) config_ = loading_.get();
  if (!config_) config_ = FcInitLoadConfigAndFonts();
  return config_;
}

FontconfigLookup::~FontconfigLookup() {
  if (loading_.valid()) {
    if (FcConfig* loaded = loading_.get()) FcConfigDestroy(loaded);
  }
  if (config_) FcConfigDestroy(config_);
}

std::string FontconfigLookup::Find(const std::string& name, bool bold, bool italic,
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

}  // namespace qv
