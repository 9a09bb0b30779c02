// Taking a mounted drive away for a fixing check and putting it back: the plan worked out before
// the unmount, the pinned folder, and the guardian process that mounts the drive back when the
// program ends first.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "platform/linux/CheckTarget.h"
#include "platform/linux/UniqueFd.h"

namespace qv {

// Replace the mount (given "/proc/self/fd/N" of the pinned folder) and the unmount in tests.
using MountHook =
    std::function<int(const std::string& source, const std::string& target, const std::string& type,
                      unsigned long flags, const std::string& data)>;
using UnmountHook = std::function<int(const std::string& target)>;

// Everything needed to mount a drive back, worked out before it is unmounted: the guardian, a
// forked child of a program that may have threads, uses it without allocating.
struct MountBackPlan {
  std::string source, fsType, mountPoint;
  std::vector<std::pair<std::string, std::string>> params;  // an empty value: a flag
  uint64_t attributes = 0;                                  // MOUNT_ATTR_*
  uint64_t propagation = 0;                                 // MS_SHARED, MS_PRIVATE, ...
  dev_t rdev = 0;                                           // of the source device
  const MountHook* hook = nullptr;                          // only for tests
};

MountBackPlan PlanMountBack(const CheckTarget& t);

// Mounts the drive back on the pinned folder, only while its path still leads there and the
// source is still the device. Async-signal-safe (without a hook): the guardian calls it.
// Returns 0 or why not (ESTALE: the path leads elsewhere now; ENXIO: the source changed);
// `*sharing` gets why the propagation could not be restored.
int MountBack(const MountBackPlan& plan, int pin, int* sharing);

// A child that outlives the program: when the program ends before it has said that the drive
// is back, the guardian waits until the checker has let go of the device and mounts the drive
// back itself. It learns the pinned folder through its socket once the drive is unmounted.
class Guardian {
 public:
  Guardian() = default;
  Guardian(const Guardian&) = delete;
  Guardian& operator=(const Guardian&) = delete;
  ~Guardian() { Release(); }
  bool Start(const MountBackPlan& plan, int hold);
  void SendPin(int pin);
  // The program has dealt with the drive: the guardian ends.
  void Release();

 private:
  [[noreturn]] static void Run(const MountBackPlan& plan, int socket, int hold);
  pid_t pid_ = -1;
  UniqueFd socket_;
};

// The drive goes back where it was in every outcome, through the pinned folder; the guardian
// does it when the program cannot.
class DriveRemount {
 public:
  DriveRemount(Diagnostics& diag, std::string drive);
  DriveRemount(const DriveRemount&) = delete;
  DriveRemount& operator=(const DriveRemount&) = delete;
  ~DriveRemount();
  // Unmounts a mounted target for fixing, `hold` being its device held open. Empty when the
  // drive is unmounted (and now pending to go back), otherwise why it stays and is only checked.
  std::string Unmount(const CheckTarget& target, int hold, const MountHook* hook,
                      const UnmountHook& unmount);
  // Mounts the drive back if it was taken; failure() then says what went wrong.
  void Now();
  const std::string& failure() const { return failure_; }

 private:
  Diagnostics& diag_;
  std::string drive_;
  MountBackPlan plan_;
  Guardian guardian_;
  UniqueFd pin_;
  bool pending_ = false;
  std::string failure_;
};

}  // namespace qv
