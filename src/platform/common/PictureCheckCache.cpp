#include "platform/common/PictureCheckCache.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstdio>
#include <sstream>
#include <utility>

namespace qv {
namespace {

constexpr const char* kHeader = "quorvin intact pictures 2";
// Enough for many skins; the oldest entries go first.
constexpr size_t kMaxEntries = 4096;
constexpr size_t kMaxBytes = kMaxEntries * 33 + 256;

bool ParseKey(const std::string& line, PictureCheckCache::Key* key) {
  if (line.size() != 32) return false;
  for (int half = 0; half < 2; ++half) {
    uint64_t value = 0;
    for (int i = 0; i < 16; ++i) {
      const char c = line[half * 16 + i];
      int digit;
      if (c >= '0' && c <= '9')
        digit = c - '0';
      else if (c >= 'a' && c <= 'f')
        digit = c - 'a' + 10;
      else
        return false;
      value = value << 4 | static_cast<uint64_t>(digit);
    }
    (*key)[half] = value;
  }
  return true;
}

}  // namespace

PictureCheckCache::PictureCheckCache(std::shared_ptr<Store> store, std::string checkIdentity)
    : store_(std::move(store)), checkIdentity_(std::move(checkIdentity)) {}

PictureCheckCache::Key PictureCheckCache::KeyOf(const std::vector<uint8_t>& data) {
  const XXH128_hash_t h = XXH3_128bits(data.data(), data.size());
  return {h.high64, h.low64};
}

std::string PictureCheckCache::FirstLine() const {
  return std::string(kHeader) + ", " + checkIdentity_;
}

void PictureCheckCache::Load() {
  loaded_ = true;
  if (!store_) return;
  std::istringstream in(store_->Read(kMaxBytes));
  std::string line;
  if (!std::getline(in, line) || line != FirstLine()) return;
  Key key;
  while (std::getline(in, line) && order_.size() < kMaxEntries)
    if (ParseKey(line, &key) && keys_.insert(key).second) order_.push_back(key);
}

bool PictureCheckCache::Intact(const Key& key) {
  if (!loaded_) Load();
  return keys_.count(key) > 0;
}

void PictureCheckCache::Add(const Key& key) {
  if (!loaded_) Load();
  if (!keys_.insert(key).second) return;
  order_.push_back(key);
  changed_ = true;
  if (order_.size() > kMaxEntries) {
    keys_.erase(order_.front());
    order_.erase(order_.begin());
  }
}

bool PictureCheckCache::Save() {
  if (!changed_ || !store_) return !changed_;
  std::string text = FirstLine() + "\n";
  char line[40];
  for (const Key& key : order_) {
    std::snprintf(line, sizeof line, "%016llx%016llx\n", static_cast<unsigned long long>(key[0]),
                  static_cast<unsigned long long>(key[1]));
    text += line;
  }
  if (!store_->Write(text)) return false;
  changed_ = false;
  return true;
}

}  // namespace qv
