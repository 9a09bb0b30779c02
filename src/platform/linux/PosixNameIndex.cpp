#include "platform/linux/PosixNameIndex.h"

#include <dirent.h>
#include <glib.h>

#include <cstring>

#include "platform/linux/PosixFileUtil.h"

namespace qv {
namespace {

std::string ParentOf(const std::string& hostPath) {
  const size_t slash = hostPath.rfind('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : hostPath.substr(0, slash);
}

bool NoLaterThan(const timespec& a, const timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec <= b.tv_nsec);
}

}  // namespace

std::string FoldCase(const std::string& name) {
  std::string out = name;
  bool ascii = true;
  for (char& c : out) {
    ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    c = AsciiLower(c);
  }
  if (ascii || !g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr)) return out;
  gchar* folded = g_utf8_casefold(name.data(), static_cast<gssize>(name.size()));
  out = folded;
  g_free(folded);
  return out;
}

const FolderNameIndex::Name* FolderNameIndex::Index::Find(const std::string& name) const {
  auto it = byFolded.find(FoldCase(name));
  return it == byFolded.end() ? nullptr : &it->second;
}

const FolderNameIndex::Index* FolderNameIndex::Of(const std::string& folder, const struct stat& st,
                                                  bool list) {
  auto it = byFolder_.find(folder);
  if (it != byFolder_.end() && it->second.dev == st.st_dev && it->second.ino == st.st_ino) {
    Index& index = it->second;
    if (index.ctime.tv_sec == st.st_ctim.tv_sec && index.ctime.tv_nsec == st.st_ctim.tv_nsec)
      return &index;
    if (index.ownChange && NoLaterThan(st.st_ctim, index.ownChangeBy)) {
      index.ctime = st.st_ctim;
      index.ownChange = false;
      return &index;
    }
  }
  if (!list) return nullptr;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  DIR* dir = opendir(folder.c_str());
  if (!dir) return nullptr;
  if (byFolder_.size() >= 64) byFolder_.clear();
  Index index{st.st_dev, st.st_ino, st.st_ctim, st.st_ctim.tv_sec + 3 <= now.tv_sec, {}};
  while (dirent* e = readdir(dir)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    index.byFolded.emplace(FoldCase(e->d_name),
                           Name{e->d_name, e->d_type == DT_DIR || e->d_type == DT_UNKNOWN});
  }
  closedir(dir);
  ++listings_;
  if (listed_) listed_(folder);
  return &(byFolder_.insert_or_assign(folder, std::move(index)).first->second);
}

bool FolderNameIndex::FindByCase(const std::string& folder, const struct stat& st,
                                 const std::string& name, std::string* match) {
  const Index* index = Of(folder, st);
  const Name* found = index ? index->Find(name) : nullptr;
  if (!found) return false;
  *match = found->name;
  return true;
}

void FolderNameIndex::NoteChanging(const std::string& folder, const struct stat* taken) {
  auto it = byFolder_.find(folder);
  if (it == byFolder_.end()) return;
  struct stat st;
  if (taken) st = *taken;
  if ((!taken && stat(folder.c_str(), &st) != 0) || !Of(folder, st, false)) {
    byFolder_.erase(folder);
    return;
  }
  it->second.changing = true;
}

void FolderNameIndex::NoteCreated(const std::string& hostPath) {
  auto it = byFolder_.find(ParentOf(hostPath));
  if (it == byFolder_.end()) return;
  if (!it->second.changing) {
    byFolder_.erase(it);
    return;
  }
  Index& index = it->second;
  const std::string name = hostPath.substr(hostPath.rfind('/') + 1);
  index.changing = false;
  index.byFolded.emplace(FoldCase(name), Name{name, true});
  index.settled = false;  // others may change it in the same tick as ours
  index.ownChange = true;
  clock_gettime(CLOCK_REALTIME, &index.ownChangeBy);
}

void FolderNameIndex::NoteRemoved(const std::string& hostPath) {
  byFolder_.erase(ParentOf(hostPath));
}

bool FolderNameIndex::MayHold(const std::string& folder, const std::string& name) const {
  auto it = byFolder_.find(folder);
  return it == byFolder_.end() || it->second.byFolded.count(FoldCase(name)) > 0;
}

}  // namespace qv
