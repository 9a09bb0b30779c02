#include "probe/SkinFiles.h"

#include <algorithm>
#include <system_error>

#include "core/ProfileString.h"

namespace probe {

namespace fs = std::filesystem;

namespace {

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && qv::EqualsNoCase(s.substr(s.size() - tail.size()), tail);
}

}  // namespace

bool SkinFiles::Read(const std::string& appDir, std::string* error) {
  std::error_code ec;
  if (!fs::is_directory(appDir, ec)) {
    *error = appDir + " is not a folder";
    return false;
  }
  // The exact name first, as the program's path lookup does, then any case.
  std::vector<std::string> candidates;
  for (const fs::directory_entry& e : fs::directory_iterator(appDir, ec))
    if (qv::EqualsNoCase(e.path().filename().string(), "skin") && e.is_directory(ec))
      candidates.push_back(e.path().filename().string());
  if (candidates.empty()) {
    *error = appDir + " has no Skin folder";
    return false;
  }
  std::sort(candidates.begin(), candidates.end());
  const auto exact = std::find(candidates.begin(), candidates.end(), "Skin");
  folder = fs::path(appDir) / (exact != candidates.end() ? *exact : candidates.front());

  layouts.clear();
  pictures.clear();
  for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
    if (!e.is_regular_file(ec)) continue;
    const std::string name = e.path().filename().string();
    if (EndsWithNoCase(name, ".ini")) layouts.push_back(name);
    if (EndsWithNoCase(name, "jpg")) pictures.push_back(name);
  }
  if (ec) {
    *error = "cannot list " + folder.string() + ": " + ec.message();
    return false;
  }
  std::sort(layouts.begin(), layouts.end());
  std::sort(pictures.begin(), pictures.end());
  return true;
}

std::string SkinFiles::ScreenOf(const std::string& layoutFile) {
  return layoutFile.substr(0, layoutFile.size() - 4);
}

std::string SkinFiles::LayoutFileOf(const std::string& screen) const {
  for (const std::string& file : layouts)
    if (qv::EqualsNoCase(ScreenOf(file), screen)) return file;
  return "";
}

bool SkinFiles::HasEnabledPicture(const std::string& screen) const {
  const std::string wanted = qv::LowerCase(screen);
  for (const std::string& file : pictures) {
    if (file.size() < 4) continue;
    const std::string name = qv::LowerCase(file.substr(0, file.size() - 4));
    if (name.substr(0, name.find('_')) != wanted) continue;
    for (size_t at = name.find("enabled"); at != std::string::npos;
         at = name.find("enabled", at + 1))
      if (at < 3 || name.compare(at - 3, 3, "dis") != 0) return true;
  }
  return false;
}

}  // namespace probe
