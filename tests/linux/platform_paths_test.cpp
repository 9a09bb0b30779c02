// Path lookups through links and folders that others change between two lookups.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/linux/PosixFileSystem.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

struct Drive {
  fs::path root;
  std::unique_ptr<PosixFileSystem> files;
  Drive() {
    std::string pattern = (fs::temp_directory_path() / "qv-paths-XXXXXX").string();
    root = mkdtemp(pattern.data()) ? pattern : "";
    files = std::make_unique<PosixFileSystem>(std::vector<DriveMapping>{{'X', root.string(), ""}},
                                              root.string());
  }
  ~Drive() {
    if (!root.empty()) fs::remove_all(root);
  }
  void Write(const std::string& rel, const std::string& text) {
    std::ofstream(root / rel, std::ios::binary) << text;
  }
};

TEST(PathLookup, LinksAsFoldersOnTheWay) {
  Drive d;
  ASSERT_FALSE(d.root.empty());
  fs::create_directories(d.root / "real" / "Inner");
  d.Write("real/Inner/song.mp3", "x");
  d.Write("plain.txt", "x");
  fs::create_directory_symlink(d.root / "real", d.root / "linked");
  fs::create_symlink(d.root / "plain.txt", d.root / "filelink");
  fs::create_symlink(d.root / "nowhere", d.root / "dangling");
  PosixFileSystem& f = *d.files;

  // Through a link to a folder: found, and its names found without regard to case.
  EXPECT_EQ(f.Probe(R"(X:\linked\inner\SONG.mp3)", NameCase::Any), PathState::Present);
  EXPECT_EQ(f.Probe(R"(X:\LINKED\Inner\new.mp3)", NameCase::Any), PathState::Absent);
  EXPECT_EQ(f.Probe(R"(X:\linked\new.mp3)", NameCase::Any), PathState::Absent);
  // Below a link to a file or a dangling link nothing can be made: present, never absent.
  EXPECT_EQ(f.Probe(R"(X:\filelink\new.mp3)", NameCase::Any), PathState::Present);
  EXPECT_EQ(f.Probe(R"(X:\dangling\new.mp3)", NameCase::Any), PathState::Present);
  EXPECT_EQ(f.Probe(R"(X:\plain.txt\deeper\new.mp3)", NameCase::Any), PathState::Present);
  std::string host = f.HostPath(R"(X:\LINKED\INNER\song.MP3)");
  EXPECT_EQ(host, (d.root / "linked" / "Inner" / "song.mp3").string());

  // A copy through the link lands in the real folder.
  EXPECT_EQ(f.CopyFile(R"(X:\plain.txt)", R"(X:\Linked\inner\copy.txt)", nullptr, NameCase::Any),
            CopyResult::Copied);
  EXPECT_TRUE(fs::exists(d.root / "real" / "Inner" / "copy.txt"));
  EXPECT_EQ(f.CopyFile(R"(X:\plain.txt)", R"(X:\filelink\copy.txt)", nullptr, NameCase::Any),
            CopyResult::Failed);
}

TEST(PathLookup, NamesChangedByOthersBetweenLookupsAreSeen) {
  Drive d;
  ASSERT_FALSE(d.root.empty());
  fs::create_directories(d.root / "Music" / "Disc");
  PosixFileSystem& f = *d.files;
  EXPECT_EQ(f.Probe(R"(X:\music\disc\TRACK.mp3)", NameCase::Any), PathState::Absent);
  EXPECT_EQ(f.CopyFile(R"(X:\nothing)", R"(X:\music\disc\a.mp3)", nullptr, NameCase::Any),
            CopyResult::Failed);

  // Someone else adds a file and renames a folder after the lookups above were indexed.
  d.Write("Music/Disc/Track.mp3", "x");
  EXPECT_EQ(f.Probe(R"(X:\music\disc\TRACK.mp3)", NameCase::Any), PathState::Present);
  fs::rename(d.root / "Music" / "Disc", d.root / "Music" / "Disk");
  EXPECT_EQ(f.Probe(R"(X:\music\disc\TRACK.mp3)", NameCase::Any),
            PathState::Present);  // no folder there
  EXPECT_EQ(f.Probe(R"(X:\music\disc)", NameCase::Any), PathState::Absent);
  EXPECT_EQ(f.Probe(R"(X:\MUSIC\DISK\track.MP3)", NameCase::Any), PathState::Present);

  // A copy onto a name present in another case copies nothing.
  d.Write("source.mp3", "new");
  EXPECT_EQ(f.CopyFile(R"(X:\source.mp3)", R"(X:\music\disk\TRACK.MP3)", nullptr, NameCase::Any),
            CopyResult::Exists);
  std::ifstream in(d.root / "Music" / "Disk" / "Track.mp3");
  std::string content((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(content, "x");
}

// Folders found once are reused by later lookups; whatever others change in between, a lookup
// answers as the first lookup of a fresh drive would.
TEST(PathLookup, RepeatedLookupsSeeReplacedFolders) {
  Drive d;
  ASSERT_FALSE(d.root.empty());
  fs::create_directories(d.root / "Music" / "Disc");
  d.Write("Music/Disc/a.mp3", "a");
  PosixFileSystem& f = *d.files;
  const std::string a = R"(X:\Music\Disc\a.mp3)", b = R"(X:\Music\Disc\b.mp3)";
  EXPECT_EQ(f.Probe(a, NameCase::Any), PathState::Present);
  EXPECT_EQ(f.Probe(b, NameCase::Any), PathState::Absent);

  // Another folder of the same name.
  fs::rename(d.root / "Music" / "Disc", d.root / "Music" / "Old");
  fs::create_directory(d.root / "Music" / "Disc");
  d.Write("Music/Disc/b.mp3", "b");
  EXPECT_EQ(f.Probe(a, NameCase::Any), PathState::Absent);
  EXPECT_EQ(f.HostPath(b), (d.root / "Music" / "Disc" / "b.mp3").string());

  // A link to the old folder in its place.
  fs::rename(d.root / "Music" / "Disc", d.root / "Music" / "New");
  fs::create_directory_symlink(d.root / "Music" / "Old", d.root / "Music" / "Disc");
  EXPECT_EQ(f.Probe(a, NameCase::Any), PathState::Present);
  EXPECT_EQ(f.Probe(b, NameCase::Any), PathState::Absent);

  // A file in its place: nothing can be made below it.
  fs::remove(d.root / "Music" / "Disc");
  d.Write("Music/Disc", "file");
  EXPECT_EQ(f.Probe(b, NameCase::Any), PathState::Present);
  EXPECT_EQ(f.CopyFile(R"(X:\Music\Old\a.mp3)", b, nullptr, NameCase::Any), CopyResult::Failed);
  EXPECT_FALSE(f.IsFolder(R"(X:\Music\Disc\)", FollowLinks::No));

  // Another drive's folder moved into its place still belongs to that drive alone.
  fs::remove(d.root / "Music" / "Disc");
  fs::create_directory(d.root / "Music" / "Disc");
  fs::create_directory(d.root / "Y");
  PosixFileSystem two({{'X', d.root.string(), ""}, {'Y', (d.root / "Y").string(), ""}},
                      d.root.string());
  EXPECT_EQ(two.Probe(b, NameCase::Any), PathState::Absent);
  fs::remove(d.root / "Music" / "Disc");
  fs::rename(d.root / "Y", d.root / "Music" / "Disc");
  EXPECT_EQ(two.Probe(b, NameCase::Any), PathState::Present);
  EXPECT_EQ(two.CopyFile(R"(X:\Music\Old\a.mp3)", b, nullptr, NameCase::Any), CopyResult::Failed);
  EXPECT_FALSE(fs::exists(d.root / "Music" / "Disc" / "b.mp3"));
}

TEST(PathLookup, RepeatedLookupsKeepTheCaseRules) {
  Drive d;
  ASSERT_FALSE(d.root.empty());
  fs::create_directories(d.root / "Music" / "Disc");
  PosixFileSystem& f = *d.files;
  const std::string track = R"(X:\music\disc\t.mp3)";
  // The folders' times are set apart, as a change within one clock tick may not show.
  int64_t clock = 1000000000;
  auto touched = [&](const fs::path& folder) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {++clock, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
  };
  EXPECT_EQ(f.HostPath(track), (d.root / "Music" / "Disc" / "t.mp3").string());
  EXPECT_EQ(f.HostPath(track), (d.root / "Music" / "Disc" / "t.mp3").string());

  // An exact name now exists beside the one found without regard to case: it wins, at any level.
  fs::create_directory(d.root / "Music" / "disc");
  touched(d.root / "Music");
  EXPECT_EQ(f.HostPath(track), (d.root / "Music" / "disc" / "t.mp3").string());
  fs::create_directories(d.root / "music" / "disc");
  touched(d.root);
  EXPECT_EQ(f.HostPath(track), (d.root / "music" / "disc" / "t.mp3").string());

  // Several matches without regard to case: the first in listing order, also once it is gone.
  fs::create_directories(d.root / "Box" / "In");
  fs::create_directories(d.root / "BOX" / "In");
  auto firstBox = [&]() {
    std::string first;
    DIR* dir = opendir(d.root.c_str());
    while (dirent* e = dir ? readdir(dir) : nullptr)
      if (first.empty() && (std::string(e->d_name) == "Box" || std::string(e->d_name) == "BOX"))
        first = e->d_name;
    if (dir) closedir(dir);
    return first;
  };
  const std::string inBox = R"(X:\box\in\x)";
  const std::string first = firstBox();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(f.HostPath(inBox), (d.root / first / "In" / "x").string());
  EXPECT_EQ(f.HostPath(inBox), (d.root / first / "In" / "x").string());
  fs::rename(d.root / first, d.root / "Gone");
  touched(d.root);
  const std::string second = first == "Box" ? "BOX" : "Box";
  EXPECT_EQ(firstBox(), second);
  EXPECT_EQ(f.HostPath(inBox), (d.root / second / "In" / "x").string());
}

}  // namespace
}  // namespace qv
