// The picture check cache kept in a file in a folder of this user's alone.
#pragma once

#include <memory>
#include <string>

#include "platform/common/PictureCheckCache.h"

namespace qv {

class PictureCheckFile : public PictureCheckCache::Store {
 public:
  // The folder is made when missing, below folders of this user's only.
  explicit PictureCheckFile(std::string file) : file_(std::move(file)) {}
  // $XDG_CACHE_HOME/quorvin/intact-pictures, or below ~/.cache; empty without either.
  static std::string DefaultFile();

  std::string Read(size_t maxBytes) override;
  bool Write(const std::string& text) override;

 private:
  std::string file_;
};

// A store in `file`; null for an empty name.
std::shared_ptr<PictureCheckCache::Store> PictureCheckStoreIn(const std::string& file);
// A cache of JPEG pictures (JpegPictureCodec) kept in `file`; with an empty name nothing is
// remembered between objects.
PictureCheckCache PictureCheckCacheIn(const std::string& file);

}  // namespace qv
