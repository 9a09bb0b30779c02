#include "platform/common/DriveLetters.h"

#include <algorithm>

#include "platform/common/DosPath.h"

namespace qv {
namespace {

// `path` is `folder` or lies below it. A root ("/", "C:\\") ends with its separator.
bool UnderHostFolder(const std::string& path, const std::string& folder, char separator) {
  if (folder.empty() || path.compare(0, folder.size(), folder) != 0) return false;
  return folder.back() == separator || path.size() == folder.size() ||
         path[folder.size()] == separator;
}

}  // namespace

std::optional<char> DriveLetterOf(const std::string& dosPath) {
  if (dosPath.size() < 2 || dosPath[1] != ':') return std::nullopt;
  return AsciiUpper(dosPath[0]);
}

std::vector<DriveMapping> OneMappingPerLetter(std::vector<DriveMapping> drives) {
  std::vector<DriveMapping> kept;
  for (DriveMapping& d : drives) {
    d.letter = AsciiUpper(d.letter);
    if (d.letter < 'A' || d.letter > 'Z') continue;
    if (std::any_of(kept.begin(), kept.end(),
                    [&](const DriveMapping& o) { return o.letter == d.letter; }))
      continue;
    kept.push_back(std::move(d));
  }
  std::sort(kept.begin(), kept.end(),
            [](const DriveMapping& a, const DriveMapping& b) { return a.letter < b.letter; });
  return kept;
}

std::optional<size_t> DeepestDriveHolding(const std::vector<DriveMapping>& drives,
                                          const std::string& path, char separator) {
  std::optional<size_t> best;
  for (size_t k = 0; k < drives.size(); ++k) {
    if (!UnderHostFolder(path, drives[k].hostFolder, separator)) continue;
    if (!best || drives[k].hostFolder.size() > drives[*best].hostFolder.size()) best = k;
  }
  return best;
}

}  // namespace qv
