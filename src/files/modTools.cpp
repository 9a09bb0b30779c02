#include "files/modTools.h"

#include "shell/ProfileString.h"
#include "shell/Program.h"
#include "shell/frmMain.h"

namespace qv {

std::string GetDriveCaption(Program& p, const std::string& root) {
  const std::string lower = LowerCase(root);
  if (lower == "a:\\" || lower == "b:\\") return root;
  VolumeInfo info;
  if (!p.os.files.GetVolumeInfo(root, &info)) return root;
  const std::string label = Trim(info.label);
  return label.empty() ? root : root + " [" + label + "]";
}

std::vector<std::string> GetDriveList(Program& p) {
  std::vector<std::string> captions;
  for (const std::string& root : p.os.files.LogicalDrives())
    captions.push_back(GetDriveCaption(p, root));
  return captions;
}

void Yield(Program& p, bool sleepFirst) {
  if (sleepFirst) p.os.events.Sleep(1);
  struct Depth {
    int& d;
    explicit Depth(int& v) : d(v) { ++d; }
    ~Depth() { --d; }
  } depth(p.shell.yieldDepth);
  if (p.onYield) p.onYield(p);
  Event e;
  while (p.os.events.PollEvent(&e)) HandleEvent(p, e);
}

}  // namespace qv
