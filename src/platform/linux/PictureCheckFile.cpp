#include "platform/linux/PictureCheckFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/linux/JpegCodec.h"
#include "platform/linux/PosixFileUtil.h"
#include "platform/linux/UniqueFd.h"

namespace qv {
namespace {

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

std::string PictureCheckFile::DefaultFile() {
  const std::string folder = XdgFolder("XDG_CACHE_HOME", ".cache");
  return folder.empty() ? "" : JoinHost(JoinHost(folder, "quorvin"), "intact-pictures");
}

std::string PictureCheckFile::Read(size_t maxBytes) {
  if (file_.empty() || !IsPrivateFolder(FolderOf(file_))) return "";
  // Never a link, a pipe or a giant: whatever is there, start-up goes on.
  UniqueFd fd(open(file_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (!fd) return "";
  struct stat st;
  std::string text;
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() ||
      static_cast<uint64_t>(st.st_size) > maxBytes)
    return "";
  text.resize(static_cast<size_t>(st.st_size));
  size_t filled = 0;
  while (filled < text.size()) {
    const ssize_t n = read(fd.get(), text.data() + filled, text.size() - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    filled += static_cast<size_t>(n);
  }
  text.resize(filled);
  return text;
}

bool PictureCheckFile::Write(const std::string& text) {
  if (file_.empty() || !MakePrivateFolder(FolderOf(file_))) return false;
  // Written aside under a name no one can have prepared, then renamed: a program starting
  // meanwhile reads the old list or the new one.
  std::string temporary = file_ + ".XXXXXX";
  UniqueFd fd(mkstemp(temporary.data()));
  if (!fd) return false;
  bool ok = true;
  for (size_t written = 0; ok && written < text.size();) {
    const ssize_t n = write(fd.get(), text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) written += static_cast<size_t>(n);
  }
  ok = fd.Close() && ok;
  if (!ok || std::rename(temporary.c_str(), file_.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

std::shared_ptr<PictureCheckCache::Store> PictureCheckStoreIn(const std::string& file) {
  if (file.empty()) return nullptr;
  return std::make_shared<PictureCheckFile>(file);
}

PictureCheckCache PictureCheckCacheIn(const std::string& file) {
  return PictureCheckCache(PictureCheckStoreIn(file), JpegCheckIdentity());
}

}  // namespace qv
