#include "DiskImages.h"

#include <sys/mount.h>
#include <sys/wait.h>

#include <cstdio>

namespace qv::test {

int Sh(const std::string& command, std::string* out) {
  std::string all;
  FILE* f = popen((command + " 2>&1").c_str(), "r");
  if (!f) return -1;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) all.append(buf, n);
  const int status = pclose(f);
  if (out) *out = all;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

LoopMount::LoopMount(const std::string& image, const std::string& folder,
                     const std::string& options)
    : folder_(folder) {
  std::string out;
  if (Sh("losetup --find --show '" + image + "'", &out) != 0) return;
  device_ = out.substr(0, out.find('\n'));
  mounted_ = Sh("mount -o " + options + " " + device_ + " '" + folder + "'") == 0;
}

LoopMount::~LoopMount() {
  // Whatever the test left: unmount every mount on the folder, then detach.
  for (int i = 0; i < 10 && MountedHere(); ++i) umount2(folder_.c_str(), 0);
  if (MountedHere()) umount2(folder_.c_str(), MNT_DETACH);
  if (!device_.empty()) Sh("losetup -d " + device_);
}

bool LoopMount::MountedHere(MountEntry* entry) const {
  bool found = false;
  for (const MountEntry& m : ReadMountInfo())
    if (m.mountPoint == folder_) {
      if (entry) *entry = m;
      found = true;
    }
  return found;
}

Unmounts::~Unmounts() {
  for (auto f = folders.rbegin(); f != folders.rend(); ++f)
    for (int i = 0; i < 10 && umount2(f->c_str(), UMOUNT_NOFOLLOW) == 0; ++i) {
    }
}

}  // namespace qv::test
