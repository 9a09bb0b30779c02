// The junk cleaner's walk over the drives of a PosixFileSystem.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/JunkScan.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/PosixInUse.h"
#include "platform/linux/UniqueFd.h"

namespace qv {

struct PosixJunkScanOptions {
  // Host folders of "windows temp" and "user temp"; unset: the system's temporary folder as
  // GLib finds it and the user's cache folder. An empty string: no such folder.
  std::optional<std::string> systemTemp;
  std::optional<std::string> userCache;
  // Where the processes are listed (/proc).
  std::string procRoot = "/proc";
};

class PosixJunkScan : public JunkScan {
 public:
  using Options = PosixJunkScanOptions;
  explicit PosixJunkScan(const PosixFileSystem& files, Options options = {});

  bool GatherInUse(const std::function<bool()>& keepGoing) override;
  Result<std::vector<JunkScanEntry>> List(const std::string& folder) override;
  std::optional<JunkItem> Examine(const std::string& path,
                                  const std::function<bool()>& keepGoing) override;
  bool Recheck(const std::string& path, const JunkIdentity& id,
               const std::function<bool()>& keepGoing) override;
  bool Gone(const std::string& path) override;
  std::string SpecialFolder(const std::string& which) const override;

 private:
  struct Drive {
    const DriveMapping* mapping = nullptr;
    dev_t dev = 0;
  };
  // Opens the folder of a DOS path component by component from its drive's root, refusing
  // links and other file systems; empty when that fails. `leaf` receives the last name when
  // `parentOnly` (the folder opened is then the one that holds it).
  UniqueFd OpenNoFollow(const std::string& dosPath, bool parentOnly, Drive* drive,
                        std::string* leaf);
  bool IsRecycleBin(dev_t dev, ino_t ino) const;
  // True when anything below the open folder must stay.
  bool HoldsKept(int folderFd, dev_t dev, const std::function<bool()>& keepGoing,
                 unsigned* visited);

  const PosixFileSystem& files_;
  const DriveTable& drives_;
  Options options_;
  InUseSet inUse_;
  bool inUseKnown_ = false;  // the last gathering went through every process
  struct Id {
    dev_t dev;
    ino_t ino;
  };
  std::vector<Id> recycleBins_;
};

}  // namespace qv
