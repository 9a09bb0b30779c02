// The drive namespace over temporary folders, the file primitives, the recycle bin and program
// starts. Every drive here is a temporary folder; no test sees the machine's real drives.
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <linux/magic.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "../TakeResult.h"
#include "LinuxTestProgram.h"
#include "files/modTools.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/PosixMounts.h"
#include "platform/linux/PosixProcesses.h"

namespace qv {
namespace {

int RemoveEntry(const char* path, const struct stat*, int type, struct FTW*) {
  return type == FTW_DP ? rmdir(path) : unlink(path);
}

// FTW_MOUNT: a removal never reaches into something mounted below the folder.
void RemoveTree(const std::string& root) {
  if (!root.empty()) nftw(root.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
}

std::string MakeTempFolder(const std::string& base) {
  std::string pattern = base + "/qv-files-XXXXXX";
  return mkdtemp(pattern.data()) ? pattern : "";
}

// The recycle bin of the user lives in a temporary folder for the whole test program: it must
// be set before GIO first asks for it.
struct TemporaryDataHome {
  std::string folder = MakeTempFolder("/tmp");
  TemporaryDataHome() { setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1); }
  ~TemporaryDataHome() { RemoveTree(folder); }
};
TemporaryDataHome dataHome;

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> Names(const std::vector<DirEntry>& entries) {
  std::vector<std::string> names;
  for (const DirEntry& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  return names;
}

class DriveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = MakeTempFolder("/tmp");
    ASSERT_FALSE(root_.empty());
    mkdir(H("x").c_str(), 0755);
  }
  void TearDown() override { RemoveTree(root_); }

  std::string H(const std::string& relative) const { return root_ + "/" + relative; }
  std::unique_ptr<PosixFileSystem> Drives(std::vector<DriveMapping> table = {},
                                          PosixFileSystem::Options options = {}) const {
    if (table.empty()) table = {{'X', H("x"), ""}};
    return std::make_unique<PosixFileSystem>(std::move(table), H("x"), std::move(options));
  }

  std::string root_;
};

TEST_F(DriveTest, TranslatesDosPathsBothWays) {
  mkdir(H("x/Skin").c_str(), 0755);
  WriteFile(H("x/Skin/MainScreen.ini"), "a");
  mkdir(H("x/Données Été").c_str(), 0755);
  WriteFile(H("x/Données Été/Mixed Case.TXT"), "b");
  WriteFile(H("x/Readme"), "1");
  WriteFile(H("x/README"), "2");
  mkdir(H("x/app").c_str(), 0755);
  auto fs = Drives();

  EXPECT_EQ(fs->HostPath(R"(X:\skin\mainscreen.INI)"), H("x/Skin/MainScreen.ini"));
  EXPECT_EQ(fs->HostPath(R"(x:\\SKIN\\)"), H("x/Skin/"));
  EXPECT_EQ(fs->HostPath(R"(X:\DONNÉES ÉTÉ\mixed case.txt)"), H("x/Données Été/Mixed Case.TXT"));
  // An exact name wins over an earlier entry that differs only in case.
  EXPECT_EQ(fs->HostPath(R"(X:\README)"), H("x/README"));
  EXPECT_EQ(fs->HostPath(R"(X:\Readme)"), H("x/Readme"));
  // Missing components keep the name as written, below the existing ones found by case.
  EXPECT_EQ(fs->HostPath(R"(X:\skin\New Folder\b.jpg)"), H("x/Skin/New Folder/b.jpg"));
  // No path leaves its drive.
  EXPECT_EQ(fs->HostPath(R"(X:\..\..\etc\passwd)"), H("x/etc/passwd"));
  EXPECT_EQ(fs->HostPath(R"(Q:\a)"), "");
  EXPECT_EQ(fs->HostPath("relative"), "");

  EXPECT_EQ(fs->DosPathForHost(H("x/Skin/MainScreen.ini")), R"(X:\Skin\MainScreen.ini)");
  EXPECT_EQ(fs->DosPathForHost(H("x")), R"(X:\)");
  EXPECT_EQ(fs->DosPathForHost(H("x/Skin/../app/")), R"(X:\app)");
  EXPECT_EQ(fs->DosPathForHost(H("x/not yet/there")), R"(X:\not yet\there)");
  EXPECT_EQ(fs->DosPathForHost(H("outside")), "");
  // What the DOS form cannot hold travels as U+F000 plus the character, and back.
  EXPECT_EQ(fs->DosPathForHost(H("x/back\\slash/dots..")), "X:\\back\uF05Cslash\\dots\uF02E\uF02E");
  EXPECT_EQ(fs->HostPath("X:\\back\uF05Cslash\\blank\uF020"), H("x/back\\slash/blank "));
  EXPECT_EQ(fs->DosPathForHost("relative/path"), "");

  EXPECT_EQ(fs->ExecutableFolder(), R"(X:\)");
  PosixFileSystem inApp({{'x', H("x"), ""}}, H("x/app/"));
  EXPECT_EQ(inApp.ExecutableFolder(), R"(X:\app)");
  EXPECT_EQ(inApp.LogicalDrives(), std::vector<std::string>{R"(X:\)"});
}

TEST_F(DriveTest, CaseLookupFollowsChangesToTheFolder) {
  mkdir(H("x/Box").c_str(), 0755);
  auto fs = Drives();
  EXPECT_EQ(fs->Probe(R"(X:\box\later.txt)", NameCase::Any), PathState::Absent);
  // Changed by someone else: the folder's time differs from the one seen before.
  WriteFile(H("x/Box/Later.TXT"), "l");
  struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
  utimensat(AT_FDCWD, H("x/Box").c_str(), times, 0);
  EXPECT_EQ(fs->HostPath(R"(X:\box\later.txt)"), H("x/Box/Later.TXT"));
  // Changed through the drive itself.
  EXPECT_TRUE(fs->CreateFolder(R"(X:\box\Sub)").ok());
  EXPECT_EQ(fs->Probe(R"(X:\BOX\SUB)", NameCase::Any), PathState::Present);
  EXPECT_TRUE(fs->Rename(R"(X:\box\later.txt)", R"(X:\box\gone.txt)").ok());
  EXPECT_EQ(fs->Probe(R"(X:\box\LATER.txt)", NameCase::Any), PathState::Absent);
  WriteFile(H("x/src"), "s");
  EXPECT_EQ(fs->CopyFile(R"(X:\src)", R"(X:\box\Copied)", {}, NameCase::Any), CopyResult::Copied);
  EXPECT_EQ(fs->CopyFile(R"(X:\src)", R"(X:\box\COPIED)", {}, NameCase::Any), CopyResult::Exists);
}

// DOS names match without regard to case the same way in every locale: in a Turkish one the C
// library's tolower leaves "I" alone and toupper leaves "i".
TEST_F(DriveTest, CaseMatchesTheSameInATurkishLocale) {
  const test::ProcessLocale locale("tr_TR");
  if (!locale.ok()) GTEST_SKIP() << "no Turkish locale could be compiled (localedef)";
  mkdir(H("x/MUSIC").c_str(), 0755);
  WriteFile(H("x/MUSIC/Intro.MID"), "m");
  auto fs = Drives({{'I', H("x"), ""}});
  EXPECT_EQ(fs->HostPath(R"(i:\music\INTRO.mid)"), H("x/MUSIC/Intro.MID"));
  EXPECT_EQ(fs->HostPath(R"(I:\music\intro.mid)"), H("x/MUSIC/Intro.MID"));
}

TEST_F(DriveTest, ProbesInAnUnchangedFolderFollowEveryChange) {
  // A folder untouched for long is answered from one listing; changes must still show.
  mkdir(H("x/Old").c_str(), 0755);
  mkdir(H("x/Old/Sub").c_str(), 0755);
  mkdir(H("x/inner").c_str(), 0755);
  symlink("../inner", H("x/Old/Link").c_str());
  for (int i = 0; i < 5; ++i) WriteFile(H("x/Old/Track " + std::to_string(i) + ".mp3"), "t");
  // Its time put back does not make it old: only a change time seconds ago does.
  struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
  utimensat(AT_FDCWD, H("x/Old").c_str(), times, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(3100));
  auto fs = Drives({{'X', H("x"), ""}, {'Y', H("x/Old/Sub"), ""}});
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 5; ++i)
      EXPECT_EQ(fs->Probe(R"(X:\old\TRACK )" + std::to_string(i) + ".MP3", NameCase::Any),
                PathState::Present);
    EXPECT_EQ(fs->Probe(R"(X:\OLD\Track 5.mp3)", NameCase::Any), PathState::Absent);
    EXPECT_EQ(fs->Probe(R"(X:\old\link)", NameCase::Any), PathState::Present);
    // Another drive's folder is no part of this one.
    EXPECT_EQ(fs->Probe(R"(X:\old\sub)", NameCase::Any), PathState::Absent);
  }
  // Changed by someone else.
  WriteFile(H("x/Old/Track 5.mp3"), "t");
  EXPECT_EQ(fs->Probe(R"(X:\old\track 5.mp3)", NameCase::Any), PathState::Present);
  unlink(H("x/Old/Track 0.mp3").c_str());
  EXPECT_EQ(fs->Probe(R"(X:\old\track 0.mp3)", NameCase::Any), PathState::Absent);
  // Changed through the drive itself.
  EXPECT_TRUE(fs->CreateFolder(R"(X:\old\New)").ok());
  EXPECT_EQ(fs->Probe(R"(X:\old\NEW)", NameCase::Any), PathState::Present);
  WriteFile(H("x/src"), "s");
  EXPECT_EQ(fs->CopyFile(R"(X:\src)", R"(X:\old\Copied)", {}, NameCase::Any), CopyResult::Copied);
  EXPECT_EQ(fs->Probe(R"(X:\old\copied)", NameCase::Any), PathState::Present);
  EXPECT_TRUE(fs->Rename(R"(X:\old\copied)", R"(X:\old\Moved)").ok());
  EXPECT_EQ(fs->Probe(R"(X:\old\copied)", NameCase::Any), PathState::Absent);
  EXPECT_EQ(fs->Probe(R"(X:\old\moved)", NameCase::Any), PathState::Present);
  // Someone else's change after one of ours is no part of ours.
  EXPECT_EQ(fs->CopyFile(R"(X:\src)", R"(X:\old\Second)", {}, NameCase::Any), CopyResult::Copied);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  WriteFile(H("x/Old/Third"), "t");
  EXPECT_EQ(fs->Probe(R"(X:\old\THIRD)", NameCase::Any), PathState::Present);
  EXPECT_EQ(fs->CopyFile(R"(X:\src)", R"(X:\old\third)", {}, NameCase::Any), CopyResult::Exists);
}

TEST_F(DriveTest, ListingKeepsToTheDrive) {
  mkdir(H("x/nested").c_str(), 0755);
  WriteFile(H("x/nested/inner.txt"), "inner");
  mkdir(H("x/real").c_str(), 0755);
  symlink("real", H("x/link").c_str());
  symlink("data.bin", H("x/filelink").c_str());
  WriteFile(H("x/data.bin"), std::string(1234, 'd'));
  struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
  utimensat(AT_FDCWD, H("x/data.bin").c_str(), times, AT_SYMLINK_NOFOLLOW);
  WriteFile(H("x/.hidden"), "");
  WriteFile(H("x/back\\slash"), "");
  auto fs = Drives({{'X', H("x"), ""}, {'Y', H("x/nested"), ""}});

  std::vector<DirEntry> entries;
  ASSERT_TRUE(Take(fs->ListFolder(R"(X:\)", ListDetail::Full), &entries));
  EXPECT_EQ(Names(entries), (std::vector<std::string>{".hidden", "back\uF05Cslash", "data.bin",
                                                      "filelink", "link", "real"}));
  for (const DirEntry& e : entries) {
    EXPECT_EQ(e.isFolder, e.name == "real") << e.name;
    EXPECT_EQ(e.kind, e.name == "real"       ? EntryKind::Folder
                      : e.name == "link"     ? EntryKind::LinkToFolder
                      : e.name == "filelink" ? EntryKind::LinkToFile
                                             : EntryKind::File)
        << e.name;
    EXPECT_EQ(e.hidden, e.name == ".hidden") << e.name;
    if (e.name == "data.bin" || e.name == "filelink") {
      EXPECT_EQ(e.size, 1234u);
      EXPECT_EQ(e.modified, 1000000000);
    }
  }
  std::vector<DirEntry> again;
  ASSERT_TRUE(Take(fs->ListFolder("X:", ListDetail::Full), &again));
  EXPECT_EQ(Names(again), Names(entries));
  // Names and kinds only: the same entries, links still files, the nested drive still left out.
  std::vector<DirEntry> kinds;
  ASSERT_TRUE(Take(fs->ListFolder(R"(X:\)", ListDetail::NamesAndKinds), &kinds));
  ASSERT_EQ(Names(kinds), Names(entries));
  for (size_t k = 0; k < kinds.size(); ++k) {
    EXPECT_EQ(kinds[k].isFolder, entries[k].isFolder) << kinds[k].name;
    EXPECT_EQ(kinds[k].hidden, entries[k].hidden) << kinds[k].name;
    EXPECT_EQ(kinds[k].kind, entries[k].kind) << kinds[k].name;
  }

  // The nested drive's folder is no part of X:, but is a drive of its own.
  EXPECT_FALSE(Take(fs->ListFolder(R"(X:\nested\)", ListDetail::Full), &entries));
  EXPECT_FALSE(fs->IsFolder(R"(X:\nested)", FollowLinks::No));
  EXPECT_EQ(fs->Probe(R"(X:\nested)", NameCase::Any), PathState::Absent);
  ASSERT_TRUE(Take(fs->ListFolder(R"(Y:\)", ListDetail::Full), &entries));
  EXPECT_EQ(Names(entries), std::vector<std::string>{"inner.txt"});
  EXPECT_EQ(fs->DosPathForHost(H("x/nested/inner.txt")), R"(Y:\inner.txt)");

  EXPECT_TRUE(fs->IsFolder(R"(X:\REAL\)", FollowLinks::No));
  EXPECT_TRUE(fs->IsFolder(R"(X:\)", FollowLinks::No));
  EXPECT_FALSE(fs->IsFolder(R"(X:\link)", FollowLinks::No));
  EXPECT_FALSE(fs->IsFolder(R"(X:\data.bin)", FollowLinks::No));
  EXPECT_FALSE(Take(fs->ListFolder(R"(X:\data.bin)", ListDetail::Full), &entries));
}

// ext4 hands names out in hash order; the explorer shows them as Windows does.
TEST_F(DriveTest, ListingIsInNameOrderWithoutRegardToCase) {
  const std::vector<std::string> names = {
      "a", "B", "b", "c10", "C2", "Zebra", "\xc3\x84rger", "\xc3\xa4z"};
  for (auto it = names.rbegin(); it != names.rend(); ++it) WriteFile(H("x/" + *it), "");
  mkdir(H("x/Mid").c_str(), 0755);
  for (int i = 0; i < 300; ++i) WriteFile(H("x/n" + std::to_string(i * 7919 % 1000)), "");
  auto fs = Drives();
  for (bool sizes : {true, false}) {
    std::vector<DirEntry> entries;
    ASSERT_TRUE(Take(fs->ListFolder(R"(X:\)", sizes ? ListDetail::Full : ListDetail::NamesAndKinds),
                     &entries));
    std::vector<std::string> got;
    for (const DirEntry& e : entries)
      if (e.name[0] != 'n') got.push_back(e.name);
    EXPECT_EQ(got, (std::vector<std::string>{"a", "B", "b", "c10", "C2", "Mid", "Zebra",
                                             "\xc3\x84rger", "\xc3\xa4z"}));
    for (size_t k = 1; k < entries.size(); ++k) {
      if (entries[k - 1].name[0] == 'n' && entries[k].name[0] == 'n') {
        EXPECT_LT(entries[k - 1].name, entries[k].name);
      }
    }
  }
}

TEST_F(DriveTest, ProbeTellsMissingFileFromMissingFolder) {
  WriteFile(H("x/File.txt"), "x");
  auto fs = Drives();
  EXPECT_EQ(fs->Probe(R"(X:\file.TXT)", NameCase::Any), PathState::Present);
  EXPECT_EQ(fs->Probe(R"(X:\)", NameCase::Any), PathState::Present);
  EXPECT_EQ(fs->Probe(R"(X:\none.txt)", NameCase::Any), PathState::Absent);
  EXPECT_EQ(fs->Probe(R"(X:\none\)", NameCase::Any), PathState::Absent);
  // Error 3 (path not found) is not "absent".
  EXPECT_EQ(fs->Probe(R"(X:\nofolder\none.txt)", NameCase::Any), PathState::Present);
  EXPECT_EQ(fs->Probe(R"(X:\File.txt\none)", NameCase::Any), PathState::Present);
  EXPECT_EQ(fs->Probe(R"(Q:\none)", NameCase::Any), PathState::Present);

  std::vector<uint8_t> data;
  ASSERT_TRUE(Take(fs->ReadWholeFile(R"(X:\FILE.txt)"), &data));
  EXPECT_EQ(std::string(data.begin(), data.end()), "x");
  EXPECT_FALSE(Take(fs->ReadWholeFile(R"(X:\)"), &data));
  // Whole, whatever length the file tells: none, its own, or none though it has content.
  WriteFile(H("x/empty"), "");
  ASSERT_TRUE(Take(fs->ReadWholeFile(R"(X:\empty)"), &data));
  EXPECT_TRUE(data.empty());
  std::string big(200000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 4096);
  WriteFile(H("x/big"), big);
  ASSERT_TRUE(Take(fs->ReadWholeFile(R"(X:\big)"), &data));
  EXPECT_EQ(std::string(data.begin(), data.end()), big);
  // One that claims a terabyte (sparse: it takes no room) is refused, not read until memory
  // runs out.
  ASSERT_EQ(truncate(H("x/big").c_str(), off_t{1} << 40), 0);
  EXPECT_FALSE(Take(fs->ReadWholeFile(R"(X:\big)"), &data));
  ASSERT_EQ(symlink("/proc/self/maps", H("x/maps").c_str()), 0);
  ASSERT_TRUE(Take(fs->ReadWholeFile(R"(X:\maps)"), &data));
  EXPECT_GT(data.size(), 1000u);
  EXPECT_NE(std::string(data.begin(), data.end()).find("[stack]"), std::string::npos);
  uint64_t length = 0;
  EXPECT_TRUE(Take(fs->FileLength(R"(X:\file.txt)"), &length));
  EXPECT_EQ(length, 1u);
  EXPECT_FALSE(Take(fs->FileLength(R"(X:\none.txt)"), &length));
}

TEST_F(DriveTest, CreatesFoldersAndRenamesWithoutReplacing) {
  mkdir(H("x/Music").c_str(), 0755);
  WriteFile(H("x/one.txt"), "one");
  WriteFile(H("x/two.txt"), "two");
  auto fs = Drives();

  EXPECT_TRUE(fs->CreateFolder(R"(X:\music\Neu Ordner)").ok());
  EXPECT_TRUE(Exists(H("x/Music/Neu Ordner")));
  EXPECT_FALSE(fs->CreateFolder(R"(X:\MUSIC\neu ordner)").ok());
  EXPECT_FALSE(fs->CreateFolder(R"(X:\missing\child)").ok());
  EXPECT_FALSE(Exists(H("x/missing")));

  // Up to the last "\": the final name is a file name and is not made.
  EXPECT_TRUE(fs->CreatePath(R"(X:\MUSIC\a\b c\file.mp3)").ok());
  EXPECT_TRUE(Exists(H("x/Music/a/b c")));
  EXPECT_FALSE(Exists(H("x/Music/a/b c/file.mp3")));
  EXPECT_TRUE(fs->CreatePath(R"(X:\Music\a\)").ok());
  EXPECT_FALSE(fs->CreatePath(R"(X:\one.txt\sub\)").ok());

  EXPECT_FALSE(fs->Rename(R"(X:\one.txt)", R"(X:\TWO.txt)").ok());
  EXPECT_EQ(ReadFile(H("x/one.txt")), "one");
  EXPECT_EQ(ReadFile(H("x/two.txt")), "two");
  EXPECT_TRUE(fs->Rename(R"(X:\ONE.TXT)", R"(X:\three.txt)").ok());
  EXPECT_EQ(ReadFile(H("x/three.txt")), "one");
  EXPECT_FALSE(Exists(H("x/one.txt")));
  EXPECT_TRUE(fs->Rename(R"(X:\music)", R"(X:\MUSIC)").ok());
  EXPECT_TRUE(Exists(H("x/MUSIC/a")));
  EXPECT_FALSE(fs->Rename(R"(X:\none)", R"(X:\other)").ok());
}

class CopyTest : public DriveTest {
 protected:
  std::string Pattern(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + i / 4096) & 0xFF);
    return s;
  }
  std::vector<std::string> Leftovers() {
    std::vector<std::string> found;
    for (const char* folder : {"x", "x/out"}) {
      DIR* dir = opendir(H(folder).c_str());
      while (dir) {
        dirent* e = readdir(dir);
        if (!e) break;
        if (std::string(e->d_name).find(".part") != std::string::npos) found.push_back(e->d_name);
      }
      if (dir) closedir(dir);
    }
    return found;
  }
};

TEST_F(CopyTest, CopiesContentTimeAndModeWithProgress) {
  const std::string content = Pattern(3 * 65536 + 17);
  WriteFile(H("x/song.mp3"), content);
  chmod(H("x/song.mp3").c_str(), 0640);
  struct timespec times[2] = {{0, UTIME_OMIT}, {1234567890, 500}};
  utimensat(AT_FDCWD, H("x/song.mp3").c_str(), times, 0);
  mkdir(H("x/out").c_str(), 0755);
  PosixFileSystem::Options options;
  options.copyChunkBytes = 65536;
  auto fs = Drives({}, options);

  std::vector<std::pair<uint64_t, uint64_t>> calls;
  auto progress = [&](uint64_t total, uint64_t done) {
    calls.emplace_back(total, done);
    return true;
  };
  ASSERT_EQ(fs->CopyFile(R"(X:\SONG.mp3)", R"(X:\OUT\Song.mp3)", progress, NameCase::Any),
            CopyResult::Copied);
  EXPECT_EQ(ReadFile(H("x/out/Song.mp3")), content);
  struct stat st;
  ASSERT_EQ(stat(H("x/out/Song.mp3").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
  EXPECT_EQ(st.st_mtim.tv_nsec, 500);
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls.front(), std::make_pair(uint64_t{content.size()}, uint64_t{0}));
  EXPECT_EQ(calls[1].second, 65536u);
  EXPECT_EQ(calls.back().second, content.size());
  EXPECT_TRUE(Leftovers().empty());

  // An empty file is copied too, with the one call at the start.
  WriteFile(H("x/empty"), "");
  calls.clear();
  EXPECT_EQ(fs->CopyFile(R"(X:\empty)", R"(X:\out\empty)", progress, NameCase::Any),
            CopyResult::Copied);
  EXPECT_EQ(calls.size(), 1u);
  EXPECT_TRUE(Exists(H("x/out/empty")));

  // Bits the process's umask takes from new files are kept all the same.
  const mode_t saved = umask(027);
  for (mode_t mode : {0666, 0604, 0751}) {
    const std::string name = "mode" + std::to_string(mode);
    WriteFile(H("x/" + name), "m");
    chmod(H("x/" + name).c_str(), mode);
    auto fresh = Drives();
    EXPECT_EQ(fresh->CopyFile("X:\\" + name, "X:\\out\\" + name, {}, NameCase::Any),
              CopyResult::Copied);
    ASSERT_EQ(stat(H("x/out/" + name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, mode) << name;
  }
  umask(saved);

  // So are those a folder's default access list would take instead (user rwx, group r-x,
  // others nothing), where the file system has such lists.
  struct __attribute__((packed)) Entry {
    uint16_t tag, perm;
    uint32_t id;
  };
  struct __attribute__((packed)) {
    uint32_t version;
    Entry entries[3];
  } acl{2, {{0x01, 7, 0xFFFFFFFF}, {0x04, 5, 0xFFFFFFFF}, {0x20, 0, 0xFFFFFFFF}}};
  mkdir(H("x/listed").c_str(), 0755);
  if (setxattr(H("x/listed").c_str(), "system.posix_acl_default", &acl, sizeof acl, 0) == 0) {
    WriteFile(H("x/tool"), "#!/bin/sh\n");
    chmod(H("x/tool").c_str(), 0755);
    EXPECT_EQ(fs->CopyFile(R"(X:\tool)", R"(X:\listed\tool)", {}, NameCase::Any),
              CopyResult::Copied);
    ASSERT_EQ(stat(H("x/listed/tool").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
  }
}

// Every way of keeping a partial copy away from its final name: the unnamed file (linked by its
// descriptor, or through /proc as older kernels need), and the named temporary of file systems
// without unnamed files.
enum class Way { Unnamed, UnnamedThroughProc, Named };
const Way kWays[] = {Way::Unnamed, Way::UnnamedThroughProc, Way::Named};
const char* WayName(Way way) {
  return way == Way::Named     ? "named temporary"
         : way == Way::Unnamed ? "unnamed file"
                               : "unnamed file through /proc";
}
PosixFileSystem::Options WayOptions(Way way) {
  PosixFileSystem::Options options;
  options.forceNamedTemporary = way == Way::Named;
  options.linkThroughProc = way == Way::UnnamedThroughProc;
  return options;
}

TEST_F(CopyTest, NeverReplacesWhatIsThere) {
  for (Way way : kWays) {
    SCOPED_TRACE(WayName(way));
    RemoveTree(H("x"));
    mkdir(H("x").c_str(), 0755);
    WriteFile(H("x/a.txt"), "new content");
    mkdir(H("x/out").c_str(), 0755);
    WriteFile(H("x/out/A.TXT"), "old");
    auto fs = Drives({}, WayOptions(way));
    int calls = 0;
    auto count = [&](uint64_t, uint64_t) { return ++calls > 0; };
    EXPECT_EQ(fs->CopyFile(R"(X:\a.txt)", R"(X:\out\a.txt)", count, NameCase::Any),
              CopyResult::Exists);
    EXPECT_EQ(ReadFile(H("x/out/A.TXT")), "old");
    EXPECT_EQ(calls, 0);

    // A file that appears under the final name during the copy is kept as well.
    auto intruder = [&](uint64_t, uint64_t done) {
      if (done == 0) WriteFile(H("x/out/b.txt"), "intruder");
      return true;
    };
    EXPECT_EQ(fs->CopyFile(R"(X:\a.txt)", R"(X:\out\b.txt)", intruder, NameCase::Any),
              CopyResult::Exists);
    EXPECT_EQ(ReadFile(H("x/out/b.txt")), "intruder");
    // So is one that appears in another case: a link alone would not refuse it.
    auto otherCase = [&](uint64_t, uint64_t done) {
      if (done == 0) WriteFile(H("x/out/C.TXT"), "other case");
      return true;
    };
    EXPECT_EQ(fs->CopyFile(R"(X:\a.txt)", R"(X:\out\c.txt)", otherCase, NameCase::Any),
              CopyResult::Exists);
    EXPECT_EQ(ReadFile(H("x/out/C.TXT")), "other case");
    EXPECT_TRUE(Leftovers().empty());
    std::vector<DirEntry> entries;
    ASSERT_TRUE(Take(fs->ListFolder(R"(X:\out)", ListDetail::Full), &entries));
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"A.TXT", "C.TXT", "b.txt"}));
  }
}

TEST_F(CopyTest, CancelAndFailureLeaveNothingBehind) {
  const std::string content = Pattern(1 << 20);
  for (Way way : kWays) {
    const bool named = way == Way::Named;
    SCOPED_TRACE(WayName(way));
    RemoveTree(H("x"));
    mkdir(H("x").c_str(), 0755);
    WriteFile(H("x/big.bin"), content);
    mkdir(H("x/out").c_str(), 0755);
    PosixFileSystem::Options options = WayOptions(way);
    options.copyChunkBytes = 65536;
    auto fs = Drives({}, options);
    int calls = 0;
    std::vector<std::string> seenDuringCopy;
    auto cancelLate = [&](uint64_t, uint64_t done) {
      ++calls;
      if (done == 128 * 1024) {
        for (const auto& e : std::filesystem::directory_iterator(H("x/out")))
          seenDuringCopy.push_back(e.path().filename().string());
      }
      return done < 256 * 1024;
    };
    EXPECT_EQ(fs->CopyFile(R"(X:\big.bin)", R"(X:\out\big.bin)", cancelLate, NameCase::Any),
              CopyResult::Cancelled);
    EXPECT_EQ(calls, 5);
    // Only the named way shows the partial file, and never under the final name.
    EXPECT_EQ(seenDuringCopy, named ? std::vector<std::string>{".quorvin-big.bin.part"}
                                    : std::vector<std::string>{});
    EXPECT_FALSE(Exists(H("x/out/big.bin")));
    EXPECT_TRUE(Leftovers().empty());

    // A killed run's temporary file is replaced, whatever it holds.
    WriteFile(H("x/out/.quorvin-big.bin.part"), Pattern(3 << 20));
    EXPECT_EQ(fs->CopyFile(R"(X:\big.bin)", R"(X:\out\big.bin)", {}, NameCase::Any),
              CopyResult::Copied);
    EXPECT_EQ(ReadFile(H("x/out/big.bin")), content);
    EXPECT_TRUE(Leftovers().empty());

    EXPECT_EQ(fs->CopyFile(R"(X:\none.bin)", R"(X:\out\none.bin)", {}, NameCase::Any),
              CopyResult::Failed);
    EXPECT_EQ(fs->CopyFile(R"(X:\big.bin)", R"(X:\nofolder\big.bin)", {}, NameCase::Any),
              CopyResult::Failed);
    EXPECT_EQ(fs->CopyFile(R"(X:\out)", R"(X:\outcopy)", {}, NameCase::Any), CopyResult::NotAFile);
    // A named pipe would block a plain open forever.
    mkfifo(H("x/pipe").c_str(), 0644);
    EXPECT_EQ(fs->CopyFile(R"(X:\pipe)", R"(X:\out\pipe)", {}, NameCase::Any),
              CopyResult::NotAFile);
    EXPECT_FALSE(Exists(H("x/out/pipe")));
    // Names near the length limit still get a temporary name of their own.
    std::string longName(250, 'n');
    EXPECT_EQ(fs->CopyFile(R"(X:\big.bin)", R"(X:\out\)" + longName, {}, NameCase::Any),
              CopyResult::Copied);
    EXPECT_EQ(ReadFile(H("x/out/" + longName)), content);
    EXPECT_TRUE(Leftovers().empty());
  }
}

TEST_F(CopyTest, ReadWriteFallbackCopiesTheSame) {
  const std::string content = Pattern((1 << 20) + 5);
  WriteFile(H("x/src.bin"), content);
  auto withOptions = [&](bool readWrite, size_t chunk) {
    PosixFileSystem::Options options;
    options.forceReadWriteCopy = readWrite;
    options.copyChunkBytes = chunk;
    return Drives({}, options);
  };
  auto fs = withOptions(true, 300000);
  uint64_t last = 0;
  EXPECT_EQ(
      fs->CopyFile(R"(X:\src.bin)", R"(X:\dst.bin)",
                   [&](uint64_t, uint64_t done) { return (last = done), true; }, NameCase::Any),
      CopyResult::Copied);
  EXPECT_EQ(last, content.size());
  EXPECT_EQ(ReadFile(H("x/dst.bin")), content);

  // A file that grows while it is copied is copied at the length it had when opened.
  for (bool readWrite : {true, false}) {
    fs = withOptions(readWrite, 300000);
    WriteFile(H("x/growing"), std::string(100, 'g'));
    auto grow = [&](uint64_t, uint64_t done) {
      if (done == 0) std::ofstream(H("x/growing"), std::ios::app) << std::string(1000, '+');
      return true;
    };
    const std::string name = readWrite ? "grown-rw" : "grown-range";
    EXPECT_EQ(fs->CopyFile(R"(X:\growing)", "X:\\" + name, grow, NameCase::Any),
              CopyResult::Copied);
    EXPECT_EQ(ReadFile(H("x/" + name)), std::string(100, 'g'));
  }

  // A kernel-made file tells no length but has content: it is read to its end, both ways.
  ASSERT_EQ(symlink("/proc/version", H("x/version").c_str()), 0);
  const std::string version = ReadFile("/proc/version");
  ASSERT_FALSE(version.empty());
  for (bool readWrite : {true, false}) {
    fs = withOptions(readWrite, 16);
    const std::string name = readWrite ? "version-rw" : "version-range";
    EXPECT_EQ(fs->CopyFile(R"(X:\version)", "X:\\" + name, {}, NameCase::Any), CopyResult::Copied);
    EXPECT_EQ(ReadFile(H("x/" + name)), version);
  }

  // Between two file systems the kernel refuses copy_file_range.
  struct statfs shm;
  if (statfs("/dev/shm", &shm) != 0 || shm.f_type != TMPFS_MAGIC || access("/dev/shm", W_OK))
    GTEST_SKIP() << "no writable tmpfs at /dev/shm for a copy between two file systems";
  std::string other = MakeTempFolder("/dev/shm");
  ASSERT_FALSE(other.empty());
  auto two = Drives({{'X', H("x"), ""}, {'R', other, ""}});
  EXPECT_EQ(two->GetDriveType(R"(R:\)"), kDriveRamDisk);
  EXPECT_EQ(two->CopyFile(R"(X:\src.bin)", R"(R:\src.bin)", {}, NameCase::Any), CopyResult::Copied);
  EXPECT_EQ(ReadFile(other + "/src.bin"), content);
  // The recycle bin is not available there; the file stays.
  EXPECT_FALSE(two->DeleteToTrash(R"(R:\src.bin)").ok());
  EXPECT_TRUE(Exists(other + "/src.bin"));
  RemoveTree(other);
}

// Mounts an image (ext4 unless told) on a loop device for the test's life; unmounts in every
// outcome.
class LoopMount {
 public:
  enum class Kind { Ext4, Fat, Ext2WholeSeconds };
  LoopMount(const std::string& image, const std::string& folder, Kind kind = Kind::Ext4)
      : folder_(folder) {
    std::string mkfs = kind == Kind::Fat ? "mkfs.fat -C '" + image + "' 4096 >/dev/null 2>&1"
                       : kind == Kind::Ext4
                           ? "mkfs.ext4 -q -F -b 4096 '" + image + "' 4M >/dev/null 2>&1"
                           // Inodes too small for fractions of seconds.
                           : "mkfs.ext2 -q -F -I 128 '" + image + "' 4M >/dev/null 2>&1";
    if (getuid() != 0 || std::system(mkfs.c_str()) != 0) return;
    mkdir(folder.c_str(), 0755);
    std::string mount = "mount -o loop '" + image + "' '" + folder + "' >/dev/null 2>&1";
    mounted_ = std::system(mount.c_str()) == 0;
  }
  ~LoopMount() {
    if (mounted_ && umount(folder_.c_str()) != 0) umount2(folder_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  std::string folder_;
  bool mounted_ = false;
};

// Folders of earlier copies are not looked at again before the data is copied: whatever changed
// on the way to them must still be seen before a file is read or named.
TEST_F(CopyTest, FoldersChangedSinceTheLastCopyAreSeenInTime) {
  mkdir(H("x/in").c_str(), 0755);
  mkdir(H("x/out").c_str(), 0755);
  WriteFile(H("x/in/a.mp3"), "a");
  WriteFile(H("x/in/b.mp3"), "mine");
  auto fs = Drives();
  ASSERT_EQ(fs->CopyFile(R"(X:\in\a.mp3)", R"(X:\out\a.mp3)", {}, NameCase::Any),
            CopyResult::Copied);

  {
    // Another file system mounted on the source folder is no part of the drive.
    LoopMount disk(H("in.img"), H("x/in"));
    if (!disk.mounted()) GTEST_SKIP() << "cannot loop-mount an ext4 image here (needs root)";
    WriteFile(H("x/in/b.mp3"), "not on this drive");
    EXPECT_EQ(fs->CopyFile(R"(X:\in\b.mp3)", R"(X:\out\b.mp3)", {}, NameCase::Any),
              CopyResult::Failed);
    EXPECT_FALSE(Exists(H("x/out/b.mp3")));
  }
  ASSERT_EQ(fs->CopyFile(R"(X:\in\b.mp3)", R"(X:\out\b.mp3)", {}, NameCase::Any),
            CopyResult::Copied);
  EXPECT_EQ(ReadFile(H("x/out/b.mp3")), "mine");

  // The target's folder renamed while a file is copied: the file goes nowhere.
  WriteFile(H("x/in/c.mp3"), "c");
  auto rename = [&](uint64_t, uint64_t done) {
    if (done == 0) std::rename(H("x/out").c_str(), H("x/OUT").c_str());
    return true;
  };
  EXPECT_EQ(fs->CopyFile(R"(X:\in\c.mp3)", R"(X:\out\c.mp3)", rename, NameCase::Any),
            CopyResult::Failed);
  std::vector<DirEntry> entries;
  ASSERT_TRUE(Take(fs->ListFolder(R"(X:\out)", ListDetail::Full), &entries));
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"a.mp3", "b.mp3"}));
  // Its new name is found from then on.
  EXPECT_EQ(fs->CopyFile(R"(X:\in\c.mp3)", R"(X:\out\c.mp3)", {}, NameCase::Any),
            CopyResult::Copied);
  EXPECT_EQ(ReadFile(H("x/OUT/c.mp3")), "c");

  {
    // Another file system mounted on the target's folder while a file is copied.
    WriteFile(H("x/in/d.mp3"), "d");
    std::unique_ptr<LoopMount> disk;
    auto mount = [&](uint64_t, uint64_t done) {
      if (done == 0) disk = std::make_unique<LoopMount>(H("out.img"), H("x/OUT"));
      return true;
    };
    EXPECT_EQ(fs->CopyFile(R"(X:\in\d.mp3)", R"(X:\out\d.mp3)", mount, NameCase::Any),
              CopyResult::Failed);
    ASSERT_TRUE(disk && disk->mounted());
    EXPECT_FALSE(Exists(H("x/OUT/d.mp3")));
  }
  EXPECT_FALSE(Exists(H("x/OUT/d.mp3")));
}

TEST_F(CopyTest, AFileSystemMountedOnTheTargetFolderIsNeverWritten) {
  for (Way way : kWays) {
    SCOPED_TRACE(WayName(way));
    RemoveTree(H("x"));
    mkdir(H("x").c_str(), 0755);
    mkdir(H("x/out").c_str(), 0755);
    WriteFile(H("x/a.mp3"), "a");
    WriteFile(H("x/b.mp3"), "b");
    auto fs = Drives({}, WayOptions(way));
    ASSERT_EQ(fs->CopyFile(R"(X:\a.mp3)", R"(X:\out\a.mp3)", {}, NameCase::Any),
              CopyResult::Copied);

    LoopMount disk(H("out.img"), H("x/out"));
    if (!disk.mounted()) GTEST_SKIP() << "cannot loop-mount an ext4 image here (needs root)";
    // Named as our temporary would be, but another's.
    WriteFile(H("x/out/.quorvin-b.mp3.part"), "someone else's");
    int calls = 0;
    auto count = [&](uint64_t, uint64_t) { return ++calls > 0; };
    EXPECT_EQ(fs->CopyFile(R"(X:\b.mp3)", R"(X:\out\b.mp3)", count, NameCase::Any),
              CopyResult::Failed);
    EXPECT_EQ(calls, 0);  // nothing was written anywhere
    EXPECT_EQ(ReadFile(H("x/out/.quorvin-b.mp3.part")), "someone else's");
    EXPECT_FALSE(Exists(H("x/out/b.mp3")));
  }
}

TEST_F(CopyTest, ANameAddedJustAfterAFolderIsListedIsNeverHidden) {
  mkdir(H("x/out").c_str(), 0755);
  WriteFile(H("x/a.txt"), "a");
  bool armed = false;
  bool added = false;
  PosixFileSystem::Options options;
  options.listed = [&](const std::string& folder) {
    if (!armed || added || folder.size() < 4 || folder.compare(folder.size() - 4, 4, "/out") != 0)
      return;
    added = true;
    // Past the tick of the folder's time stamp, where file systems count time coarsely.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    WriteFile(H("x/out/C.TXT"), "other");
  };
  auto fs = Drives({}, options);
  ASSERT_EQ(fs->CopyFile(R"(X:\a.txt)", R"(X:\out\a.txt)", {}, NameCase::Any), CopyResult::Copied);
  // Someone else's change makes the lookup before the next link list the folder again; a name
  // added right after that listing must not pass for a change of our own. (Within a tick of the
  // folder's clock after our own change, no change can be told from ours: one is waited out.)
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  WriteFile(H("x/out/z.txt"), "z");
  armed = true;
  EXPECT_EQ(fs->CopyFile(R"(X:\a.txt)", R"(X:\out\b.txt)", {}, NameCase::Any), CopyResult::Copied);
  ASSERT_TRUE(added);
  EXPECT_EQ(fs->CopyFile(R"(X:\a.txt)", R"(X:\out\c.txt)", {}, NameCase::Any), CopyResult::Exists);
  EXPECT_EQ(ReadFile(H("x/out/C.TXT")), "other");
  std::vector<DirEntry> entries;
  ASSERT_TRUE(Take(fs->ListFolder(R"(X:\out)", ListDetail::Full), &entries));
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"C.TXT", "a.txt", "b.txt", "z.txt"}));
}

TEST_F(CopyTest, FullDiskFailsAndRemovesTheTemporary) {
  WriteFile(H("x/huge.bin"), Pattern(8 << 20));
  LoopMount disk(H("disk.img"), H("mnt"));
  if (!disk.mounted()) GTEST_SKIP() << "cannot loop-mount an ext4 image here (needs root)";
  auto fs = Drives({{'X', H("x"), ""}, {'F', H("mnt"), H("disk.img")}});
  EXPECT_EQ(fs->CopyFile(R"(X:\huge.bin)", R"(F:\huge.bin)", {}, NameCase::Any),
            CopyResult::Failed);
  // The same drive takes a file that fits: the failure was the lack of space.
  WriteFile(H("x/small.bin"), Pattern(100000));
  EXPECT_EQ(fs->CopyFile(R"(X:\small.bin)", R"(F:\small.bin)", {}, NameCase::Any),
            CopyResult::Copied);
  std::vector<DirEntry> entries;
  ASSERT_TRUE(Take(fs->ListFolder(R"(F:\)", ListDetail::Full), &entries));
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"lost+found", "small.bin"}));
  const Result<FreeSpace> space = fs->GetFreeSpace(R"(F:\)");
  ASSERT_TRUE(space.ok());
  EXPECT_GT(space->freeToCaller, 1u << 20);
  EXPECT_LT(space->total, 5u << 20);
}

TEST_F(CopyTest, AYoungFolderNeverHidesNamesAddedBySomeoneElse) {
  // Whole-second times: a name added in the second of a listing leaves the folder's times as
  // they were; the listing must not be taken for the truth then.
  LoopMount disk(H("sec.img"), H("sec"), LoopMount::Kind::Ext2WholeSeconds);
  if (!disk.mounted()) GTEST_SKIP() << "cannot loop-mount an ext2 image here (needs root)";
  mkdir(H("sec/D").c_str(), 0755);
  WriteFile(H("x/src"), "s");
  PosixFileSystem::Options options;
  options.copyChunkBytes = 4096;  // progress calls within the copy below
  auto fs = Drives({{'X', H("x"), ""}, {'S', H("sec"), H("sec.img")}}, options);
  for (int i = 0; i < 20; ++i) {
    const std::string name = "n" + std::to_string(i);
    EXPECT_EQ(fs->Probe("S:\\D\\" + name, NameCase::Any), PathState::Absent);
    EXPECT_EQ(fs->Probe("S:\\d\\N" + name.substr(1), NameCase::Any), PathState::Absent);
    WriteFile(H("sec/D/" + name), "x");
    EXPECT_EQ(fs->Probe("S:\\d\\" + name, NameCase::Any), PathState::Present) << name;
    std::vector<uint8_t> data;
    EXPECT_TRUE(Take(fs->ReadWholeFile("S:\\D\\" + name), &data)) << name;
    EXPECT_EQ(fs->CopyFile("X:\\src", "S:\\D\\" + name, {}, NameCase::Any), CopyResult::Exists);
  }

  // Someone else adds a name while a copy into the folder runs.
  mkdir(H("x/D").c_str(), 0755);
  WriteFile(H("x/big"), Pattern(65536));
  EXPECT_EQ(fs->Probe("X:\\D\\a", NameCase::Any), PathState::Absent);
  EXPECT_EQ(fs->Probe("X:\\d\\A", NameCase::Any), PathState::Absent);
  bool added = false;
  auto meanwhile = [&](uint64_t, uint64_t done) {
    if (done > 0 && !added) added = true, WriteFile(H("x/D/other.txt"), "o");
    return true;
  };
  EXPECT_EQ(fs->CopyFile("X:\\big", "X:\\D\\big", meanwhile, NameCase::Any), CopyResult::Copied);
  ASSERT_TRUE(added);
  EXPECT_EQ(fs->Probe("X:\\d\\other.txt", NameCase::Any), PathState::Present);
  EXPECT_EQ(fs->CopyFile("X:\\src", "X:\\D\\OTHER.TXT", {}, NameCase::Any), CopyResult::Exists);
  EXPECT_FALSE(Exists(H("x/D/OTHER.TXT")));
}

TEST_F(DriveTest, TrashMovesAndEmptiesOnlyTheTablesBins) {
  const std::string data = dataHome.folder + "/data";
  const std::string seen = g_get_user_data_dir();
  if (seen != data) GTEST_SKIP() << "GIO was set up before the test home: " << seen;

  WriteFile(H("x/old.log"), "old");
  mkdir(H("x/Old Folder").c_str(), 0755);
  WriteFile(H("x/Old Folder/in.txt"), "in");
  auto fs = Drives();
  ASSERT_TRUE(fs->DeleteToTrash(R"(X:\OLD.log)").ok());
  ASSERT_TRUE(fs->DeleteToTrash(R"(X:\old folder)").ok());
  EXPECT_FALSE(Exists(H("x/old.log")));
  EXPECT_EQ(ReadFile(data + "/Trash/files/Old Folder/in.txt"), "in");
  EXPECT_FALSE(fs->DeleteToTrash(R"(X:\)").ok());
  EXPECT_FALSE(fs->DeleteToTrash(R"(X:\none)").ok());

  // Bins at a drive's top; a shared ".Trash" counts only with its sticky bit.
  const std::string uid = std::to_string(getuid());
  for (std::string bin : {"x/.Trash-" + uid, "x/.Trash/" + uid, "x/.Trash-" + uid + "0"}) {
    mkdir(H(bin.substr(0, bin.rfind('/'))).c_str(), 01777);
    mkdir(H(bin).c_str(), 0700);
    mkdir(H(bin + "/files").c_str(), 0700);
    mkdir(H(bin + "/files/dir").c_str(), 0700);
    WriteFile(H(bin + "/files/dir/f"), "f");
  }
  // The home bin lies on no drive of this table: it stays full.
  ASSERT_TRUE(fs->EmptyTrash().ok());
  EXPECT_TRUE(Exists(data + "/Trash/files/Old Folder/in.txt"));
  EXPECT_TRUE(Exists(H("x/.Trash-" + uid + "/files")));
  EXPECT_FALSE(Exists(H("x/.Trash-" + uid + "/files/dir")));
  EXPECT_FALSE(Exists(H("x/.Trash/" + uid + "/files/dir")));
  EXPECT_TRUE(Exists(H("x/.Trash-" + uid + "0/files/dir/f")));

  // With the home on a drive, its bin is emptied too, keeping the bin's own folders.
  auto withHome = Drives({{'X', H("x"), ""}, {'H', dataHome.folder, ""}});
  ASSERT_TRUE(withHome->EmptyTrash().ok());
  std::vector<DirEntry> entries;
  ASSERT_TRUE(Take(withHome->ListFolder(R"(H:\data\Trash\files)", ListDetail::Full), &entries));
  EXPECT_TRUE(entries.empty());
  ASSERT_TRUE(Take(withHome->ListFolder(R"(H:\data\Trash\info)", ListDetail::Full), &entries));
  EXPECT_TRUE(entries.empty());
}

TEST_F(CopyTest, WithoutUnnamedFilesANamedTemporaryIsUsed) {
  const std::string content = Pattern(300000);
  WriteFile(H("x/song.mp3"), content);
  LoopMount disk(H("fat.img"), H("fat"), LoopMount::Kind::Fat);
  if (!disk.mounted()) GTEST_SKIP() << "cannot loop-mount a FAT image here (needs root)";
  auto fs = Drives({{'X', H("x"), ""}, {'F', H("fat"), H("fat.img")}});
  std::vector<std::string> seen;
  auto look = [&](uint64_t, uint64_t done) {
    if (done == 0)
      for (const auto& e : std::filesystem::directory_iterator(H("fat")))
        seen.push_back(e.path().filename().string());
    return true;
  };
  EXPECT_EQ(fs->CopyFile(R"(X:\song.mp3)", R"(F:\song.mp3)", look, NameCase::Any),
            CopyResult::Copied);
  EXPECT_EQ(seen, std::vector<std::string>{".quorvin-song.mp3.part"});
  EXPECT_EQ(ReadFile(H("fat/song.mp3")), content);
  EXPECT_EQ(fs->CopyFile(R"(X:\song.mp3)", R"(F:\SONG.MP3)", {}, NameCase::Any),
            CopyResult::Exists);
  std::vector<DirEntry> entries;
  ASSERT_TRUE(Take(fs->ListFolder(R"(F:\)", ListDetail::Full), &entries));
  EXPECT_EQ(Names(entries), std::vector<std::string>{"song.mp3"});
}

TEST_F(DriveTest, VolumesOfImagesAndFolders) {
  auto fs = Drives();
  VolumeInfo info;
  ASSERT_TRUE(Take(fs->GetVolumeInfo(R"(X:\)"), &info));
  EXPECT_FALSE(info.fileSystem.empty());
  EXPECT_FALSE(Take(fs->GetVolumeInfo(R"(Q:\)"), &info));
  EXPECT_EQ(fs->GetDriveType(R"(Q:\)"), kDriveNoRoot);
  const Result<FreeSpace> space = fs->GetFreeSpace(R"(X:\no\such\folder\)");
  ASSERT_TRUE(space.ok());
  EXPECT_GT(space->total, 0u);
  EXPECT_LE(space->freeToCaller, space->total);

  std::string ext4 = "mkfs.ext4 -q -F -L DATA -U 89abcdef-0123-4567-89ab-cdef01234567 '" +
                     H("ext4.img") + "' 2M >/dev/null 2>&1";
  std::string fat = "mkfs.fat -C -n PICS -i 1234ABCD '" + H("fat.img") + "' 1024 >/dev/null 2>&1";
  if (std::system(ext4.c_str()) != 0 || std::system(fat.c_str()) != 0)
    GTEST_SKIP() << "mkfs.ext4 or mkfs.fat missing";
  mkdir(H("e").c_str(), 0755);
  auto images = Drives({{'E', H("e"), H("ext4.img")}, {'F', H("e"), H("fat.img")}});
  ASSERT_TRUE(Take(images->GetVolumeInfo(R"(E:\)"), &info));
  EXPECT_EQ(info.label, "DATA");
  EXPECT_EQ(info.serial, 0x89abcdefu);
  EXPECT_EQ(info.fileSystem, "ext4");
  EXPECT_EQ(images->GetDriveType(R"(E:\)"), kDriveFixed);
  ASSERT_TRUE(Take(images->GetVolumeInfo(R"(F:\)"), &info));
  EXPECT_EQ(info.label, "PICS");
  EXPECT_EQ(info.serial, 0x1234ABCDu);
  EXPECT_EQ(info.fileSystem, "vfat");
}

TEST(MountTable, ParsesEscapesAndOptionalFields) {
  auto mounts = ParseMountInfo(
      "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
      "40 27 7:3 /sub /media/My\\040Disk rw master:2 propagate_from:1 - vfat /dev/loop3 rw\n"
      "broken line\n"
      "41 27 0:50 / /run rw - tmpfs tmpfs rw\n");
  ASSERT_EQ(mounts.size(), 3u);
  EXPECT_EQ(mounts[1].mountPoint, "/media/My Disk");
  EXPECT_EQ(mounts[1].root, "/sub");
  EXPECT_EQ(mounts[1].fsType, "vfat");
  EXPECT_EQ(mounts[1].source, "/dev/loop3");
  EXPECT_EQ(mounts[1].major, 7u);
  EXPECT_EQ(mounts[1].minor, 3u);
  EXPECT_EQ(mounts[2].fsType, "tmpfs");
}

TEST(MountTable, RootIsAlwaysC) {
  auto fs = PosixFileSystem::FromMounts("/");
  ASSERT_FALSE(fs->Drives().empty());
  EXPECT_EQ(fs->Drives()[0].letter, 'C');
  EXPECT_EQ(fs->Drives()[0].hostFolder, "/");
  EXPECT_EQ(fs->ExecutableFolder(), R"(C:\)");
  for (const DriveMapping& d : fs->Drives()) {
    EXPECT_GE(d.letter, 'C');
    if (d.letter == 'C') continue;
    struct stat st;
    EXPECT_TRUE(stat(d.device.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) << d.device;
  }
  // /proc is a file system of its own and no drive.
  EXPECT_EQ(fs->DosPathForHost("/proc/self"), "");
}

TEST_F(DriveTest, StartsProgramsWithHostPaths) {
  mkdir(H("x/Tools").c_str(), 0755);
  mkdir(H("x/a b").c_str(), 0755);
  WriteFile(H("x/Tools/Args.sh"),
            "#!/bin/sh\nout=\"$1\"; shift\nprintf '%s\\n' \"$@\" > \"$out\"\n"
            "exit 7\n");
  chmod(H("x/Tools/Args.sh").c_str(), 0755);
  auto fs = Drives();
  PosixProcesses processes(*fs);
  const Result<int64_t> pid =
      processes.Start(R"("X:\tools\args.sh" X:\out.txt "X:\A B\file.txt" -q Q:\elsewhere rel\path)",
                      ProgramWindow::Hidden);
  ASSERT_TRUE(pid) << pid.status().message();
  std::optional<int> code;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!(code = processes.Ended(pid.value())) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(code, 7);
  EXPECT_EQ(processes.Ended(pid.value()), 7);  // asked again
  EXPECT_EQ(processes.Ended(-5), -1);          // not one of its own
  EXPECT_EQ(ReadFile(H("x/out.txt")), H("x/a b/file.txt") + "\n-q\nQ:\\elsewhere\nrel\\path\n");

  const Result<int64_t> missing = processes.Start(R"(X:\tools\none.exe)", ProgramWindow::Hidden);
  ASSERT_FALSE(missing);
  EXPECT_NE(missing.status().message().find("No such file"), std::string::npos)
      << missing.status().message();
  EXPECT_FALSE(processes.Start("", ProgramWindow::Hidden));
}

}  // namespace
}  // namespace qv
