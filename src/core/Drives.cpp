#include "core/Drives.h"

#include "core/ProfileString.h"
#include "core/Program.h"

namespace qv {

std::string GetDriveCaption(Program& p, const std::string& root) {
  const std::string lower = LowerCase(root);
  if (lower == "a:\\" || lower == "b:\\") return root;
  const Result<VolumeInfo> info = p.os.files.GetVolumeInfo(root);
  if (!info.ok()) return root;
  const std::string label = Trim(info->label);
  return label.empty() ? root : root + " [" + label + "]";
}

std::vector<std::string> GetDriveList(Program& p) {
  std::vector<std::string> captions;
  for (const std::string& root : p.os.files.LogicalDrives())
    captions.push_back(GetDriveCaption(p, root));
  return captions;
}

}  // namespace qv
