#include "platform/linux/DriveTable.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "platform/linux/PosixFileUtil.h"

namespace qv {
namespace {

bool IsBlockDevice(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
}

std::string ReadLine(const std::string& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

std::string CanonicalHostPath(const std::string& given) {
  std::string path = given;
  if (path.empty() || path[0] != '/') {
    char* cwd = getcwd(nullptr, 0);
    path = std::string(cwd ? cwd : "/") + "/" + path;
    free(cwd);
  }
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && path[i] == '/') ++i;
    size_t end = path.find('/', i);
    if (end == std::string::npos) end = path.size();
    std::string name = path.substr(i, end - i);
    if (name == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!name.empty() && name != ".") {
      parts.push_back(name);
    }
    i = end;
  }
  for (size_t keep = parts.size() + 1; keep-- > 0;) {
    std::string prefix = "/";
    for (size_t k = 0; k < keep; ++k) prefix = JoinHost(prefix, parts[k]);
    char* real = realpath(prefix.c_str(), nullptr);
    if (!real) continue;
    std::string out = real;
    free(real);
    for (size_t k = keep; k < parts.size(); ++k) out = JoinHost(out, parts[k]);
    return out;
  }
  return "/";
}

DriveTable::DriveTable(std::vector<DriveMapping> drives)
    : drives_(OneMappingPerLetter(std::move(drives))) {
  for (DriveMapping& d : drives_) {
    d.hostFolder = CanonicalHostPath(d.hostFolder);
    struct stat st;
    if (stat(d.hostFolder.c_str(), &st) == 0)
      rootIds_.push_back({st.st_dev, st.st_ino});
    else
      rootIds_.push_back({0, 0});
  }
}

std::vector<DriveMapping> DriveTable::FromMounts() {
  std::vector<MountEntry> mounts = ReadMountInfo();
  // The root is always C:, whatever its source (an overlay in a container has no device).
  std::vector<DriveMapping> table{{'C', "/", ""}};
  for (const MountEntry& m : mounts)
    if (m.mountPoint == "/") table[0].device = IsBlockDevice(m.source) ? m.source : "";
  char next = 'D';
  for (size_t i = 0; i < mounts.size() && next <= 'Z'; ++i) {
    const MountEntry& m = mounts[i];
    if (m.mountPoint == "/" || !IsBlockDevice(m.source)) continue;
    // Only the last mount on a mount point is visible.
    bool covered = std::any_of(mounts.begin() + static_cast<long>(i) + 1, mounts.end(),
                               [&](const MountEntry& o) { return o.mountPoint == m.mountPoint; });
    if (covered) continue;
    // Bind mounts of single files (containers mount /etc/hosts that way) are no drives.
    struct stat st;
    if (stat(m.mountPoint.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    table.push_back({next++, m.mountPoint, m.source});
  }
  return table;
}

const DriveMapping* DriveTable::Find(char letter) const {
  letter = AsciiUpper(letter);
  for (const DriveMapping& d : drives_)
    if (d.letter == letter) return &d;
  return nullptr;
}

const DriveMapping* DriveTable::ForPath(const std::string& dosPath) const {
  const std::optional<char> letter = DriveLetterOf(dosPath);
  return letter ? Find(*letter) : nullptr;
}

DriveTable::RootId DriveTable::RootIdOf(const DriveMapping& drive) const {
  for (size_t k = 0; k < drives_.size(); ++k)
    if (&drives_[k] == &drive || drives_[k].letter == drive.letter) return rootIds_[k];
  return {};
}

bool DriveTable::IsOtherDriveRoot(const DriveMapping* own, dev_t dev, ino_t ino) const {
  for (size_t k = 0; k < drives_.size(); ++k)
    if (&drives_[k] != own && rootIds_[k].dev == dev && rootIds_[k].ino == ino) return true;
  return false;
}

bool DriveTable::SharesDevice(dev_t dev, const DriveMapping* own) const {
  for (size_t k = 0; k < drives_.size(); ++k)
    if (&drives_[k] != own && rootIds_[k].dev == dev) return true;
  return false;
}

std::string DriveTable::DosPathForHost(const std::string& hostPath) const {
  if (hostPath.empty() || hostPath[0] != '/') return "";
  std::string path = CanonicalHostPath(hostPath);
  const std::optional<size_t> best = DeepestDriveHolding(drives_, path, '/');
  if (!best) return "";
  const DriveMapping& drive = drives_[*best];
  // A path below the mount point of a file system that is no drive lies on no drive.
  std::string existing = path;
  struct stat st;
  bool found = false;
  while (!(found = stat(existing.c_str(), &st) == 0) && existing.size() > drive.hostFolder.size())
    existing = existing.substr(0, std::max<size_t>(existing.rfind('/'), 1));
  if (found && rootIds_[*best].dev != 0 && st.st_dev != rootIds_[*best].dev) return "";

  const std::string rest = path.substr(std::min(path.size(), drive.hostFolder.size()));
  std::vector<std::string> names;
  size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && rest[i] == '/') ++i;
    size_t end = rest.find('/', i);
    if (end == std::string::npos) end = rest.size();
    if (end > i) names.push_back(rest.substr(i, end - i));
    i = end;
  }
  return JoinDosPath(drive.letter, names);
}

DriveTable::Mounted DriveTable::MountOf(const DriveMapping& drive) const {
  Mounted m;
  for (const MountEntry& e : ReadMountInfo())
    if (e.mountPoint == drive.hostFolder) m.mount = e;
  m.device = drive.device;
  if (m.device.empty() && m.mount && !m.mount->source.empty() && m.mount->source[0] == '/' &&
      IsBlockDevice(m.mount->source))
    m.device = m.mount->source;
  return m;
}

dev_t DriveTable::CurrentDevice(const DriveMapping& drive) {
  struct stat st {};
  return stat(drive.hostFolder.c_str(), &st) == 0 ? st.st_dev : 0;
}

std::vector<std::string> DriveTable::LoopsOf(const std::string& image) {
  std::vector<std::string> loops;
  struct stat img;
  if (stat(image.c_str(), &img) != 0 || !S_ISREG(img.st_mode)) return loops;
  const std::unique_ptr<DIR, DirCloser> dir(opendir("/sys/block"));
  if (!dir) return loops;
  while (dirent* e = readdir(dir.get())) {
    const std::string name = e->d_name;
    if (name.compare(0, 4, "loop") != 0) continue;
    const std::string backing = ReadLine("/sys/block/" + name + "/loop/backing_file");
    struct stat st;
    if (!backing.empty() && stat(backing.c_str(), &st) == 0 && st.st_dev == img.st_dev &&
        st.st_ino == img.st_ino)
      loops.push_back("/dev/" + name);
  }
  return loops;
}

std::string DriveTable::BackingFile(dev_t rdev) {
  return ReadLine("/sys/dev/block/" + std::to_string(major(rdev)) + ":" +
                  std::to_string(minor(rdev)) + "/loop/backing_file");
}

}  // namespace qv
