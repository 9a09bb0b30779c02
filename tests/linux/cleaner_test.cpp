// The junk cleaner on real trees: temporary folders as drives, GIO's recycle bin kept in a
// temporary folder, /proc for what is in use, and a loop-mounted ext4 image inside the tree.
#include <fcntl.h>
#include <gio/gio.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "LinuxTestProgram.h"
#include "disk/modHDDclean.h"
#include "screens/modScreens.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

// The recycle bin must be a temporary one before GIO first asks where it is.
const bool kTrashAside = [] {
  if (!std::getenv("XDG_DATA_HOME")) {
    static TempDir data;
    setenv("XDG_DATA_HOME", data.path().c_str(), 1);
  }
  return true;
}();

void Write(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// Original paths recorded in the recycle bin's info files, by the name kept under files/.
std::map<std::string, std::string> TrashedPaths() {
  std::map<std::string, std::string> paths;
  const std::string trash = std::string(g_get_user_data_dir()) + "/Trash";
  std::error_code ec;
  for (const auto& info : fs::directory_iterator(trash + "/info", ec)) {
    std::ifstream in(info.path());
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("Path=", 0) != 0) continue;
      char* path = g_uri_unescape_string(line.c_str() + 5, nullptr);
      std::string name = info.path().filename().string();
      name.resize(name.size() - std::string(".trashinfo").size());
      if (path && Exists(trash + "/files/" + name)) paths[name] = path;
      g_free(path);
    }
  }
  return paths;
}

std::set<std::string> TrashedOriginals() {
  std::set<std::string> originals;
  for (const auto& [name, path] : TrashedPaths()) originals.insert(path);
  return originals;
}

void EmptyTestTrash() {
  const std::string trash = std::string(g_get_user_data_dir()) + "/Trash";
  std::error_code ec;
  fs::remove_all(trash, ec);
}

std::string Layout() {
  std::string layout =
      "[0]\nType=button\nCommand0=loadscreen;mainscreen\nPosition=10;10;100;40\n"
      "[1]\nType=button\nCommand0=cleanhdd;start\nPosition=10;120;100;40\n"
      "[2]\nType=button\nCommand0=cleanhdd;cancel\nPosition=10;230;100;40\n"
      "[3]\nType=drivelist\nCommand0=cleanhdd;maindrive\nPosition=60;10;300;20\n"
      "Font=arial;10;0;0;255|255|255;1\nMenuColor=0|0|0\nMenuFontColor=255|255|255\n"
      "[4]\nType=statusbar\nCommand0=cleanhdd;status\nPosition=90;10;300;20\n"
      "Font=arial;10;0;0;255|255|255;1\n";
  int section = 5;
  int top = 120;
  for (const char* box :
       {"*.log", "*.~*", "~*.*", "*.*~", "*.---", "*.tmp", "*._mp", "*.old", "*.chk", "*.gid",
        "0???????.nch", "*.dmp", "windows temp", "user temp", "cookies", "total files/directories",
        "total junk-files/directories", "total junksize", "status"}) {
    layout += "[" + std::to_string(section++) + "]\nType=textbox\nCommand0=cleanhdd;" + box +
              "\nPosition=" + std::to_string(top) +
              ";400;300;20\nFont=arial;10;0;0;255|255|255;1\n";
    top += 25;
  }
  return layout;
}

// Drive C: holds the program, the system's temporary folder "tmp" and the user's cache
// "home/.cache"; drive D: is a second fixed drive.
class Cleaner : public ::testing::Test {
 protected:
  explicit Cleaner(const SpecialFoldersBelowC& special = {"tmp", "home/.cache"})
      : app{1, special} {}
  void SetUp() override {
    ASSERT_EQ(std::string(g_get_user_data_dir()).rfind("/tmp/", 0), 0u)
        << "the recycle bin of the tests must be a temporary folder";
    EmptyTestTrash();
    app.WriteFile("settings.ini", "[General]\nResX=1024\nResY=768\nTop=0\nLeft=0\n");
    app.WriteSkin({"Mainscreen", "cleanhdd"});
    app.WriteLayout("Mainscreen", "");
    app.WriteLayout("cleanhdd", Layout());
    ASSERT_TRUE(app.Start());
    ShowScreen(p(), "cleanhdd");
    c = app.DrivePath('C');
    d = app.DrivePath('D');
  }
  void TearDown() override { EmptyTestTrash(); }

  Program& p() { return app.program(); }
  std::string Text(const std::string& name) {
    for (const TextBoxElement& t : p().tables.TextBoxes)
      if (t.Commands[0].Name == name) return t.Text;
    return "<none>";
  }
  bool Enabled(const std::string& name) {
    for (const ButtonElement& b : p().tables.Buttons)
      if (b.Commands[0].Group == "cleanhdd" && b.Commands[0].Name == name) return b.Enabled;
    return false;
  }
  void Choose(char letter) {
    p().tables.DriveLists.at(0).ChosenDrive = std::string(1, letter) + ":\\";
  }
  // Runs a start; `duringRun` is called at every yield of the run with the status text.
  void Clean(std::function<void(const std::string& status)> duringRun = nullptr) {
    if (duringRun) p().onYield = [this, duringRun](Program&) { duringRun(Text("status")); };
    StartCleaning(p());
    p().onYield = nullptr;
  }

  LinuxTestApp app;
  std::string c, d;
};

// Special folders whose names hold the characters that patterns give a meaning.
class OddlyNamedSpecialFolders : public Cleaner {
 protected:
  OddlyNamedSpecialFolders() : Cleaner({"tmp2/t[1]x#", "c?che*"}) {}
};

TEST_F(OddlyNamedSpecialFolders, AreThoseVeryFoldersNotPatternsNorCaseTwins) {
  for (const char* folder : {"tmp2/t[1]x#", "c?che*"}) Write(c + "/" + folder + "/f.txt", "");
  Write(c + "/tmp2/t[1]x#/sub/g.txt", "");
  // What the paths would match as patterns, or without regard to case.
  const char* const others[] = {"tmp2/t1x5", "TMP2/t[1]x#", "tmp2/T[1]X#", "cache-old", "C?CHE*"};
  for (const char* folder : others) Write(c + "/" + folder + "/g.txt", "");
  Clean();
  EXPECT_EQ(TrashedOriginals(),
            (std::set<std::string>{c + "/tmp2/t[1]x#/f.txt", c + "/tmp2/t[1]x#/sub",
                                   c + "/c?che*/f.txt"}));
  EXPECT_EQ(Text("windows temp"), "2");
  EXPECT_EQ(Text("user temp"), "1");
  for (const char* folder : others) EXPECT_TRUE(Exists(c + "/" + folder + "/g.txt")) << folder;

  // A temporary folder set to a drive's root or to the home folder names no special folder.
  const std::string home = c + "/home/me";
  fs::create_directories(home);
  const char* const oldHome = std::getenv("HOME");
  const std::string keepHome = oldHome ? oldHome : "";
  setenv("HOME", home.c_str(), 1);
  const PosixJunkScan roots(app.files(), PosixJunkScanOptions{c, c + "/home"});
  const PosixJunkScan homes(app.files(), PosixJunkScanOptions{home, home + "/.cache"});
  EXPECT_EQ(roots.SpecialFolder("windows temp"), "");
  EXPECT_EQ(roots.SpecialFolder("user temp"), "");
  EXPECT_EQ(homes.SpecialFolder("windows temp"), "");
  EXPECT_EQ(homes.SpecialFolder("user temp"), "C:\\home\\me\\.cache\\");
  // A relative cache folder is none: the default one is meant.
  const char* const oldCache = std::getenv("XDG_CACHE_HOME");
  const std::string keepCache = oldCache ? oldCache : "";
  setenv("XDG_CACHE_HOME", "cache", 1);
  const PosixJunkScan relative(app.files(), PosixJunkScanOptions{"tmp", std::nullopt});
  EXPECT_EQ(relative.SpecialFolder("windows temp"), "");
  EXPECT_EQ(relative.SpecialFolder("user temp"), "C:\\home\\me\\.cache\\");
  if (oldCache)
    setenv("XDG_CACHE_HOME", keepCache.c_str(), 1);
  else
    unsetenv("XDG_CACHE_HOME");
  if (oldHome)
    setenv("HOME", keepHome.c_str(), 1);
  else
    unsetenv("HOME");
}

TEST_F(Cleaner, InFoldersUsersShareOnlyOurOwnEntriesAreJunk) {
  const uid_t other = getuid() + 4321;
  // The temporary folder as /tmp is, and a shared folder elsewhere on a drive.
  for (const std::string& shared : {c + "/tmp", d + "/pub"}) {
    Write(shared + "/mine", "");
    Write(shared + "/mine.log", "");
    Write(shared + "/theirs", "");
    Write(shared + "/theirs.log", "");
    Write(shared + "/theirs.d/inner.log", "");
    for (const char* name : {"/theirs", "/theirs.log", "/theirs.d"})
      ASSERT_EQ(lchown((shared + name).c_str(), other, other), 0) << name;
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  }
  // Not shared without the sticky bit: a folder of one's own holding what others left.
  Write(d + "/own/theirs.log", "");
  ASSERT_EQ(lchown((d + "/own/theirs.log").c_str(), other, other), 0);
  // A shared folder of one's own, junk by its place or its name, holding another's file deeper.
  for (const std::string& drop : {c + "/tmp/drop", d + "/drop.tmp"}) {
    Write(drop + "/sub/theirs", "");
    ASSERT_EQ(lchown((drop + "/sub/theirs").c_str(), other, other), 0);
    ASSERT_EQ(chmod((drop + "/sub").c_str(), 01777), 0);
  }
  Clean();
  Choose('D');
  Clean();
  EXPECT_EQ(TrashedOriginals(),
            (std::set<std::string>{c + "/tmp/mine", c + "/tmp/mine.log", d + "/pub/mine.log",
                                   d + "/own/theirs.log"}));
  for (const std::string& shared : {c + "/tmp", d + "/pub"})
    for (const char* name : {"/theirs", "/theirs.log", "/theirs.d/inner.log"})
      EXPECT_TRUE(Exists(shared + name)) << shared + name;
  EXPECT_TRUE(Exists(c + "/tmp/drop/sub/theirs"));
  EXPECT_TRUE(Exists(d + "/drop.tmp/sub/theirs"));
}

TEST_F(Cleaner, RulesInOrderCountersTotalsAndRestorableTrash) {
  const std::string mib(1048576, 'x');
  std::map<std::string, std::string> junk = {{"report.log.tmp", "*.tmp"},
                                             {"backup.old.log", "*.log"},
                                             {"~temp.log", "*.log"},
                                             {"ERROR.LOG", "*.log"},
                                             {"0a1b2c3d.nch", "0???????.nch"},
                                             {"cache.old", "*.old"},
                                             {"doc.~1", "*.~*"},
                                             {"note.txt~", "*.*~"},
                                             {"x.---", "*.---"},
                                             {"a._mp", "*._mp"},
                                             {"f.chk", "*.chk"},
                                             {"h.gid", "*.gid"},
                                             {"core.dmp", "*.dmp"},
                                             {"bad\xff.log", "*.log"},
                                             {"new\nline.tmp", "*.tmp"}};
  for (const auto& [name, rule] : junk)
    if (name != "cache.old") Write(d + "/docs/" + name, name == "ERROR.LOG" ? mib : "j");
  Write(d + "/docs/core.dmp", mib.substr(0, 524288));
  Write(d + "/docs/cache.old/inner.txt", "i");
  Write(d + "/docs/0a1b2c3d.nch.bak", "keep");
  Write(d + "/docs/keep.txt", "keep");
  Choose('D');
  std::vector<int> bar;
  Clean([&](const std::string&) {
    const int percent = p().tables.StatusBars.at(0).Percent;
    if (bar.empty() || bar.back() != percent) bar.push_back(percent);
  });
  EXPECT_EQ(bar, (std::vector<int>{0, 67, 100}));  // every tenth deletion, and the last

  std::map<std::string, int> perRule;
  for (const auto& [name, rule] : junk) ++perRule[rule];
  for (const auto& [rule, count] : perRule) EXPECT_EQ(Text(rule), std::to_string(count)) << rule;
  EXPECT_EQ(Text("cookies"), "-");
  EXPECT_EQ(Text("total junk-files/directories"), std::to_string(junk.size()));
  EXPECT_EQ(Text("total junksize"), "1.5 MB");  // and a few bytes, rounded away
  EXPECT_EQ(Text("status"), "-");
  EXPECT_TRUE(Enabled("start"));
  EXPECT_FALSE(Enabled("cancel"));
  EXPECT_TRUE(Exists(d + "/docs/0a1b2c3d.nch.bak"));
  EXPECT_TRUE(Exists(d + "/docs/keep.txt"));

  // Every entry is in the recycle bin under its original path, and goes back there.
  std::map<std::string, std::string> trashed = TrashedPaths();
  std::set<std::string> originals;
  for (const auto& [name, path] : trashed) originals.insert(path);
  for (const auto& [name, rule] : junk) {
    EXPECT_FALSE(Exists(d + "/docs/" + name)) << name;
    EXPECT_EQ(originals.count(d + "/docs/" + name), 1u) << name;
  }
  EXPECT_EQ(trashed.size(), junk.size());
  const std::string trash = std::string(g_get_user_data_dir()) + "/Trash/files/";
  for (const auto& [name, path] : trashed) fs::rename(trash + name, path);
  EXPECT_EQ(fs::file_size(d + "/docs/ERROR.LOG"), mib.size());
  EXPECT_TRUE(Exists(d + "/docs/cache.old/inner.txt"));
}

TEST_F(Cleaner, SpecialFoldersAndTheEntryCounter) {
  // Everything directly in the temporary folders is junk; below them only by name.
  Write(c + "/tmp/anything", "a");
  Write(c + "/tmp/sub/deep.txt", "kept by name");
  Write(c + "/tmp/sub/deep.tmp", "junk by name");
  Write(c + "/home/.cache/thumbs/t.png", "t");
  Write(c + "/home/other/cache.png", "kept");
  // Names the DOS form holds only mapped.
  Write(c + "/tmp/back\\slash", "a");
  Write(c + "/home/other\\dir/x\\y.tmp", "junk by name");
  EXPECT_EQ(GetSpecialFolderPath(p(), kWindowsTemp), "C:\\tmp\\");
  EXPECT_EQ(GetSpecialFolderPath(p(), kCsidlHistory), "C:\\home\\.cache\\");
  EXPECT_EQ(GetSpecialFolderPath(p(), kCsidlCookies), "");
  Clean();
  EXPECT_EQ(Text("windows temp"), "3");
  EXPECT_EQ(Text("user temp"), "1");
  EXPECT_EQ(Text("*.tmp"), "2");  // sub\deep.tmp, found again below its junk folder
  EXPECT_FALSE(Exists(c + "/tmp/anything"));
  EXPECT_FALSE(Exists(c + "/tmp/back\\slash"));
  EXPECT_FALSE(Exists(c + "/home/other\\dir/x\\y.tmp"));
  EXPECT_EQ(TrashedOriginals().count(c + "/home/other\\dir/x\\y.tmp"), 1u);
  EXPECT_FALSE(Exists(c + "/tmp/sub"));
  EXPECT_FALSE(Exists(c + "/home/.cache/thumbs"));
  EXPECT_TRUE(Exists(c + "/home/other/cache.png"));
  EXPECT_TRUE(Exists(c + "/tmp"));

  // 250 entries: the counter shows each hundred while searching and stays at 200.
  for (int i = 0; i < 249; ++i) Write(d + "/f/" + std::to_string(i) + ".txt", "");
  Choose('D');
  std::vector<std::string> shown;
  Clean([&](const std::string&) {
    const std::string t = Text("total files/directories");
    if (shown.empty() || shown.back() != t) shown.push_back(t);
  });
  EXPECT_EQ(shown, (std::vector<std::string>{"-", "100", "200"}));
  EXPECT_EQ(Text("total files/directories"), "200");
  EXPECT_EQ(Text("total junk-files/directories"), "-");
}

TEST_F(Cleaner, RecycleBinsAreNotSearched) {
  const std::string uid = std::to_string(getuid());
  Write(d + "/RECYCLER/S-1-5-21/old.log", "in the bin");
  Write(d + "/RECYCLER/top.log", "tested like any entry");
  Write(d + "/.Trash-" + uid + "/files/gone.log", "in the bin");
  Write(d + "/.Trash/" + uid + "/files/gone.tmp", "in the bin");
  Write(d + "/.Trash-1000.old/x.log", "no bin: not at the top");
  Choose('D');
  Clean();
  EXPECT_TRUE(Exists(d + "/RECYCLER/S-1-5-21/old.log"));
  EXPECT_FALSE(Exists(d + "/RECYCLER/top.log"));
  EXPECT_TRUE(Exists(d + "/.Trash-" + uid + "/files/gone.log"));
  EXPECT_TRUE(Exists(d + "/.Trash/" + uid + "/files/gone.tmp"));
  EXPECT_FALSE(Exists(d + "/.Trash-1000.old"));
}

TEST_F(Cleaner, WhatIsInUseStays) {
  Write(d + "/held.log", "open in a child");
  Write(d + "/busy.old/deep/held.tmp", "open in a child");
  Write(d + "/cwd.old/x", "");
  Write(d + "/mapped.dmp", std::string(4096, 'm'));
  Write(d + "/free.log", "free");
  mkfifo((d + "/pipe.tmp").c_str(), 0600);
  fs::create_directories(d + "/sock.old");
  // A socket bound by this process, in a junk folder.
  int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", (d + "/sock.old/s").c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  int mapped = open((d + "/mapped.dmp").c_str(), O_RDONLY);
  void* map = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, mapped, 0);
  close(mapped);
  // A child holds two files open and works in a folder.
  const std::string held = d + "/held.log", deep = d + "/busy.old/deep/held.tmp",
                    cwd = d + "/cwd.old";
  const pid_t child = fork();
  if (child == 0) {
    open(held.c_str(), O_RDONLY);
    open(deep.c_str(), O_RDONLY);
    if (chdir(cwd.c_str()) == 0) pause();
    _exit(0);
  }
  // Wait until the child holds them.
  for (int i = 0; i < 500; ++i) {
    std::error_code ec;
    if (fs::read_symlink("/proc/" + std::to_string(child) + "/cwd", ec) == cwd) break;
    usleep(10000);
  }
  Choose('D');
  Clean();
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  munmap(map, 4096);
  close(sock);

  EXPECT_EQ(TrashedOriginals(), std::set<std::string>{d + "/free.log"});
  EXPECT_EQ(Text("*.log"), "1");
  for (const char* rule : {"*.old", "*.tmp", "*.dmp"}) EXPECT_EQ(Text(rule), "-") << rule;
  for (const char* kept : {"/held.log", "/busy.old/deep/held.tmp", "/cwd.old/x", "/mapped.dmp",
                           "/pipe.tmp", "/sock.old/s"})
    EXPECT_TRUE(Exists(d + kept)) << kept;
}

// Mounts a fresh ext4 image on `folder` for the life of the object.
class LoopMount {
 public:
  LoopMount(const std::string& image, const std::string& folder) : folder_(folder) {
    const std::string make = "truncate -s 8M '" + image + "' && mkfs.ext4 -q -F '" + image +
                             "' >/dev/null 2>&1 && mount -o loop '" + image + "' '" + folder +
                             "' 2>/dev/null";
    mounted_ = std::system(make.c_str()) == 0;
  }
  ~LoopMount() {
    // umount of a loop mount made by mount(8) detaches its device too (autoclear).
    if (mounted_ && umount2(folder_.c_str(), 0) != 0) umount2(folder_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  std::string folder_;
  bool mounted_ = false;
};

TEST_F(Cleaner, TheWalkFollowsNoLinkAndStaysOnItsFileSystem) {
  TempDir outside;
  Write(outside.path() + "/precious.log", "outside the drive");
  Write(outside.path() + "/folder.old/inner.log", "outside the drive");
  fs::create_directories(d + "/a");
  fs::create_symlink(outside.path(), d + "/a/outside");
  fs::create_symlink(outside.path() + "/folder.old", d + "/a/link.old");
  fs::create_symlink(outside.path() + "/precious.log", d + "/a/link.log");
  fs::create_symlink("..", d + "/a/loop");
  fs::create_directories(d + "/mnt.old/disk");
  Write(d + "/mnt.old/plain.log", "junk beside the mount");
  LoopMount mount(outside.path() + "/image", d + "/mnt.old/disk");
  if (mount.mounted()) Write(d + "/mnt.old/disk/inner.log", "another file system");
  Choose('D');
  Clean();
  // The links themselves are junk; what they lead to is not touched.
  EXPECT_FALSE(Exists(d + "/a/link.old"));
  EXPECT_FALSE(Exists(d + "/a/link.log"));
  EXPECT_TRUE(Exists(outside.path() + "/precious.log"));
  EXPECT_TRUE(Exists(outside.path() + "/folder.old/inner.log"));
  EXPECT_FALSE(Exists(d + "/mnt.old/plain.log"));
  if (!mount.mounted()) GTEST_SKIP() << "cannot loop-mount an ext4 image here";
  EXPECT_TRUE(Exists(d + "/mnt.old/disk/inner.log"));
  EXPECT_EQ(Text("*.old"), "1");  // the link only: mnt.old holds a mount
  EXPECT_EQ(Text("*.log"), "2");
}

TEST_F(Cleaner, AFolderReplacedByALinkBeforeItsDeletionIsNotFollowed) {
  TempDir outside;
  Write(outside.path() + "/x.log", "outside the drive");
  Write(d + "/first.log", "");
  Write(d + "/a/x.log", "");
  Choose('D');
  bool swapped = false;
  Clean([&](const std::string& status) {
    if (status != "Deleting..." || swapped) return;
    fs::rename(d + "/a", d + "/a-real");
    fs::create_symlink(outside.path(), d + "/a");
    swapped = true;
  });
  ASSERT_TRUE(swapped);
  EXPECT_TRUE(Exists(outside.path() + "/x.log"));
  EXPECT_TRUE(Exists(d + "/a-real/x.log"));
  EXPECT_EQ(TrashedOriginals(), std::set<std::string>{d + "/first.log"});
}

// Names the DOS form cannot hold are listed, examined and trashed under the explorer's names.
TEST_F(Cleaner, OddHostNamesGoByTheExplorersNames) {
  for (const char* name : {"a\\b.tmp", "dot.tmp.", "blank.log "}) Write(d + "/odd/" + name, "x");
  const Result<std::vector<DirEntry>> shown = app.files().ListFolder("D:\\odd\\", ListDetail::Full);
  ASSERT_TRUE(shown.ok());
  ASSERT_TRUE(app.junk().GatherInUse(nullptr));
  const Result<std::vector<JunkScanEntry>> listed = app.junk().List("D:\\odd\\");
  ASSERT_TRUE(listed.ok());
  std::set<std::string> explorerNames, junkNames;
  for (const DirEntry& e : *shown) explorerNames.insert(e.name);
  for (const JunkScanEntry& e : *listed) junkNames.insert(e.name);
  EXPECT_EQ(junkNames, explorerNames);
  ASSERT_EQ(junkNames.size(), 3u);
  for (const std::string& name : explorerNames) {
    const std::string path = "D:\\odd\\" + name;
    const std::optional<JunkItem> item = app.junk().Examine(path, nullptr);
    ASSERT_TRUE(item.has_value()) << name;
    EXPECT_EQ(item->bytes, 1u);
    EXPECT_TRUE(app.junk().Recheck(path, item->id, nullptr)) << name;
    EXPECT_TRUE(app.files().DeleteToTrash(path).ok()) << name;
    EXPECT_TRUE(app.junk().Gone(path)) << name;
  }
  EXPECT_TRUE(fs::is_empty(d + "/odd"));
}

TEST_F(Cleaner, AnEntryTheBinRefusesStays) {
  Write(d + "/locked.log", "immutable");
  Write(d + "/free.log", "");
  const int fd = open((d + "/locked.log").c_str(), O_RDONLY);
  int flags = 0;
  if (ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) GTEST_SKIP() << "no file attributes here";
  int immutable = flags | FS_IMMUTABLE_FL;
  if (ioctl(fd, FS_IOC_SETFLAGS, &immutable) != 0) GTEST_SKIP() << "cannot make a file immutable";
  close(fd);
  Choose('D');
#ifdef __SANITIZE_ADDRESS__
  __lsan_disable();  // GLib's trash leaks a few bytes on its failure path, not ours to free
#endif
  Clean();
#ifdef __SANITIZE_ADDRESS__
  __lsan_enable();
#endif
  const int again = open((d + "/locked.log").c_str(), O_RDONLY);
  ioctl(again, FS_IOC_SETFLAGS, &flags);
  close(again);
  EXPECT_TRUE(Exists(d + "/locked.log"));
  EXPECT_EQ(TrashedOriginals(), std::set<std::string>{d + "/free.log"});
  // Named where the user looks and on standard error, and not counted as cleared away.
  const std::string dos = "D:\\locked.log";
  EXPECT_EQ(Text("status").rfind("Not moved to the recycle bin: " + dos, 0), 0u) << Text("status");
  EXPECT_TRUE(app.diag().Mentions(dos));
  EXPECT_EQ(Text("*.log"), "1");
  EXPECT_EQ(Text("total junk-files/directories"), "1");
  EXPECT_EQ(Text("total junksize"), "0 MB");
}

TEST(InUse, TheGatheringYieldsAfterEachProcessAndStopsWhenTold) {
  TempDir proc;
  for (const char* pid : {"1", "22", "333"}) fs::create_directories(proc.path() + "/" + pid);
  InUseSet set;
  int calls = 0;
  EXPECT_TRUE(GatherInUse(proc.path(), &set, [&] { return ++calls > 0; }));
  EXPECT_EQ(calls, 3);
  calls = 0;
  EXPECT_FALSE(GatherInUse(proc.path(), &set, [&] { return ++calls < 2; }));
  EXPECT_EQ(calls, 2);
}

TEST_F(Cleaner, CancelsAndAStartWhileACancelledRunUnwinds) {
  for (int i = 0; i < 30; ++i) Write(d + "/j" + std::to_string(i) + ".log", "");
  Choose('D');
  // During the search: nothing is deleted, and the idle state comes at once.
  int yields = 0;
  bool idleAtOnce = false;
  Clean([&](const std::string&) {
    if (++yields != 5) return;
    CancelCleaning(p());
    idleAtOnce = Enabled("start") && !Enabled("cancel");
  });
  EXPECT_TRUE(idleAtOnce);
  EXPECT_TRUE(TrashedOriginals().empty());
  EXPECT_FALSE(p().flags.CancelRequested);

  // During the deletion: what was trashed stays trashed, the rest is kept.
  yields = 0;
  Clean([&](const std::string& status) {
    if (status == "Deleting..." && ++yields == 5) CancelCleaning(p());
  });
  const size_t trashed = TrashedOriginals().size();
  EXPECT_GT(trashed, 0u);
  EXPECT_LT(trashed, 30u);

  // A start pressed while the cancelled run unwinds runs after it, never inside it.
  int depth = 0, deepest = 0;
  yields = 0;
  Clean([&](const std::string&) {
    deepest = std::max(deepest, p().shell.yieldDepth);
    if (++yields != 3) return;
    depth = p().shell.yieldDepth;
    CancelCleaning(p());
    StartCleaning(p());
  });
  EXPECT_EQ(deepest, depth);  // the second run yielded at the first one's depth
  EXPECT_EQ(TrashedOriginals().size(), 30u);
  EXPECT_TRUE(Enabled("start"));
}

TEST_F(Cleaner, NothingHappensOnADriveThatIsNotAFixedDisk) {
  if (!fs::is_directory("/dev/shm")) GTEST_SKIP() << "no tmpfs at /dev/shm here";
  const std::string folder = "/dev/shm/quorvin-clean-" + std::to_string(getpid());
  Write(folder + "/x.log", "on a memory-backed file system");
  PosixFileSystem files({DriveMapping{'C', folder, ""}}, folder);
  PosixJunkScan junk(files, PosixJunkScanOptions{"", ""});
  Program memory(Platform{app.display(), app.events(), files, app.diag(), p().os.processes,
                          app.system(), app.clock(), &junk});
  ListElement list;
  list.Commands = {CommandPair{"cleanhdd", "maindrive"}};
  list.ChosenDrive = "C:\\";
  memory.tables.DriveLists.push_back(list);
  RunCleaning(memory);
  const bool kept = Exists(folder + "/x.log");
  fs::remove_all(folder);
  EXPECT_TRUE(kept);
  EXPECT_EQ(memory.cleaner.JunkList.size(), 1u);
}

TEST(CleanerProbe, TheDefaultSkinsScreenCleansADrive) {
  ASSERT_EQ(std::string(g_get_user_data_dir()).rfind("/tmp/", 0), 0u);
  EmptyTestTrash();
  LinuxTestApp app;
  const fs::path skin = fs::path(QV_BINARY_DIR) / "Skin";
  ASSERT_TRUE(fs::exists(skin / "cleanhdd.ini")) << "the build paints the skin first";
  fs::copy(skin, app.AppPath("Skin"), fs::copy_options::recursive);
  app.WriteFile("settings.ini", "[General]\nResX=1024\nResY=768\nTop=0\nLeft=0\n");
  const std::string c = app.DrivePath('C');
  Write(c + "/logs/a.log", "a");
  Write(c + "/logs/b.LOG", "b");
  Write(c + "/x.tmp", std::string(3 * 1048576, 'x'));
  const TempDir out;
  const ProbeResult r = app.RunProbe(
      "press loadscreen cleanhdd\npress cleanhdd start\ndump clean.json\n", out.path());
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string dump = ReadWholeFile(out.path() + "/clean.json");
  EXPECT_EQ(DumpText(dump, "cleanhdd", "*.log"), "2");
  EXPECT_EQ(DumpText(dump, "cleanhdd", "*.tmp"), "1");
  EXPECT_EQ(DumpText(dump, "cleanhdd", "total junk-files/directories"), "3");
  EXPECT_EQ(DumpText(dump, "cleanhdd", "total junksize"), "3 MB");
  EXPECT_EQ(TrashedOriginals(),
            (std::set<std::string>{c + "/logs/a.log", c + "/logs/b.LOG", c + "/x.tmp"}));
  EmptyTestTrash();
}

TEST(Wildcards, DigitsListsAndUnicodeCharacters) {
  EXPECT_TRUE(MatchesWildcard("f7.log", "f#.log"));
  EXPECT_FALSE(MatchesWildcard("fx.log", "f#.log"));
  EXPECT_TRUE(MatchesWildcard("b.txt", "[a-c].txt"));
  EXPECT_FALSE(MatchesWildcard("b.txt", "[!a-c].txt"));
  EXPECT_TRUE(MatchesWildcard("c:\\a[1]\\", "*c:\\a[[]1]\\"));
  EXPECT_TRUE(MatchesWildcard("0äbcdefg.nch", "0???????.nch"));
  EXPECT_FALSE(MatchesWildcard("x.log.tmp", "*.log"));
  EXPECT_TRUE(MatchesWildcard("x.~", "*.~*"));
  EXPECT_EQ(JunkSizeText(0), "0 MB");
  EXPECT_EQ(JunkSizeText(12.5), "12.5 MB");
  EXPECT_EQ(JunkSizeText(0.125), "0.12 MB");  // half to even
  EXPECT_EQ(JunkSizeText(2.999), "3 MB");
  EXPECT_EQ(JunkSizeText(3000000.07), "3000000.07 MB");
}

}  // namespace
}  // namespace qv::test
