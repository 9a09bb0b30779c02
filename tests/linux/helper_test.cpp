// quorvin-helper's side of a privileged job: its lines, and which drive an argument may name.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "DiskImages.h"
#include "LinuxTestProgram.h"
#include "platform/linux/PrivilegedHelper.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

std::vector<HelperReport> ReadAll(const std::string& bytes, size_t piece) {
  HelperLineReader reader;
  std::vector<HelperReport> out;
  for (size_t i = 0; i < bytes.size(); i += piece)
    reader.Feed(bytes.data() + i, std::min(piece, bytes.size() - i), &out);
  return out;
}

TEST(HelperLines, NoTextForgesALineAndPiecesMakeTheSameLines) {
  const std::vector<std::string> texts = {
      "plain",   "two\nD 1",          "\nP 100",       "back\\nslash",         "\\x41 \\",
      "cr\r\tt", "del\x7f esc\x1b[m", "quote \" it's", "\xc3\xa4\xe2\x82\xac", ""};
  std::string bytes;
  for (const std::string& t : texts) {
    const std::string line = HelperLine({HelperReport::Text, 0, t, false});
    EXPECT_EQ(line.find('\n'), line.size() - 1) << t;
    bytes += line;
  }
  bytes += HelperLine({HelperReport::Progress, 250, "", false});
  bytes += HelperLine({HelperReport::Done, 0, "", true});
  for (size_t piece : {size_t{1}, size_t{3}, bytes.size()}) {
    const std::vector<HelperReport> got = ReadAll(bytes, piece);
    ASSERT_EQ(got.size(), texts.size() + 2) << piece;
    for (size_t i = 0; i < texts.size(); ++i) {
      EXPECT_EQ(got[i].kind, HelperReport::Text);
      EXPECT_EQ(got[i].text, texts[i]);
    }
    EXPECT_EQ(got[texts.size()].percent, 100u);
    EXPECT_TRUE(got.back().kind == HelperReport::Done && got.back().success);
  }

  // What the helper never writes is dropped, and the next good line still counts.
  const std::string bad = "P 101\nP -1\nP\nP 5x\nD 2\nX y\nT bad\\q\nT cut\\\nT \\x4\n" +
                          std::string("T ") + std::string(HelperLineReader::kMaxLine, 'a') +
                          "\nP 7\nT partial";
  const std::vector<HelperReport> got = ReadAll(bad, 5);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].kind, HelperReport::Progress);
  EXPECT_EQ(got[0].percent, 7u);
}

// What a job's TARGET may be: the folder or the device of a mounted drive, written plainly.
TEST(HelperArguments, OnlyADrivesOwnFolderOrDeviceIsTaken) {
  if (geteuid() != 0 || Sh("command -v losetup && command -v mkfs.ext4") != 0)
    GTEST_SKIP() << "needs root, loop devices and e2fsprogs";
  TempDir dir;
  const std::string base = fs::canonical(dir.path()).string();
  const std::string image = base + "/disk.img", spare = base + "/spare.img";
  for (const std::string& img : {image, spare}) {
    std::ofstream(img).close();
    fs::resize_file(img, 8 << 20);
    ASSERT_EQ(Sh("mkfs.ext4 -q -F " + img), 0);
  }
  const std::string folder = base + "/drive", odd = base + "/it\"s $odd\nname";
  fs::create_directory(folder);
  fs::create_directory(odd);
  LoopMount drive(image, folder, "defaults");
  if (!drive.ok()) GTEST_SKIP() << "this machine does not mount loop devices";
  Unmounts undo;
  ASSERT_EQ(mount(folder.c_str(), odd.c_str(), nullptr, MS_BIND, nullptr), 0);
  undo.folders.push_back(odd);
  // A device of no drive: attached, never mounted.
  std::string out;
  ASSERT_EQ(Sh("losetup --find --show " + spare, &out), 0);
  struct Detach {
    std::string loop;
    ~Detach() { Sh("losetup -d " + loop); }
  } unmounted{out.substr(0, out.find('\n'))};
  fs::create_directory(folder + "/sub");
  std::ofstream(folder + "/file").close();
  fs::create_directory_symlink(folder, base + "/link");
  ASSERT_EQ(mkfifo((base + "/fifo").c_str(), 0600), 0);
  fs::create_directory(base + "/not \"mounted\"\n");

  const DriveTable table(DriveTable::FromMounts());
  const auto letterOf = [&](const std::string& host) {
    for (const DriveMapping& d : table.Drives())
      if (d.hostFolder == host) return d.letter;
    return '?';
  };
  ASSERT_NE(letterOf(folder), '?');
  ASSERT_NE(letterOf(odd), '?');
  const std::pair<std::string, char> cases[] = {
      {"/", 'C'},
      {folder, letterOf(folder)},
      {drive.device(), letterOf(folder)},  // the first drive of that device
      {odd, letterOf(odd)},
      {"", 0},
      {"drive", 0},
      {folder + "/", 0},
      {folder + "/.", 0},
      {base + "/drive/../drive", 0},
      {"/" + folder, 0},
      {base + "/link", 0},
      {base + "/link/sub", 0},
      {folder + "/sub", 0},
      {folder + "/file", 0},
      {base + "/fifo", 0},
      {base + "/missing", 0},
      {base, 0},
      {base + "/not \"mounted\"\n", 0},
      {"/dev/null", 0},
      {unmounted.loop, 0},
  };
  for (const auto& [target, letter] : cases) {
    const Result<char> got = HelperDriveOf(table, target);
    if (letter) {
      EXPECT_TRUE(got.ok() && got.value() == letter) << target;
    } else {
      EXPECT_FALSE(got.ok()) << target;
    }
  }
}

}  // namespace
}  // namespace qv::test
