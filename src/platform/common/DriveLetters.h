// The portable part of the drive table: which host folder each drive letter stands for.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qv {

struct DriveMapping {
  char letter = 0;
  std::string hostFolder;
  std::string device;  // block device or image file behind the drive; may be empty
};

// The drive letter a DOS path starts with ("c:\..." gives 'C'); nothing without "X:".
std::optional<char> DriveLetterOf(const std::string& dosPath);

// One mapping per letter from A to Z, the first given winning, in letter order; letters are
// made upper case and anything else is dropped.
std::vector<DriveMapping> OneMappingPerLetter(std::vector<DriveMapping> drives);

// The drive whose host folder holds the absolute host path `path` most deeply (`separator`
// between host components); nothing when no drive does.
std::optional<size_t> DeepestDriveHolding(const std::vector<DriveMapping>& drives,
                                          const std::string& path, char separator);

}  // namespace qv
