#include "platform/linux/PosixMounts.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace qv {
namespace {

// mountinfo escapes blanks, tabs, newlines and backslashes as three octal digits.
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' && s[i + 2] >= '0' &&
        s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
      out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool UnderFolder(const std::string& path, const std::string& folder) {
  if (folder == "/") return !path.empty() && path[0] == '/';
  return path.compare(0, folder.size(), folder) == 0 &&
         (path.size() == folder.size() || path[folder.size()] == '/');
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(const std::string& text) {
  std::vector<MountEntry> mounts;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string id, parent, devs, root, mountPoint, options, field;
    if (!(fields >> id >> parent >> devs >> root >> mountPoint >> options)) continue;
    // Optional fields run up to a lone "-".
    MountEntry m;
    bool sawSeparator = false;
    while (fields >> field) {
      if (field == "-") {
        sawSeparator = true;
        break;
      }
      m.propagation.push_back(field);
    }
    if (!sawSeparator || !(fields >> m.fsType)) continue;
    fields >> m.source >> m.superOptions;
    m.mountOptions = options;
    if (sscanf(devs.c_str(), "%u:%u", &m.major, &m.minor) != 2) continue;
    m.id = std::atoi(id.c_str());
    m.parent = std::atoi(parent.c_str());
    m.root = Unescape(root);
    m.mountPoint = Unescape(mountPoint);
    m.source = Unescape(m.source);
    m.mountOptions = Unescape(m.mountOptions);
    m.superOptions = Unescape(m.superOptions);
    mounts.push_back(std::move(m));
  }
  return mounts;
}

std::vector<MountEntry> ReadMountInfo(const std::string& file) {
  std::ifstream in(file);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return ParseMountInfo(text.str());
}

bool MountOfPath(const std::string& hostPath, MountEntry* mount) {
  struct stat st;
  if (stat(hostPath.c_str(), &st) != 0) return false;
  char* real = realpath(hostPath.c_str(), nullptr);
  std::string path = real ? real : hostPath;
  free(real);
  bool found = false;
  size_t bestLength = 0;
  for (const MountEntry& m : ReadMountInfo()) {
    if (makedev(m.major, m.minor) != st.st_dev || !UnderFolder(path, m.mountPoint)) continue;
    // ">=": a later mount on the same point hides the earlier one.
    if (!found || m.mountPoint.size() >= bestLength) {
      *mount = m;
      bestLength = m.mountPoint.size();
      found = true;
    }
  }
  return found;
}

}  // namespace qv
