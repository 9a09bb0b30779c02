// Shell commands and loop-mounted images for the tests of disk functions.
#pragma once

#include <string>
#include <vector>

#include "platform/linux/PosixMounts.h"

namespace qv::test {

// Runs a shell command; its exit status, standard output and error in `out`.
int Sh(const std::string& command, std::string* out = nullptr);

// A loop device for an image, mounted on a folder; undone in every outcome.
class LoopMount {
 public:
  LoopMount(const std::string& image, const std::string& folder, const std::string& options);
  ~LoopMount();
  LoopMount(const LoopMount&) = delete;
  LoopMount& operator=(const LoopMount&) = delete;
  bool ok() const { return mounted_; }
  const std::string& device() const { return device_; }
  bool MountedHere(MountEntry* entry = nullptr) const;

 private:
  std::string folder_, device_;
  bool mounted_ = false;
};

// Mounts made by a test beside a LoopMount, undone in every outcome.
struct Unmounts {
  std::vector<std::string> folders;
  ~Unmounts();
};

}  // namespace qv::test
