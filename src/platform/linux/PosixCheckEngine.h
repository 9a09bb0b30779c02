// The disk check's engine on Linux: the file system's own checker (e2fsck, fsck.fat) as a child
// process, its output turned into progress, text-output and done reports. A user's check with
// fixing runs this engine in quorvin-helper as root, through pkexec, and reads its reports.
#pragma once

#include <string>

#include "platform/CheckEngine.h"
#include "platform/Platform.h"
#include "platform/linux/CheckMountBack.h"
#include "platform/linux/CheckOutput.h"
#include "platform/linux/CheckTarget.h"
#include "platform/linux/PosixFileSystem.h"

namespace qv {

struct PosixCheckOptions {
  // The checkers, by name (searched in PATH) or path.
  std::string e2fsck = "e2fsck";
  std::string fsckFat = "fsck.fat";
  // A report at least this often while the checker is silent, so that the program stays live.
  int quietReportMs = 100;
  // A user's fixing check runs in this helper (HelperProgramPath() when empty); with
  // `helperForRoot`, root's too (tests of the helper's protocol).
  std::string helper;
  bool helperForRoot = false;
  // Replace mounting the drive back (given "/proc/self/fd/N" of the pinned folder) and the
  // unmount; tests simulate failures through them.
  MountHook mount;
  UnmountHook unmount;
};

class PosixCheckEngine : public CheckEngine {
 public:
  PosixCheckEngine(const PosixFileSystem& files, Diagnostics& diag, PosixCheckOptions options = {});

  Status Load() override { return Status::Ok(); }
  void Unload() override {}
  bool CanOpenExclusive(const std::string& root) override;
  void Chkdsk(const std::string& root, const std::string& fileSystem, bool fixErrors, bool verbose,
              bool checkOnlyIfDirty, bool scanSurface, const CheckCallback& callback) override;

  using Target = CheckTarget;
  Target FindTarget(const std::string& root) const;

 private:
  // Why the drive is only checked, not fixed; empty when it can be fixed.
  std::string ReadOnlyReason(const Target& t) const;
  // A fixing check of this target runs in quorvin-helper.
  bool ThroughHelper(const Target& t) const;
  // Runs it there; empty when it ran, otherwise why fixing was not authorised.
  std::string CheckInHelper(const Target& t, bool verbose, bool scanSurface,
                            const CheckCallback& callback);
  // Reports a check that cannot begin, with `line` as its last line.
  void Refuse(const std::string& drive, const std::string& line, const CheckCallback& callback);

  const PosixFileSystem& files_;
  Diagnostics& diag_;
  PosixCheckOptions options_;
};

}  // namespace qv
