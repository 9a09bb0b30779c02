// Skin pictures found intact at an earlier start, known by a hash of their bytes, so that the
// next start need not decode them once more just to learn that they are fine. Only intact
// pictures are remembered: a damaged one is checked, and warned about, every time.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace qv {

class PictureCheckCache {
 public:
  using Key = std::array<uint64_t, 2>;

  // Where the list is kept between runs.
  class Store {
   public:
    virtual ~Store() = default;
    // The text last written; empty where there is none, it is larger than `maxBytes` or it
    // cannot be trusted.
    virtual std::string Read(size_t maxBytes) = 0;
    // Replaces the text; a reader sees the old text or the new one, never a mix.
    virtual bool Write(const std::string& text) = 0;
  };

  // Without a store nothing is remembered between objects. `checkIdentity` names how pictures
  // were checked (PictureCodec::CheckIdentity): a list made by another check is not trusted.
  PictureCheckCache(std::shared_ptr<Store> store, std::string checkIdentity);
  static Key KeyOf(const std::vector<uint8_t>& data);

  bool Intact(const Key& key);
  void Add(const Key& key);
  // Writes the list when something was added. A cache that cannot be written is no error.
  bool Save();

 private:
  struct KeyHash {
    size_t operator()(const Key& k) const { return static_cast<size_t>(k[0] ^ (k[1] * 31)); }
  };
  void Load();
  std::string FirstLine() const;

  std::shared_ptr<Store> store_;
  std::string checkIdentity_;
  bool loaded_ = false;
  bool changed_ = false;
  std::vector<Key> order_;  // oldest first
  std::unordered_set<Key, KeyHash> keys_;
};

}  // namespace qv
