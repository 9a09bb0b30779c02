#include "platform/linux/PictureCheckFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/JpegCodec.h"
#include "platform/linux/PosixFileUtil.h"
#include "platform/linux/UniqueFd.h"

namespace qv {

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
  // A program starting meanwhile reads the old list or the new one.
  return !file_.empty() && MakePrivateFolder(FolderOf(file_)) &&
         WriteFileAside(file_, text, Publish::Replace).ok();
}

std::shared_ptr<PictureCheckCache::Store> PictureCheckStoreIn(const std::string& file) {
  if (file.empty()) return nullptr;
  return std::make_shared<PictureCheckFile>(file);
}

PictureCheckCache PictureCheckCacheIn(const std::string& file) {
  return PictureCheckCache(PictureCheckStoreIn(file), JpegCheckIdentity());
}

}  // namespace qv
