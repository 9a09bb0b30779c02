#include "platform/common/CheckedPictures.h"

#include <utility>

namespace qv {

DecodedPixels CheckPicture(const PictureCodec& codec, PictureCheckCache* cache,
                           const std::vector<uint8_t>& data) {
  if (!cache) return CheckPixels(codec, data);
  const PictureCheckCache::Key key = PictureCheckCache::KeyOf(data);
  const bool intact = cache->Intact(key);
  DecodedPixels checked = CheckPixels(codec, data, intact);
  if (!intact && checked.result == PictureResult::Ok) {
    cache->Add(key);
    cache->Save();
  }
  return checked;
}

void CheckPictures(const PictureCodec& codec, PictureCheckCache* cache,
                   std::vector<std::vector<uint8_t>> data, unsigned threads,
                   const std::function<void(size_t, DecodedPixels, std::vector<uint8_t>)>& done) {
  std::vector<PictureCheckCache::Key> keys;
  std::vector<bool> intact;
  if (cache) {
    for (const std::vector<uint8_t>& bytes : data) {
      keys.push_back(PictureCheckCache::KeyOf(bytes));
      intact.push_back(cache->Intact(keys.back()));
    }
  }
  DecodeInOrder(
      codec, data, threads,
      [&](size_t k, DecodedPixels checked) {
        if (cache && !intact[k] && checked.result == PictureResult::Ok) cache->Add(keys[k]);
        // The worker is done with data[k]: the picture keeps it without a copy.
        done(k, std::move(checked), std::move(data[k]));
      },
      true, cache ? &intact : nullptr);
  if (cache) cache->Save();
}

DecodedPicture PictureOf(DecodedPixels checked,
                         const std::function<SurfacePtr(int, int, bool)>& make) {
  DecodedPicture picture;
  if (checked.result == PictureResult::Failed) {
    picture.error = std::move(checked.message);
    return picture;
  }
  picture.surface = make(checked.width, checked.height, checked.result == PictureResult::Ok);
  if (checked.result == PictureResult::Partial) picture.warning = std::move(checked.message);
  return picture;
}

}  // namespace qv
