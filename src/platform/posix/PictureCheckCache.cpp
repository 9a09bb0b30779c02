#include "platform/posix/PictureCheckCache.h"

#define XXH_INLINE_ALL
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/posix/PosixFileUtil.h"

namespace qv {
namespace {

// A new first line makes every older file count as empty.
constexpr const char* kHeader = "quorvin intact pictures 1";
// Enough for many skins; the oldest entries go first.
constexpr size_t kMaxEntries = 4096;

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

bool MakeFolders(const std::string& folder) {
  if (folder.empty()) return false;
  struct stat st;
  if (stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const size_t slash = folder.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash)))
    return false;
  return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

PictureCheckCache::PictureCheckCache(std::string file) : file_(std::move(file)) {}

std::string PictureCheckCache::DefaultFile() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  std::string folder;
  if (cache && cache[0] == '/') {
    folder = cache;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return "";
    folder = JoinHost(home, ".cache");
  }
  return JoinHost(JoinHost(folder, "quorvin"), "intact-pictures");
}

PictureCheckCache::Key PictureCheckCache::KeyOf(const std::vector<uint8_t>& data) {
  const XXH128_hash_t h = XXH3_128bits(data.data(), data.size());
  return {h.high64, h.low64};
}

void PictureCheckCache::Load() {
  loaded_ = true;
  if (file_.empty()) return;
  std::ifstream in(file_);
  std::string line;
  if (!in || !std::getline(in, line) || line != kHeader) return;
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
  if (!changed_ || file_.empty()) return !changed_;
  const size_t slash = file_.rfind('/');
  if (slash == std::string::npos || !MakeFolders(file_.substr(0, slash))) return false;
  // Written aside and renamed: a program starting meanwhile reads the old file or the new one.
  const std::string temporary = file_ + ".new" + std::to_string(getpid());
  FILE* out = std::fopen(temporary.c_str(), "w");
  if (!out) return false;
  bool ok = std::fprintf(out, "%s\n", kHeader) > 0;
  for (const Key& key : order_)
    ok = ok && std::fprintf(out, "%016llx%016llx\n", static_cast<unsigned long long>(key[0]),
                            static_cast<unsigned long long>(key[1])) > 0;
  ok = std::fclose(out) == 0 && ok;
  if (!ok || std::rename(temporary.c_str(), file_.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  changed_ = false;
  return true;
}

}  // namespace qv
