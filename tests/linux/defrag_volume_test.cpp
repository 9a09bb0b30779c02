// Fragmentation analysis on real ext4 and FAT images, loop-mounted as a drive: figures compared
// with filefrag and dumpe2fs, and a defragmentation run through the shipped tool.
#include <ext2fs/ext2fs.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "DiskImages.h"
#include "LinuxTestProgram.h"
#include "disk/modDefrag.h"
#include "platform/linux/PrivilegedHelper.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

// False when the volume is full.
bool WriteBlocks(const std::string& path, size_t bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const std::string data(bytes, 'q');
  const bool ok = write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
  close(fd);
  return ok;
}

// Extents of a file as filefrag counts them; -1 when it cannot tell.
int FilefragExtents(const std::string& path) {
  std::string out;
  if (Sh("filefrag '" + path + "'", &out) != 0) return -1;
  std::smatch m;
  if (!std::regex_search(out, m, std::regex(": (\\d+) extents? found"))) return -1;
  return std::stoi(m[1]);
}

// Free blocks as dumpe2fs finds them in the group bitmaps (not the superblock's count).
int64_t DumpedFreeBlocks(const std::string& device, int64_t* total) {
  std::string out;
  if (Sh("dumpe2fs " + device, &out) != 0) return -1;
  int64_t free = 0;
  std::smatch m;
  if (std::regex_search(out, m, std::regex("Block count:\\s+(\\d+)"))) *total = std::stoll(m[1]);
  const std::regex ranges("\n  Free blocks: ([0-9, -]*)");
  for (auto it = std::sregex_iterator(out.begin(), out.end(), ranges); it != std::sregex_iterator();
       ++it) {
    std::istringstream list((*it)[1].str());
    for (std::string part; std::getline(list, part, ',');) {
      int64_t a = 0, b = 0;
      const int n = std::sscanf(part.c_str(), " %ld-%ld", &a, &b);
      if (n == 1) free += 1;
      if (n == 2) free += b - a + 1;
    }
  }
  return free;
}

class Volume : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0 ||
        Sh("command -v losetup && command -v mkfs.ext4 && command -v filefrag") != 0)
      GTEST_SKIP() << "needs root, loop devices and e2fsprogs to mount test images";
    drive = app.DrivePath('D');
    image = app.DrivePath('C') + "/disk.img";
    own = p().os.volumes;
  }
  // Formats and mounts the image as drive D:; false (and a skip) where mounting is refused.
  bool Mount(const std::string& mkfs, int megabytes = 32) {
    Sh("truncate -s " + std::to_string(megabytes) + "M '" + image + "'");
    if (Sh(mkfs + " '" + image + "'") != 0) return false;
    mount = std::make_unique<LoopMount>(image, drive, "noatime");
    return mount->ok();
  }
  // Fills the drive with 16 KiB files, deletes every second one and writes `name` into the
  // holes; the other small files are deleted afterwards when `room` is asked for.
  void Fragment(const std::string& name, size_t bytes, bool room) {
    fs::create_directory(drive + "/fill");
    int n = 0;
    while (WriteBlocks(drive + "/fill/" + std::to_string(n), 16384)) ++n;
    for (int i = 0; i < n; i += 2) fs::remove(drive + "/fill/" + std::to_string(i));
    sync();
    ASSERT_TRUE(WriteBlocks(drive + "/" + name, bytes));
    if (room) fs::remove_all(drive + "/fill");
    sync();
  }
  // What the reads keep open would hold the drive busy (tests may swap in volumes of their own).
  void TearDown() override {
    if (own) own->EndFileReads();
  }
  Program& p() { return app.program(); }

  LinuxTestApp app{1};
  Volumes* own = nullptr;
  std::string drive, image;
  std::unique_ptr<LoopMount> mount;
};

#define MOUNT_OR_SKIP(mkfs) \
  if (!Mount(mkfs)) GTEST_SKIP() << "this machine does not mount loop devices"

TEST_F(Volume, ExtentsAndFreeClustersAgreeWithTheSystemTools) {
  MOUNT_OR_SKIP("mkfs.ext4 -q -F -b 4096 -i 8192");
  Fragment("big.bin", 1 << 20, false);
  WriteBlocks(drive + "/small.txt", 100);
  WriteBlocks(drive + "/empty", 0);
  const int big = FilefragExtents(drive + "/big.bin");
  ASSERT_GT(big, 3) << "the image did not fragment the file";
  EXPECT_EQ(GetFileExtents(p(), "D:\\big.bin").ExtentCount, big);
  EXPECT_TRUE(GetFileExtents(p(), "D:\\big.bin").Movable);
  EXPECT_EQ(GetFileExtents(p(), "D:\\small.txt").ExtentCount,
            FilefragExtents(drive + "/small.txt"));
  EXPECT_EQ(GetFileExtents(p(), "D:\\empty").ExtentCount, 0);
  EXPECT_EQ(GetFileExtents(p(), "D:\\fill\\1").ExtentCount, FilefragExtents(drive + "/fill/1"));

  int64_t total = 0;
  const std::vector<FreeRun> runs = ReadFreeSpaceRuns(p(), "D:", total);
  int64_t free = 0;
  for (const FreeRun& r : runs) free += r.Length;
  int64_t dumpedTotal = 0;
  EXPECT_EQ(free, DumpedFreeBlocks(mount->device(), &dumpedTotal));
  EXPECT_EQ(total, dumpedTotal);
  EXPECT_GT(runs.size(), 10u);

  // The kernel's map of the mounted file system gives the same runs once the file system has
  // let go of what it keeps in reserve for files being written.
  mount.reset();
  mount = std::make_unique<LoopMount>(image, drive, "noatime");
  ASSERT_TRUE(mount->ok());
  const std::vector<FreeRun> settled = ReadFreeSpaceRuns(p(), "D:", total);
  PosixVolumes kernel(app.files(), PosixVolumeOptions{true, "/proc/swaps"});
  Platform os = p().os;
  os.volumes = &kernel;
  Program other(os);
  int64_t kernelTotal = 0;
  const std::vector<FreeRun> kernelRuns = ReadFreeSpaceRuns(other, "D:", kernelTotal);
  EXPECT_EQ(kernelTotal, total);
  ASSERT_EQ(kernelRuns.size(), settled.size());
  for (size_t k = 0; k < settled.size(); ++k) {
    EXPECT_EQ(kernelRuns[k].StartLcn, settled[k].StartLcn) << k;
    EXPECT_EQ(kernelRuns[k].Length, settled[k].Length) << k;
  }
}

TEST_F(Volume, WhatCannotBeMovedAndWhatTheWalkLeavesAlone) {
  MOUNT_OR_SKIP("mkfs.ext4 -q -F -b 4096");
  WriteBlocks(drive + "/locked", 8192);
  WriteBlocks(drive + "/appendonly", 8192);
  WriteBlocks(drive + "/swap file", 8192);
  WriteBlocks(drive + "/plain", 8192);
  auto setFlag = [&](const std::string& name, int flag) {
    const int fd = open((drive + "/" + name).c_str(), O_RDONLY);
    int flags = 0;
    const bool ok = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                    (flags |= flag, ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    close(fd);
    return ok;
  };
  ASSERT_TRUE(setFlag("locked", FS_IMMUTABLE_FL));
  ASSERT_TRUE(setFlag("appendonly", FS_APPEND_FL));  // both go with the image
  // A swap list that names the file (the machine's own swap is left alone).
  std::ofstream(app.DrivePath('C') + "/swaps")
      << "Filename\tType\tSize\tUsed\tPriority\n"
      << drive << "/swap\\040file                file\t8\t0\t-2\n";
  PosixVolumes volumes(app.files(), PosixVolumeOptions{false, app.DrivePath('C') + "/swaps"});
  p().os.volumes = &volumes;
  for (const char* name : {"locked", "appendonly", "swap file"}) {
    const FileExtentInfo info = GetFileExtents(p(), std::string("D:\\") + name);
    EXPECT_FALSE(info.Movable) << name;
    EXPECT_EQ(info.ExtentCount, 1) << name;  // still read, to be marked on the map
  }
  EXPECT_TRUE(GetFileExtents(p(), "D:\\plain").Movable);

  // Gone between the walk and the read.
  const FileExtentInfo gone = GetFileExtents(p(), "D:\\gone");
  EXPECT_FALSE(gone.Movable);
  EXPECT_EQ(gone.ExtentCount, 0);

  // A link to a folder outside and another file system mounted inside are not walked; the link
  // itself has no extents of its own.
  TempDir outside;
  WriteBlocks(outside.path() + "/outside.bin", 4096);
  fs::create_symlink(outside.path(), drive + "/link");
  fs::create_directory(drive + "/inner");
  ASSERT_EQ(::mount("tmpfs", (drive + "/inner").c_str(), "tmpfs", 0, "size=1m"), 0);
  struct Unmount {
    std::string at;
    ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
  } unmountInner{drive + "/inner"};
  WriteBlocks(drive + "/inner/inside.bin", 4096);
  std::vector<std::string> files;
  CollectFiles(p(), "D:\\", files, true);
  for (const std::string& f : files) {
    EXPECT_EQ(f.find("outside.bin"), std::string::npos);
    EXPECT_EQ(f.find("inside.bin"), std::string::npos);
  }
  EXPECT_NE(std::find(files.begin(), files.end(), "D:\\plain"), files.end());
  EXPECT_EQ(GetFileExtents(p(), "D:\\link").ExtentCount, 0);
}

TEST_F(Volume, OnlyExtFileSystemsHaveAMap) {
  if (Sh("command -v mkfs.fat") != 0) GTEST_SKIP() << "dosfstools is not installed";
  Sh("truncate -s 32M '" + image + "'");
  ASSERT_EQ(Sh("mkfs.fat '" + image + "'"), 0);
  PosixFileSystem files({DriveMapping{'D', drive, image}}, drive);
  PosixVolumes volumes(files);
  const Result<std::unique_ptr<OpenVolume>> fat = volumes.Open("D:");
  ASSERT_FALSE(fat);
  EXPECT_NE(fat.status().message(), "");
  p().os.volumes = &volumes;
  int64_t total = 17;
  EXPECT_TRUE(ReadFreeSpaceRuns(p(), "D:", total).empty());
  EXPECT_EQ(total, 17);
  // The same drive as an ext4 image has one.
  ASSERT_EQ(Sh("mkfs.ext4 -q -F -b 4096 '" + image + "'"), 0);
  EXPECT_FALSE(ReadFreeSpaceRuns(p(), "D:", total).empty());
  EXPECT_EQ(total, 8192);
}

// The default skin's screen through the probe: the map on entering, then a run whose tool
// defragments the fragmented file (a quote in its name, a blank in the program's folder).
TEST_F(Volume, TheDefaultSkinsScreenDefragmentsTheImage) {
  if (Sh("command -v e4defrag") != 0) GTEST_SKIP() << "e4defrag is not installed";
  const fs::path skin = fs::path(QV_BINARY_DIR) / "Skin";
  ASSERT_TRUE(fs::exists(skin / "defrag.ini")) << "the build paints the skin first";
  MOUNT_OR_SKIP("mkfs.ext4 -q -F -b 4096 -i 8192");
  Fragment("big \"file\" ä.bin", 1 << 20, true);
  const std::string file = drive + "/big \"file\" ä.bin";
  const int before = FilefragExtents(file);
  ASSERT_GT(before, 3) << "the image did not fragment the file";
  // The program lives on the image: its own drive is the one the screen shows first.
  const std::string own = drive + "/my app", out = own + "/out";
  fs::create_directories(own + "/Tools");
  fs::create_directories(out);
  fs::copy(skin, own + "/Skin", fs::copy_options::recursive);
  fs::copy(fs::path(QV_BINARY_DIR) / "settings.ini", own + "/settings.ini");
  fs::copy(fs::path(QV_SOURCE_DIR) / "tools/defrag/Defrag.exe", own + "/Tools/Defrag.exe");
  std::ofstream(own + "/script.txt") << "press loadscreen defrag\ndump entered.json\n"
                                        "press defrag start\ndump done.json\n";
  std::string log;
  ASSERT_EQ(Sh(std::string(QV_BINARY_DIR) + "/quorvin-probe run --app-dir '" + own +
                   "' --drive 'C=" + drive + "' --out '" + out + "' '" + own + "/script.txt'",
               &log),
            0)
      << log;
  const std::string entered = ReadWholeFile(out + "/entered.json");
  // The text box of that key, not the bar.
  const auto status = [](const std::string& dump) {
    return DumpText(dump.substr(dump.find("\"textBoxes\"")), "defrag", "status");
  };
  EXPECT_EQ(status(entered), "-");
  EXPECT_NE(entered.find("\"TotalClusters\": 8192"), std::string::npos) << log;
  const std::string done = ReadWholeFile(out + "/done.json");
  EXPECT_EQ(status(done), "-");
  EXPECT_GE(std::stoi(DumpText(done, "defrag", "maxnumberofextents")), before);
  EXPECT_EQ(DumpText(done, "defrag", "numberofextents"), "8192");
  EXPECT_LT(FilefragExtents(file), before);
}

// Holes punched into a file, never written, or inserted before a piece leave the pieces where
// they were on the volume: filefrag counts such a file as one extent, and so does the analysis.
TEST_F(Volume, FilesWithHolesCountAsFilefragCountsThem) {
  MOUNT_OR_SKIP("mkfs.ext4 -q -F -b 4096 -i 8192");
  const auto at = [&](const std::string& name) { return "'" + drive + "/" + name + "'"; };
  ASSERT_TRUE(WriteBlocks(drive + "/punched", 64 * 4096));
  ASSERT_TRUE(WriteBlocks(drive + "/inserted", 64 * 4096));
  sync();
  ASSERT_EQ(Sh("fallocate --punch-hole -o 8192 -l 8192 " + at("punched") +
               " && fallocate --punch-hole -o 131072 -l 4096 " + at("punched")),
            0);
  ASSERT_EQ(Sh("fallocate --insert-range -o 16384 -l 8192 " + at("inserted")), 0);
  // Written block by block far apart, each on the volume before the next.
  for (int block : {0, 40, 41, 200})
    ASSERT_EQ(Sh("dd status=none if=/dev/zero of=" + at("sparse") +
                 " bs=4096 count=1 seek=" + std::to_string(block) + " conv=notrunc,fsync"),
              0);
  // And one whose pieces really are apart, with holes between them.
  Fragment("apart", 1 << 20, true);
  ASSERT_EQ(Sh("fallocate --punch-hole -o 65536 -l 65536 " + at("apart")), 0);
  std::map<std::string, int64_t> expected, counted;
  for (const char* name : {"punched", "inserted", "sparse", "apart"})
    expected[std::string("D:\\") + name] = FilefragExtents(drive + "/" + name);
  EXPECT_EQ(expected["D:\\punched"], 1) << "the holes moved the rest";
  EXPECT_GT(expected["D:\\apart"], 1) << "the image did not fragment the file";
  for (const FileExtentInfo& r : AnalyzeFiles(p(), "D:\\")) counted[r.Path] = r.ExtentCount;
  EXPECT_EQ(counted, expected);
  // Once the walk is over, nothing of it holds the drive busy.
  EXPECT_EQ(umount2(drive.c_str(), 0), 0) << std::strerror(errno);
}

// Only regular files are analysed, none of the rest is even opened, and just before a run the
// path must still lead, through no link, to the file analysed.
TEST_F(Volume, OnlyTheAnalysedRegularFileIsTreated) {
  MOUNT_OR_SKIP("mkfs.ext4 -q -F -b 4096");
  fs::create_directory(drive + "/sub");
  ASSERT_TRUE(WriteBlocks(drive + "/sub/plain", 8192));
  ASSERT_EQ(mkfifo((drive + "/fifo").c_str(), 0600), 0);
  ASSERT_EQ(mknod((drive + "/null").c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
  fs::create_symlink("sub/plain", drive + "/link");
  fs::create_symlink(mount->device(), drive + "/disk");
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  inotify_add_watch(watch, drive.c_str(), IN_OPEN);
  std::vector<std::string> files;
  CollectFiles(p(), "D:\\", files, true);
  EXPECT_EQ(files, std::vector<std::string>{"D:\\sub\\plain"});
  for (const char* name : {"fifo", "null", "link", "disk"}) {
    const FileExtentInfo info = GetFileExtents(p(), std::string("D:\\") + name);
    EXPECT_EQ(info.ExtentCount, 0) << name;
    EXPECT_FALSE(info.Movable) << name;
  }
  alignas(inotify_event) char events[4096];
  std::set<std::string> opened;  // folders are opened to be listed
  for (ssize_t n; (n = read(watch, events, sizeof events)) > 0;) {
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(events + at);
      if (e->len) opened.insert(e->name);
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
  }
  close(watch);
  for (const char* name : {"fifo", "null", "link", "disk"})
    EXPECT_EQ(opened.count(name), 0u) << name;

  const FileExtentInfo plain = GetFileExtents(p(), "D:\\sub\\plain");
  ASSERT_EQ(plain.ExtentCount, 1);
  Volumes& volumes = *p().os.volumes;
  EXPECT_TRUE(volumes.IsSameFile("D:\\sub\\plain", plain.Identity));
  EXPECT_FALSE(volumes.IsSameFile("D:\\link", plain.Identity));
  // The same file through a folder that became a link.
  fs::rename(drive + "/sub", drive + "/real");
  fs::create_symlink("real", drive + "/sub");
  EXPECT_FALSE(volumes.IsSameFile("D:\\sub\\plain", plain.Identity));
  fs::remove(drive + "/sub");
  fs::create_directory(drive + "/sub");
  // The name taken over by a link to it, a FIFO, a device, a link to the disk, another file.
  const std::string name = drive + "/sub/plain";
  const std::vector<std::function<void()>> swaps = {
      [&] { fs::create_symlink(drive + "/real/plain", name); }, [&] { mkfifo(name.c_str(), 0600); },
      [&] { mknod(name.c_str(), S_IFCHR | 0600, makedev(1, 3)); },
      [&] { fs::create_symlink(mount->device(), name); }, [&] { WriteBlocks(name, 8192); }};
  for (size_t k = 0; k < swaps.size(); ++k) {
    swaps[k]();
    EXPECT_FALSE(volumes.IsSameFile("D:\\sub\\plain", plain.Identity)) << k;
    fs::remove(name);
  }
  fs::rename(drive + "/real/plain", name);
  EXPECT_TRUE(volumes.IsSameFile("D:\\sub\\plain", plain.Identity));
}

// The shipped tool runs as root on names anyone could choose: it passes on exactly one regular
// file reached through no link, so that e4defrag cannot take it for an option or a device.
TEST(DefragTool, TakesOneRegularFileAndNothingElse) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to make device nodes";
  TempDir dir;
  const std::string d = dir.path();
  // An e4defrag that notes what it was given, found before the real one.
  fs::create_directory(d + "/bin");
  std::ofstream(d + "/bin/e4defrag") << "#!/bin/sh\nprintf '%s|' \"$@\" >> '" << d << "/log'\n";
  chmod((d + "/bin/e4defrag").c_str(), 0755);
  const std::string tool = std::string(QV_SOURCE_DIR) + "/tools/defrag/Defrag.exe";
  const auto run = [&](const std::string& args) {
    fs::remove(d + "/log");
    const int status =
        Sh("cd '" + d + "' && PATH='" + d + "/bin':\"$PATH\" '" + tool + "' " + args);
    return std::make_pair(status, ReadWholeFile(d + "/log"));
  };
  fs::create_directory(d + "/real");
  const std::string file = d + "/real/-a \"b\" c";
  std::ofstream(file) << "x";
  EXPECT_EQ(run("'" + file + "' -q"), std::make_pair(0, "--|" + file + "|"));
  fs::create_symlink("real", d + "/linked");
  fs::create_symlink(file, d + "/link");
  mkfifo((d + "/fifo").c_str(), 0600);
  mknod((d + "/block").c_str(), S_IFBLK | 0600, makedev(7, 0));
  fs::create_symlink(d + "/block", d + "/blocklink");
  for (const std::string& args : std::vector<std::string>{
           "'" + d + "/linked/-a \"b\" c'", "'" + d + "/link'", "'" + d + "/fifo'",
           "'" + d + "/block'", "'" + d + "/blocklink'", "'" + d + "/real'", "'real/-a \"b\" c'",
           "-x '" + file + "'", "'" + file + "' '" + file + "'", "-q", ""}) {
    const auto [status, log] = run(args);
    EXPECT_NE(status, 0) << args;
    EXPECT_EQ(log, "") << args;
  }
}

// The helper's job runs as root on a path anyone could have written: it treats one regular file
// on a drive, reached through no link, and refuses everything else before anything is done.
TEST_F(Volume, TheHelperDefragmentsOnlyARegularFileOnADrive) {
  if (Sh("command -v e4defrag") != 0) GTEST_SKIP() << "e4defrag is not installed";
  MOUNT_OR_SKIP("mkfs.ext4 -q -F -b 4096 -i 8192");
  const std::string name = "-big \"q\"\n\x1b[2J.bin";
  Fragment(name, 1 << 20, true);
  const std::string file = drive + "/" + name;
  const int before = FilefragExtents(file);
  ASSERT_GT(before, 3) << "the image did not fragment the file";
  fs::create_directory(drive + "/sub");
  fs::create_symlink(".", drive + "/here");
  fs::create_symlink(name, drive + "/link");
  ASSERT_EQ(mkfifo((drive + "/fifo").c_str(), 0600), 0);
  struct stat loop;
  ASSERT_EQ(stat(mount->device().c_str(), &loop), 0);
  ASSERT_EQ(mknod((drive + "/disk").c_str(), S_IFBLK | 0600, loop.st_rdev), 0);
  ASSERT_EQ(mknod((drive + "/null").c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
  // A file system mounted below the drive is no drive.
  ASSERT_EQ(::mount("tmpfs", (drive + "/sub").c_str(), "tmpfs", 0, "size=1m"), 0);
  struct Unmount {
    std::string at;
    ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
  } unmountSub{drive + "/sub"};
  ASSERT_TRUE(WriteBlocks(drive + "/sub/other", 8192));
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{},
                                             {file, file},
                                             {name},
                                             {drive + "/here/" + name},
                                             {drive + "/link"},
                                             {drive + "/./" + name},
                                             {drive + "//" + name},
                                             {drive + "/sub/../" + name},
                                             {file + "/"},
                                             {drive + "/fifo"},
                                             {drive + "/disk"},
                                             {drive + "/null"},
                                             {drive},
                                             {drive + "/missing"},
                                             {drive + "/sub/other"}})
    EXPECT_EQ(DefragmentJob(args), kHelperRefused) << (args.empty() ? "" : args[0]);
  EXPECT_EQ(FilefragExtents(file), before) << "a refused path reached the file";
  EXPECT_EQ(DefragmentJob({file}), 0);
  EXPECT_LT(FilefragExtents(file), before);
}

// Run by a user, the tool asks pkexec to run the helper beside it (installed) or in the folder
// above (a build folder) on the file, and ends with pkexec's 126 or 127, or 127 without a helper.
TEST(DefragTool, AUserHandsTheFileToTheHelper) {
  if (geteuid() != 0 || Sh("command -v setpriv") != 0)
    GTEST_SKIP() << "needs root and setpriv to run as another user";
  TempDir dir;
  const std::string d = dir.path();
  chmod(d.c_str(), 0755);
  fs::create_directories(d + "/app/Tools");
  fs::create_directories(d + "/bin");
  fs::create_directories(d + "/out");
  chmod((d + "/out").c_str(), 0777);
  fs::copy(std::string(QV_SOURCE_DIR) + "/tools/defrag/Defrag.exe", d + "/app/Tools/Defrag.exe");
  std::ofstream(d + "/bin/pkexec") << "#!/bin/sh\nprintf '%s|' \"$@\" >> '" << d
                                   << "/out/log'\nexit $(cat '" << d << "/status')\n";
  chmod((d + "/bin/pkexec").c_str(), 0755);
  const std::string file = d + "/-a \"b\"\nc";
  std::ofstream(file) << "x";
  const auto run = [&](int pkexecStatus) {
    std::ofstream(d + "/status") << pkexecStatus;
    fs::remove(d + "/out/log");
    const int status = Sh("PATH='" + d + "/bin':\"$PATH\" setpriv --reuid=65534 --regid=65534 " +
                          "--clear-groups '" + d + "/app/Tools/Defrag.exe' '" + file + "' -q");
    return std::make_pair(status, ReadWholeFile(d + "/out/log"));
  };
  EXPECT_EQ(run(0), std::make_pair(127, std::string())) << "no helper";
  for (const std::string& helper : {d + "/app/quorvin-helper", d + "/app/Tools/quorvin-helper"}) {
    std::ofstream(helper) << "#!/bin/sh\n";
    chmod(helper.c_str(), 0755);
    for (int status : {0, 1, 126, 127})
      EXPECT_EQ(run(status), std::make_pair(status, helper + "|defragment|" + file + "|"))
          << helper;
  }
}

// The map is read group by group, a piece at a time; it must be the bitmap libext2fs reads whole,
// whatever the layout: groups never initialised, tables of other groups inside a group, 1 KiB
// blocks, no flexible groups, no group checksums, meta_bg.
TEST(Ext2Map, PiecesAreTheWholeBitmap) {
  if (Sh("command -v mkfs.ext4") != 0) GTEST_SKIP() << "e2fsprogs is not installed";
  TempDir dir;
  const std::string image = dir.path() + "/disk.img", tree = dir.path() + "/tree";
  fs::create_directories(tree + "/a/b");
  for (int i = 0; i < 40; ++i)
    ASSERT_TRUE(WriteBlocks(tree + "/a/" + std::to_string(i), static_cast<size_t>(i) * 37000));
  ASSERT_TRUE(WriteBlocks(tree + "/a/b/big", 9 << 20));
  fs::create_directory(dir.path() + "/drive");
  PosixFileSystem files({DriveMapping{'D', dir.path() + "/drive", image}}, dir.path() + "/drive");
  PosixVolumes volumes(files);
  for (const std::string options :
       {"-b 4096", "-b 1024", "-b 4096 -O ^flex_bg", "-b 4096 -O ^metadata_csum,^uninit_bg",
        "-b 4096 -O meta_bg,^resize_inode", "-t ext3 -b 1024"}) {
    fs::remove(image);
    Sh("truncate -s 300M '" + image + "'");
    ASSERT_EQ(Sh("mkfs.ext4 -q -F " + options + " -d '" + tree + "' '" + image + "'"), 0)
        << options;
    ext2_filsys fs = nullptr;
    ASSERT_EQ(ext2fs_open(image.c_str(), EXT2_FLAG_64BITS, 0, 0, unix_io_manager, &fs), 0);
    ASSERT_EQ(ext2fs_read_block_bitmap(fs), 0);
    const int64_t total = static_cast<int64_t>(ext2fs_blocks_count(fs->super));
    const int64_t first = fs->super->s_first_data_block;
    Result<std::unique_ptr<OpenVolume>> opened = volumes.Open("D:");
    ASSERT_TRUE(opened) << options << ": " << opened.status().message();
    std::unique_ptr<OpenVolume> volume = std::move(opened.value());
    int64_t differing = 0, used = 0;
    VolumeBitmap piece;
    for (int64_t start = 0; start < total; start += kBitmapChunkClusters) {
      ASSERT_TRUE(volume->GetVolumeBitmap(start, &piece)) << start;
      for (int64_t c = start; c < std::min(total, start + kBitmapChunkClusters); ++c) {
        const bool expected = c < first || ext2fs_test_block_bitmap2(fs->block_map, c);
        const bool got = (piece.Buffer[(c - start) / 8] >> ((c - start) % 8)) & 1;
        differing += expected != got;
        used += got;
      }
    }
    ext2fs_close_free(&fs);
    EXPECT_EQ(differing, 0) << options;
    EXPECT_GT(used, 9 << 20 >> 12) << options;
  }
  // Mounted, the kernel's map asked piece by piece is the same.
  ASSERT_EQ(Sh("mkfs.ext4 -q -F -b 4096 -d '" + tree + "' '" + image + "'"), 0);
  LoopMount mount(image, dir.path() + "/drive", "noatime");
  if (!mount.ok()) GTEST_SKIP() << "this machine does not mount loop devices";
  PosixVolumes kernel(files, PosixVolumeOptions{true, "/proc/swaps"});
  Result<std::unique_ptr<OpenVolume>> device = volumes.Open("D:"), map = kernel.Open("D:");
  ASSERT_TRUE(device && map);
  std::unique_ptr<OpenVolume> fromDevice = std::move(device.value()),
                              fromKernel = std::move(map.value());
  VolumeBitmap a, b;
  int pieces = 0;
  for (int64_t start = 0;; start += kBitmapChunkClusters, ++pieces) {
    const Result<uint32_t> fromA = fromDevice->GetVolumeBitmap(start, &a);
    const Result<uint32_t> fromB = fromKernel->GetVolumeBitmap(start, &b);
    ASSERT_TRUE(fromA && fromB) << start;
    const uint32_t more = fromA.value();
    EXPECT_EQ(fromB.value(), more);
    EXPECT_EQ(a.BitmapSize, b.BitmapSize);
    EXPECT_EQ(std::memcmp(a.Buffer, b.Buffer, sizeof a.Buffer), 0) << start;
    if (more != kVolumeMoreData) break;
  }
  EXPECT_EQ(pieces, 2);
}

}  // namespace
}  // namespace qv::test
