#include "platform/linux/PosixPathResolver.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "platform/linux/PosixFileUtil.h"

namespace qv {

PathResolver::PathResolver(const DriveTable& drives, std::function<void(const std::string&)> listed)
    : drives_(drives), names_(std::move(listed)) {}

bool PathResolver::IsForeignFolder(uint64_t parentDev, uint64_t dev, uint64_t ino,
                                   const DriveMapping* own) const {
  return dev != parentDev ||
         drives_.IsOtherDriveRoot(own, static_cast<dev_t>(dev), static_cast<ino_t>(ino));
}

void PathResolver::NoteChanging(const std::string& folder) {
  names_.NoteChanging(folder);
}

void PathResolver::NoteChanging(const std::string& folder, const Resolved& seen) {
  // A stat taken before a fresh listing cannot tell whether the listing missed a change.
  if (seen.listedAnew || !seen.folderStatKnown) return names_.NoteChanging(folder);
  struct stat st {};
  st.st_dev = static_cast<dev_t>(seen.folderSeen.dev);
  st.st_ino = static_cast<ino_t>(seen.folderSeen.ino);
  st.st_ctim.tv_sec = static_cast<time_t>(seen.folderSeen.ctimeSec);
  st.st_ctim.tv_nsec = static_cast<long>(seen.folderSeen.ctimeNsec);
  names_.NoteChanging(folder, &st);
}

std::string PathResolver::Resolved::HostPrefix(size_t count) const {
  if (!drive) return "";
  count = std::min(count, names.size());
  if (count == folderDepth && !folderHost.empty()) return folderHost;
  if (count == folderDepth + 1 && !folderHost.empty())
    return JoinHost(folderHost, names[count - 1]);
  std::string host = drive->hostFolder;
  for (size_t i = 0; i < count; ++i) host = JoinHost(host, names[i]);
  return host;
}

void PathResolver::Resolved::KeepWrittenCase() {
  if (!complete() || names.empty() || names.back() == lastWritten) return;
  struct stat st;
  const std::string written = JoinHost(HostPrefix(names.size() - 1), lastWritten);
  if (lstat(written.c_str(), &st) == 0 || errno != ENOENT) return;
  names.back() = lastWritten;
  --found;
}

bool PathResolver::TakeTrusted(const FolderCache::Folder& c, Lookup lookup, Resolved* r) const {
  // Names matched without regard to case, and another drive on the same device, need the
  // checks of a walk; anything else the caller's own check covers.
  if (!c.caseMatched.empty() || drives_.SharesDevice(c.dev, r->drive)) return false;
  if (lookup != Lookup::Unchecked &&
      (lookup != Lookup::ToCreate || names_.MayHold(c.host, r->names.back())))
    return false;
  std::copy(c.names.begin(), c.names.end(), r->names.begin());
  r->found = c.names.size() + (lookup == Lookup::Unchecked ? 1 : 0);
  r->foundIsFolder = true;
  r->folderHost = c.host;
  r->folderDepth = c.names.size();
  r->trusted = true;
  r->folderDev = c.dev;
  return true;
}

PathResolver::Resolved PathResolver::Resolve(const std::string& dosPath, Lookup lookup,
                                             bool trustCache) {
  Resolved r;
  const uint64_t listingsBefore = names_.Listings();
  std::optional<DosPath> split = SplitDosPath(dosPath);
  if (!split) return r;
  const char letter = split->letter;
  r.names = std::move(split->names);
  r.trailingSeparator = split->trailingSeparator;
  r.drive = drives_.ForPath(dosPath);
  if (!r.drive) return r;
  if (!r.names.empty()) r.lastWritten = r.names.back();
  // Files are looked up one after another in the same folders: the folder's path is known
  // already when one stat still finds the same folder there.
  std::string key;
  struct stat folderStat;
  size_t start = 0;
  if (r.names.size() >= 2) {
    key = FolderCache::KeyOfParent(letter, r.names);
    const FolderCache::Folder* cached = trustCache ? folders_.Find(key) : nullptr;
    if (cached && TakeTrusted(*cached, lookup, &r)) return r;
    cached = folders_.Checked(key, &folderStat);
    if (cached) {
      std::copy(cached->names.begin(), cached->names.end(), r.names.begin());
      r.folderHost = cached->host;
      start = r.found = cached->names.size();
    }
  }
  if (start == 0) {
    r.folderHost = r.drive->hostFolder;
    if (stat(r.folderHost.c_str(), &folderStat) != 0 || !S_ISDIR(folderStat.st_mode)) {
      r.folderHost.clear();
      return r;
    }
  }
  r.foundIsFolder = true;
  r.folderDepth = start;
  Walk(&r, lookup, key, start, folderStat);
  r.listedAnew = names_.Listings() != listingsBefore;
  return r;
}

void PathResolver::Walk(Resolved* rp, Lookup lookup, const std::string& key, size_t start,
                        struct stat folderStat) {
  Resolved& r = *rp;
  std::string folder = r.folderHost;
  std::vector<FolderCache::Level> caseMatched;
  for (size_t i = start; i < r.names.size(); ++i) {
    std::string name = r.names[i];
    const bool last = i + 1 == r.names.size();
    // The copy engine asks for name after name in one folder: one listing answers them all.
    if (lookup == Lookup::Existence && start > 0 && last) {
      const FolderNameIndex::Index* index = names_.Of(folder, folderStat);
      if (index && index->settled) {
        const FolderNameIndex::Name* found = index->Find(name);
        if (!found) break;
        // A folder may be another drive's: the path below decides.
        if (!found->mayBeFolder) {
          r.names[i] = found->name;
          r.found = i + 1;
          break;
        }
      }
    }
    if (last) {
      // A name that a settled listing of the folder lacks in every case is missing: the copy
      // engine's lookups of target files in a complete backup end here.
      const FolderNameIndex::Index* index =
          names_.Of(folder, folderStat, lookup == Lookup::ToCreate);
      if (index && (index->settled || lookup == Lookup::ToCreate) && !index->Find(name)) break;
      if (lookup == Lookup::Unchecked) {
        r.found = i + 1;
        break;
      }
    }
    std::string path = JoinHost(folder, name);
    struct stat st;
    bool exists = lstat(path.c_str(), &st) == 0;
    if (!exists && names_.FindByCase(folder, folderStat, r.names[i], &name)) {
      path = JoinHost(folder, name);
      exists = lstat(path.c_str(), &st) == 0;
      caseMatched.push_back({folder, folderStat.st_dev, folderStat.st_ino, folderStat.st_ctim});
    }
    // A folder of another drive counts as missing here: it is not part of this drive.
    if (!exists ||
        (S_ISDIR(st.st_mode) && IsForeignFolder(folderStat.st_dev, st.st_dev, st.st_ino, r.drive)))
      break;
    r.names[i] = name;
    r.found = i + 1;
    if (last) break;
    // What lstat saw of a folder is what stat would see; only a link needs following.
    if (S_ISDIR(st.st_mode)) {
      folderStat = st;
    } else if (!S_ISLNK(st.st_mode) || stat(path.c_str(), &folderStat) != 0 ||
               !S_ISDIR(folderStat.st_mode)) {
      r.foundIsFolder = false;
      break;
    }
    folder = path;
    r.folderHost = folder;
    r.folderDepth = i + 1;
    if (i + 2 == r.names.size() && start == 0)
      folders_.Store(key, {std::vector<std::string>(r.names.begin(), r.names.begin() + i + 1),
                           folder, folderStat.st_dev, folderStat.st_ino, std::move(caseMatched)});
  }
  r.folderSeen = {static_cast<uint64_t>(folderStat.st_dev),
                  static_cast<uint64_t>(folderStat.st_ino),
                  static_cast<int64_t>(folderStat.st_ctim.tv_sec),
                  static_cast<int64_t>(folderStat.st_ctim.tv_nsec)};
  r.folderStatKnown = r.foundIsFolder;
}

}  // namespace qv
