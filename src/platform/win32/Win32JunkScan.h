// The junk cleaner's walk over the drives of a Win32FileSystem.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/JunkScan.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32PathChain.h"

namespace qv {

class Win32JunkScan : public JunkScan {
 public:
  explicit Win32JunkScan(const Win32FileSystem& files);

  // Windows tells what is in use only when asked for a file (a sharing violation), so there is
  // nothing to gather beforehand.
  bool GatherInUse(const std::function<bool()>& keepGoing) override;
  Result<std::vector<JunkScanEntry>> List(const std::string& folder) override;
  std::optional<JunkItem> Examine(const std::string& path,
                                  const std::function<bool()>& keepGoing) override;
  bool Recheck(const std::string& path, const JunkIdentity& id,
               const std::function<bool()>& keepGoing) override;
  bool Gone(const std::string& path) override;
  std::string SpecialFolder(const std::string& which) const override;

 private:
  // Whether the path's drive is one of the file system's.
  bool Offered(const std::string& dosPath) const;
  PathChain ChainTo(const std::string& dosPath, bool parentOnly) const;

  const Win32FileSystem& files_;
};

}  // namespace qv
