// Path lookups through links and folders that others change between two lookups.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/posix/PosixFileSystem.h"

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
  EXPECT_EQ(f.Probe(R"(X:\linked\inner\SONG.mp3)"), PathState::Present);
  EXPECT_EQ(f.Probe(R"(X:\LINKED\Inner\new.mp3)"), PathState::Absent);
  EXPECT_EQ(f.Probe(R"(X:\linked\new.mp3)"), PathState::Absent);
  // Below a link to a file or a dangling link nothing can be made: present, never absent.
  EXPECT_EQ(f.Probe(R"(X:\filelink\new.mp3)"), PathState::Present);
  EXPECT_EQ(f.Probe(R"(X:\dangling\new.mp3)"), PathState::Present);
  EXPECT_EQ(f.Probe(R"(X:\plain.txt\deeper\new.mp3)"), PathState::Present);
  std::string host = f.HostPath(R"(X:\LINKED\INNER\song.MP3)");
  EXPECT_EQ(host, (d.root / "linked" / "Inner" / "song.mp3").string());

  // A copy through the link lands in the real folder.
  EXPECT_EQ(f.CopyFile(R"(X:\plain.txt)", R"(X:\Linked\inner\copy.txt)", nullptr),
            CopyResult::Copied);
  EXPECT_TRUE(fs::exists(d.root / "real" / "Inner" / "copy.txt"));
  EXPECT_EQ(f.CopyFile(R"(X:\plain.txt)", R"(X:\filelink\copy.txt)", nullptr), CopyResult::Failed);
}

TEST(PathLookup, NamesChangedByOthersBetweenLookupsAreSeen) {
  Drive d;
  ASSERT_FALSE(d.root.empty());
  fs::create_directories(d.root / "Music" / "Disc");
  PosixFileSystem& f = *d.files;
  EXPECT_EQ(f.Probe(R"(X:\music\disc\TRACK.mp3)"), PathState::Absent);
  EXPECT_EQ(f.CopyFile(R"(X:\nothing)", R"(X:\music\disc\a.mp3)", nullptr), CopyResult::Failed);

  // Someone else adds a file and renames a folder after the lookups above were indexed.
  d.Write("Music/Disc/Track.mp3", "x");
  EXPECT_EQ(f.Probe(R"(X:\music\disc\TRACK.mp3)"), PathState::Present);
  fs::rename(d.root / "Music" / "Disc", d.root / "Music" / "Disk");
  EXPECT_EQ(f.Probe(R"(X:\music\disc\TRACK.mp3)"), PathState::Present);  // no folder there
  EXPECT_EQ(f.Probe(R"(X:\music\disc)"), PathState::Absent);
  EXPECT_EQ(f.Probe(R"(X:\MUSIC\DISK\track.MP3)"), PathState::Present);

  // A copy onto a name present in another case copies nothing.
  d.Write("source.mp3", "new");
  EXPECT_EQ(f.CopyFile(R"(X:\source.mp3)", R"(X:\music\disk\TRACK.MP3)", nullptr),
            CopyResult::Exists);
  std::ifstream in(d.root / "Music" / "Disk" / "Track.mp3");
  std::string content((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(content, "x");
}

}  // namespace
}  // namespace qv
