#include "platform/posix/PictureCheckCache.h"

#define XXH_INLINE_ALL
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "platform/posix/JpegCodec.h"
#include "platform/posix/PosixFileUtil.h"

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

std::string FolderOf(const std::string& file) {
  const size_t slash = file.rfind('/');
  return slash == std::string::npos ? "" : slash == 0 ? "/" : file.substr(0, slash);
}

// Ours alone: what another user could write there, or plant there, is never trusted.
bool IsPrivateFolder(const std::string& folder) {
  struct stat st;
  return lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
         (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Made only below folders of our own: run for another user (sudo keeping HOME), nothing is
// left in that user's home that the user cannot change.
bool MakePrivateFolder(const std::string& folder, int depth = 0) {
  if (IsPrivateFolder(folder)) return true;
  struct stat st;
  if (folder.empty() || depth > 8 || lstat(folder.c_str(), &st) == 0) return false;
  return MakePrivateFolder(FolderOf(folder), depth + 1) &&
         (mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) && IsPrivateFolder(folder);
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

std::string PictureCheckCache::FirstLine() {
  return std::string(kHeader) + ", " + JpegCheckIdentity();
}

void PictureCheckCache::Load() {
  loaded_ = true;
  if (file_.empty() || !IsPrivateFolder(FolderOf(file_))) return;
  // Never a link, a pipe or a giant: whatever is there, start-up goes on.
  const int fd = open(file_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return;
  struct stat st;
  std::string text;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
      static_cast<uint64_t>(st.st_size) <= kMaxBytes) {
    text.resize(static_cast<size_t>(st.st_size));
    size_t filled = 0;
    while (filled < text.size()) {
      const ssize_t n = read(fd, text.data() + filled, text.size() - filled);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      filled += static_cast<size_t>(n);
    }
    text.resize(filled);
  }
  close(fd);
  std::istringstream in(text);
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
  if (!changed_ || file_.empty()) return !changed_;
  const std::string folder = FolderOf(file_);
  if (!MakePrivateFolder(folder)) return false;
  // Written aside under a name no one can have prepared, then renamed: a program starting
  // meanwhile reads the old list or the new one.
  std::string temporary = file_ + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  std::string text = FirstLine() + "\n";
  char line[40];
  for (const Key& key : order_) {
    std::snprintf(line, sizeof line, "%016llx%016llx\n", static_cast<unsigned long long>(key[0]),
                  static_cast<unsigned long long>(key[1]));
    text += line;
  }
  bool ok = true;
  for (size_t written = 0; ok && written < text.size();) {
    const ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) written += static_cast<size_t>(n);
  }
  ok = close(fd) == 0 && ok;
  if (!ok || std::rename(temporary.c_str(), file_.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  changed_ = false;
  return true;
}

}  // namespace qv
