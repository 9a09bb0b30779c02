// The disk check's engine on Linux: the file system's own checker (e2fsck, fsck.fat) as a child
// process, its output turned into progress, text-output and done reports.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/CheckEngine.h"
#include "platform/Platform.h"
#include "platform/linux/PosixFileSystem.h"

namespace qv {

// Percentage of a whole e2fsck run at `current` of `max` in pass `pass` (1 to 5), weighted as
// e2fsck weights its passes itself.
uint32_t ProgressOfPass(int pass, uint64_t current, uint64_t max);
// Reads one line of e2fsck's progress descriptor ("PASS CURRENT MAX NAME").
bool ParseProgressLine(const std::string& line, uint32_t* percent);

// Reads a progress percentage from a line of a surface scan, in whatever language it is written.
bool ScanProgress(const std::string& text, uint32_t* percent);

// Turns a checker's terminal output into lines: a carriage return or backspace moves back over
// what is overwritten, escape sequences and other control bytes are dropped, tabs become blanks,
// and an endless line is cut into pieces (between characters).
class TerminalLines {
 public:
  static constexpr size_t kMaxLine = 4096;
  void Feed(const char* data, size_t size, std::vector<std::string>* lines);
  // The rest that no line end has closed yet (a progress text being overwritten).
  std::string Partial() const;
  void Finish(std::vector<std::string>* lines);

 private:
  void Close(std::vector<std::string>* lines);
  void Cut(std::vector<std::string>* lines);
  std::string line_;
  size_t cursor_ = 0;
  enum class Escape { None, Start, Csi, String, StringEsc } escape_ = Escape::None;
};

struct PosixCheckOptions {
  // The checkers, by name (searched in PATH) or path.
  std::string e2fsck = "e2fsck";
  std::string fsckFat = "fsck.fat";
  // A report at least this often while the checker is silent, so that the program stays live.
  int quietReportMs = 100;
  // Replace mounting the drive back (given "/proc/self/fd/N" of the pinned folder) and the
  // unmount; tests simulate failures through them.
  std::function<int(const std::string& source, const std::string& target, const std::string& type,
                    unsigned long flags, const std::string& data)>
      mount;
  std::function<int(const std::string& target)> unmount;
};

class PosixCheckEngine : public CheckEngine {
 public:
  PosixCheckEngine(const PosixFileSystem& files, Diagnostics& diag, PosixCheckOptions options = {});

  bool Load() override { return true; }
  void Unload() override {}
  bool CanOpenExclusive(const std::string& root) override;
  void Chkdsk(const std::string& root, const std::string& fileSystem, bool fixErrors, bool verbose,
              bool checkOnlyIfDirty, bool scanSurface, const CheckCallback& callback) override;

  // The volume behind a drive and where it is mounted as that drive.
  struct Target {
    std::string device;      // block device or image file; empty when the drive has none
    bool mounted = false;    // the device is mounted on the drive's folder
    std::string mountPoint;  // then: where, and how
    std::string source, fsType, mountOptions, superOptions;
    std::string root;  // the folder of the file system mounted there
    int mountId = 0;
    dev_t mountDevice = 0;
    std::vector<std::string> propagation;  // as mountinfo shows it
    bool mountedElsewhere = false;         // the same file system is mounted elsewhere too
    bool inUseElsewhere = false;           // an image file that a loop device serves
  };
  Target FindTarget(const std::string& root) const;

 private:
  // Why the drive is only checked, not fixed; empty when it can be fixed.
  std::string ReadOnlyReason(const Target& t) const;

  const PosixFileSystem& files_;
  Diagnostics& diag_;
  PosixCheckOptions options_;
};

}  // namespace qv
