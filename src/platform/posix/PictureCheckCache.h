// Skin pictures found intact at an earlier start, known by a hash of their bytes, so that the
// next start need not decode them once more just to learn that they are fine. Only intact
// pictures are remembered: a damaged one is checked, and warned about, every time.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace qv {

class PictureCheckCache {
 public:
  using Key = std::array<uint64_t, 2>;

  // Kept in `file`, in a folder of this user's alone (made when missing, below one); empty:
  // nothing is remembered between objects.
  explicit PictureCheckCache(std::string file);
  // $XDG_CACHE_HOME/quorvin/intact-pictures, or below ~/.cache; empty without either.
  static std::string DefaultFile();
  static Key KeyOf(const std::vector<uint8_t>& data);

  bool Intact(const Key& key);
  void Add(const Key& key);
  // Writes the file when something was added. A cache that cannot be written is no error.
  bool Save();

 private:
  struct KeyHash {
    size_t operator()(const Key& k) const { return static_cast<size_t>(k[0] ^ (k[1] * 31)); }
  };
  void Load();
  static std::string FirstLine();

  std::string file_;
  bool loaded_ = false;
  bool changed_ = false;
  std::vector<Key> order_;  // oldest first
  std::unordered_set<Key, KeyHash> keys_;
};

}  // namespace qv
