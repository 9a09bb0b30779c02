#include "platform/linux/PosixFolderCache.h"

namespace qv {

std::string FolderCache::KeyOfParent(char letter, const std::vector<std::string>& names) {
  std::string key(1, letter);
  for (size_t i = 0; i + 1 < names.size(); ++i) {
    key += '\\';
    key += names[i];
  }
  return key;
}

const FolderCache::Folder* FolderCache::Find(const std::string& key) const {
  auto it = byKey_.find(key);
  return it == byKey_.end() ? nullptr : &it->second;
}

const FolderCache::Folder* FolderCache::Checked(const std::string& key, struct stat* st) {
  auto it = byKey_.find(key);
  if (it == byKey_.end()) return nullptr;
  const Folder& c = it->second;
  bool valid = stat(c.host.c_str(), st) == 0 && S_ISDIR(st->st_mode) && st->st_dev == c.dev &&
               st->st_ino == c.ino;
  for (size_t k = 0; valid && k < c.caseMatched.size(); ++k) {
    const Level& level = c.caseMatched[k];
    struct stat ls;
    valid = stat(level.host.c_str(), &ls) == 0 && ls.st_dev == level.dev &&
            ls.st_ino == level.ino && ls.st_ctim.tv_sec == level.ctime.tv_sec &&
            ls.st_ctim.tv_nsec == level.ctime.tv_nsec;
  }
  if (valid) return &c;
  byKey_.erase(it);
  return nullptr;
}

void FolderCache::Store(const std::string& key, Folder folder) {
  if (byKey_.size() >= 4096) byKey_.clear();
  byKey_[key] = std::move(folder);
}

}  // namespace qv
