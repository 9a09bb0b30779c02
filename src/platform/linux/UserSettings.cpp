#include "platform/linux/UserSettings.h"

#include <fcntl.h>
#include <glib.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/linux/PosixFileUtil.h"

namespace qv {

const char kDefaultGeneralSettings[] =
    "[General]\nResX=1024\nResY=768\nTop=0\nLeft=0\nStartMinimized=0\n";

namespace {

std::string TrimmedFolder(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string MediaFolder(const std::string& home, const char* xdg, const char* fallback) {
  if (xdg && xdg[0] == '/' && TrimmedFolder(xdg) != TrimmedFolder(home)) return xdg;
  return JoinHost(home, fallback);
}

// Small text files only: a template is a few lines.
bool ReadSmallFile(const std::string& file, std::string* text) {
  UniqueFd fd = OpenRegularForReading(file);
  if (!fd) return false;
  char buffer[4096];
  while (text->size() < (size_t{1} << 16)) {
    const ssize_t n = read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    text->append(buffer, static_cast<size_t>(n));
  }
  return false;
}

// Why an existing file cannot be read; empty when it can.
std::string WhyUnreadable(const std::string& file) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::strerror(errno);
  struct stat st;
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  close(fd);
  return regular ? "" : "not a regular file";
}

}  // namespace

std::string UserHome() {
  if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
    return pw->pw_dir;
  return "/";
}

MediaFolders MediaFoldersFrom(const std::string& home, const char* music, const char* videos,
                              const char* pictures) {
  return {MediaFolder(home, music, "Music"), MediaFolder(home, videos, "Videos"),
          MediaFolder(home, pictures, "Pictures")};
}

MediaFolders UserMediaFolders(const std::string& home) {
  return MediaFoldersFrom(home, g_get_user_special_dir(G_USER_DIRECTORY_MUSIC),
                          g_get_user_special_dir(G_USER_DIRECTORY_VIDEOS),
                          g_get_user_special_dir(G_USER_DIRECTORY_PICTURES));
}

std::string SettingsText(const DriveTable& drives, const std::string& general,
                         const std::string& home, const MediaFolders& media,
                         std::vector<std::string>* unplaced) {
  auto dos = [&](const std::string& hostFolder) {
    std::string path = drives.DosPathForHost(hostFolder);
    if (path.empty()) {
      if (unplaced) unplaced->push_back(hostFolder);
      return path;
    }
    if (path.back() != '\\') path += '\\';
    return path;
  };
  const std::string backup = JoinHost(home, "Backup");
  std::string text = general;
  if (!text.empty() && text.back() != '\n') text += '\n';
  text += '\n';
  const struct {
    const char* section;
    const std::string& folder;
    const char* backup;
  } sections[] = {{"Audio", media.music, "Music"},
                  {"Video", media.videos, "Videos"},
                  {"Picture", media.pictures, "Pictures"}};
  for (const auto& s : sections) {
    text += std::string("[") + s.section + "]\n";
    text += "Source=" + dos(s.folder) + "\n";
    text += "Destination=" + dos(JoinHost(backup, s.backup)) + "\n\n";
  }
  return text;
}

std::string GeneralSection(const std::string& text) {
  std::string section;
  bool inside = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const size_t first = line.find_first_not_of(" \t");
    if (first != std::string::npos && line[first] == '[') {
      const size_t close = line.find(']', first);
      inside =
          close != std::string::npos &&
          g_ascii_strcasecmp(line.substr(first + 1, close - first - 1).c_str(), "general") == 0;
    }
    if (inside) section += line + "\n";
    start = end + 1;
  }
  return section;
}

FirstStart PrepareSettingsFile(const std::string& file, const std::string& templateFile,
                               const DriveTable& drives, const std::string& home,
                               const MediaFolders& media, Diagnostics& diag) {
  struct stat st;
  if (lstat(file.c_str(), &st) == 0) {
    const std::string why = WhyUnreadable(file);
    if (why.empty()) return FirstStart::Present;
    diag.Warn("cannot read the settings file " + file + " (" + why + "); left as it is");
    return FirstStart::Unreadable;
  }
  std::string general;
  std::string templateText;
  if (!templateFile.empty() && ReadSmallFile(templateFile, &templateText))
    general = GeneralSection(templateText);
  if (general.empty()) general = kDefaultGeneralSettings;

  std::vector<std::string> unplaced;
  const std::string text = SettingsText(drives, general, home, media, &unplaced);
  for (const std::string& folder : unplaced)
    diag.Warn("settings: " + folder + " lies on no drive; its setting is left empty");
  const std::string folder = FolderOf(file);
  if (!MakePrivateFolder(folder)) {
    diag.Warn("cannot write the settings file " + file + ": the folder " + folder +
              " cannot be made, or is not the user's own");
    return FirstStart::Failed;
  }
  const Status written = WriteFileAside(file, text, Publish::KeepExisting);
  if (!written.ok() && lstat(file.c_str(), &st) == 0) return FirstStart::Present;  // a twin start
  if (!written.ok()) {
    diag.Warn("cannot write the settings file " + file + ": " + written.message());
    return FirstStart::Failed;
  }
  diag.Warn("first start: wrote the settings file " + file);
  return FirstStart::Written;
}

}  // namespace qv
