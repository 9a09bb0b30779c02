// Where an installed or portable program finds its parts, and the settings of a first start.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "../TestProgram.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/ProgramPlaces.h"
#include "platform/linux/UserSettings.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using test::RecordingDiagnostics;
using test::TempDir;

// Sets an environment variable for one test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

TEST(ProgramPlaces, PortableBesideTheBinaryInstalledBelowThePrefix) {
  TempDir dir;
  const fs::path root = dir.path();
  const ScopedEnv config("XDG_CONFIG_HOME", (root / "config").string());
  const std::string user = (root / "config" / "quorvin" / "settings.ini").string();

  // A build folder: everything beside the binary, also the settings while they are there.
  fs::create_directories(root / "build" / "Skin");
  WriteText(root / "build" / "settings.ini", "[General]\n");
  const ProgramPlaces build = FindProgramPlaces((root / "build").string());
  EXPECT_EQ(build.skinFolder, "");
  EXPECT_EQ(build.toolsFolder, "");
  EXPECT_EQ(build.settingsFile, "");
  fs::remove(root / "build" / "settings.ini");
  EXPECT_EQ(FindProgramPlaces((root / "build").string()).settingsFile, user);

  // Installed: the skin and tools of the prefix, the user's settings; the core sees DOS paths.
  fs::create_directories(root / "usr" / "bin");
  const ProgramPlaces installed = FindProgramPlaces((root / "usr" / "bin").string());
  EXPECT_EQ(installed.skinFolder, (root / "usr" / "share" / "quorvin" / "Skin").string());
  EXPECT_EQ(installed.toolsFolder, (root / "usr" / "libexec" / "quorvin").string());
  EXPECT_EQ(installed.settingsTemplate,
            (root / "usr" / "share" / "quorvin" / "settings.ini").string());
  EXPECT_EQ(installed.settingsFile, user);
  PosixFileSystem files({{'D', root.string(), ""}}, (root / "usr" / "bin").string(),
                        {.places = installed});
  EXPECT_EQ(files.SkinFolder(), "D:\\usr\\share\\quorvin\\Skin");
  EXPECT_EQ(files.ToolsFolder(), "D:\\usr\\libexec\\quorvin");
  EXPECT_EQ(files.SettingsFile(), "D:\\config\\quorvin\\settings.ini");
  PosixFileSystem portable({{'D', root.string(), ""}}, (root / "build").string());
  EXPECT_EQ(portable.SkinFolder(), "D:\\build\\Skin");
  EXPECT_EQ(portable.ToolsFolder(), "D:\\build\\Tools");
  EXPECT_EQ(portable.SettingsFile(), "D:\\build\\settings.ini");
}

TEST(UserMediaFolders, DesktopFoldersWhereSetPlainOnesOtherwise) {
  const MediaFolders m = MediaFoldersFrom("/home/u", "/home/u/Musik", nullptr, "relative/Bilder");
  EXPECT_EQ(m.music, "/home/u/Musik");
  EXPECT_EQ(m.videos, "/home/u/Videos");
  EXPECT_EQ(m.pictures, "/home/u/Pictures");
  // xdg-user-dirs points a disabled folder at the home: backing that up would take it all.
  const MediaFolders off = MediaFoldersFrom("/home/u/", "/home/u", "/home/u/", "/media/pics");
  EXPECT_EQ(off.music, "/home/u/Music");
  EXPECT_EQ(off.videos, "/home/u/Videos");
  EXPECT_EQ(off.pictures, "/media/pics");
}

struct FirstStartSettings : ::testing::Test {
  TempDir dir;
  fs::path root = dir.path();
  DriveTable drives{{{'C', root.string(), ""}}};
  fs::path file = root / "home" / ".config" / "quorvin" / "settings.ini";
  std::string home = (root / "home").string();
  MediaFolders media = MediaFoldersFrom(home, (root / "home" / "Klang").c_str(), nullptr, nullptr);
  RecordingDiagnostics diag;

  FirstStart Prepare(const fs::path& templateFile) {
    return PrepareSettingsFile(file.string(), templateFile.string(), drives, home, media, diag);
  }
};

TEST_F(FirstStartSettings, WritesOnceFromTheTemplateInAPrivateFolder) {
  WriteText(root / "share" / "settings.ini",
            "; installed\r\n[general]\r\nResX=800\r\nResY=600\r\n[Audio]\r\nSource=X:\\\r\n");
  ASSERT_EQ(Prepare(root / "share" / "settings.ini"), FirstStart::Written);
  const std::string text = ReadText(file);
  EXPECT_EQ(text.find("X:\\"), std::string::npos) << "only [General] comes from the template";
  EXPECT_NE(text.find("[general]\r\nResX=800\r\nResY=600\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[Audio]\nSource=C:\\home\\Klang\\\nDestination=C:\\home\\Backup\\Music\\\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("[Picture]\nSource=C:\\home\\Pictures\\\n"), std::string::npos) << text;
  struct stat st;
  ASSERT_EQ(stat(file.parent_path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(diag.lines.size(), 1u);
  EXPECT_TRUE(diag.Mentions(file.string()));
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), {}), 1) << "no leftovers";

  // The user's own edits stay, and a missing template no longer matters.
  WriteText(file, "[General]\nResX=640\n");
  EXPECT_EQ(Prepare(root / "missing.ini"), FirstStart::Present);
  EXPECT_EQ(ReadText(file), "[General]\nResX=640\n");
  EXPECT_EQ(diag.lines.size(), 1u);
}

TEST_F(FirstStartSettings, WhatCannotBeReadIsNeverReplaced) {
  // A folder in its place, then a link leading nowhere (where a write would land elsewhere).
  fs::create_directories(file);
  EXPECT_EQ(Prepare(root / "missing.ini"), FirstStart::Unreadable);
  EXPECT_TRUE(fs::is_directory(file));
  fs::remove(file);
  fs::create_symlink(root / "elsewhere.ini", file);
  EXPECT_EQ(Prepare(root / "missing.ini"), FirstStart::Unreadable);
  EXPECT_TRUE(fs::is_symlink(file));
  EXPECT_FALSE(fs::exists(root / "elsewhere.ini"));
  ASSERT_EQ(diag.lines.size(), 2u);
  EXPECT_TRUE(diag.Mentions("cannot read"));
}

TEST_F(FirstStartSettings, DefaultsWithoutTemplateAndFoldersOffTheDrives) {
  media.videos = "/proc/videos";  // on no drive of the table
  ASSERT_EQ(Prepare(root / "missing.ini"), FirstStart::Written);
  const std::string text = ReadText(file);
  EXPECT_EQ(text.rfind(kDefaultGeneralSettings, 0), 0u) << text;
  EXPECT_NE(text.find("[Video]\nSource=\nDestination=C:\\home\\Backup\\Videos\\\n"),
            std::string::npos)
      << text;
  EXPECT_TRUE(diag.Mentions("/proc/videos"));
}

TEST_F(FirstStartSettings, OnlyFoldersNoOtherUserCanChangeAreWrittenInto) {
  fs::create_directories(file.parent_path());
  chmod(file.parent_path().c_str(), 0777);
  EXPECT_EQ(Prepare(root / "missing.ini"), FirstStart::Failed);
  EXPECT_FALSE(fs::exists(file));
  // Above it, a folder of the user's own group may be group-writable (umask 002), not more.
  fs::remove(file.parent_path());
  const fs::path config = file.parent_path().parent_path();
  chmod(config.c_str(), 0777);
  EXPECT_EQ(Prepare(root / "missing.ini"), FirstStart::Failed);
  chmod(config.c_str(), 0775);
  EXPECT_EQ(Prepare(root / "missing.ini"), FirstStart::Written);
}

}  // namespace
}  // namespace qv
