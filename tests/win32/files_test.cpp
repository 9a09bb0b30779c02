// Drives, listings, folders and names through the Windows file system, on the two empty drives
// the Wine run lends each test program (QV_TEST_DRIVES).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "TestDrives.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32FileSystem.h"

namespace qv {
namespace {

// A dot and a blank at the end of a name, in the private-use form of DOS paths.
const std::string kDot = "\xEF\x80\xAE";
const std::string kBlank = "\xEF\x80\xA0";

class Win32FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TakeTestDrives(&a_, &b_)) << "run through scripts/test-windows.sh";
    fs_ = std::make_unique<Win32FileSystem>(std::vector<char>{a_, b_});
  }
  std::string A(const std::string& rest) { return std::string(1, a_) + ":\\" + rest; }
  // Writes through the "\\?\" form, which keeps every name as given.
  void Write(const std::string& hostPath, const std::string& bytes) {
    WriteTestFile("\\\\?\\" + hostPath, bytes);
  }
  std::vector<std::string> Names(const std::string& folder) {
    const auto listed = fs_->ListFolder(folder, ListDetail::Full);
    EXPECT_TRUE(listed) << listed.message();
    std::vector<std::string> names;
    for (const DirEntry& e : listed.value_or({}))
      if (e.name.rfind(".windows-", 0) != 0) names.push_back(e.name);  // Wine's label, serial
    std::sort(names.begin(), names.end());
    return names;
  }

  char a_ = 0, b_ = 0;
  std::unique_ptr<Win32FileSystem> fs_;
};

TEST_F(Win32FilesTest, DrivesAreTheTablesOnly) {
  EXPECT_EQ(fs_->LogicalDrives(), (std::vector<std::string>{A(""), std::string(1, b_) + ":\\"}));
  EXPECT_EQ(fs_->GetDriveType("C:\\"), kDriveNoRoot);
  EXPECT_FALSE(fs_->GetVolumeInfo("C:\\"));
  EXPECT_EQ(fs_->GetDriveType(A("")), kDriveFixed);
  const auto volume = fs_->GetVolumeInfo(A(""));
  ASSERT_TRUE(volume) << volume.message();
  EXPECT_EQ(volume->label, std::string("TEST-") + a_);
  EXPECT_EQ(volume->serial, 0x7e570000u + static_cast<unsigned char>(a_));
  EXPECT_EQ(volume->fileSystem, "NTFS");
  const auto space = fs_->GetFreeSpace(A("any\\path"));
  ASSERT_TRUE(space) << space.message();
  EXPECT_GT(space->freeToCaller, 0u);
  EXPECT_GE(space->total, space->freeToCaller);
  EXPECT_EQ(fs_->ExecutableFolder(), "P:\\");
}

TEST_F(Win32FilesTest, ListingsKeepEveryName) {
  Write(A("a b.txt"), "12345");
  Write(A("\xC3\xBCn\xC3\xAF.txt"), "");
  Write(A("dots.."), "abc");
  ASSERT_TRUE(fs_->CreateFolder(A("folder" + kBlank)));
  ASSERT_TRUE(fs_->CreateFolder(A("hidden")));
  std::wstring hidden;
  ASSERT_TRUE(ToWide("\\\\?\\" + A("hidden"), &hidden));
  SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);

  EXPECT_EQ(Names(A("")),
            (std::vector<std::string>{"a b.txt", "dots" + kDot + kDot, "folder" + kBlank, "hidden",
                                      "\xC3\xBCn\xC3\xAF.txt"}));
  for (const DirEntry& e : fs_->ListFolder(A(""), ListDetail::Full).value_or({})) {
    if (e.name.rfind(".windows-", 0) == 0) continue;
    EXPECT_EQ(e.isFolder, e.name == "folder" + kBlank || e.name == "hidden") << e.name;
    EXPECT_EQ(e.hidden, e.name == "hidden") << e.name;
    EXPECT_EQ(e.size, e.name == "a b.txt" ? 5u : e.name == "dots" + kDot + kDot ? 3u : 0u);
  }
  // Listed names lead back to the same entries, not to their names without the dots.
  EXPECT_EQ(fs_->FileLength(A("dots" + kDot + kDot)).value_or(0), 3u);
  EXPECT_EQ(fs_->Probe(A("dots"), NameCase::Any), PathState::Absent);
  EXPECT_TRUE(fs_->IsFolder(A("folder" + kBlank), FollowLinks::No));
  EXPECT_EQ(Names(A("folder" + kBlank)), std::vector<std::string>{});
  const auto bytes = fs_->ReadWholeFile(A("a b.txt"));
  ASSERT_TRUE(bytes);
  EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "12345");
  EXPECT_FALSE(fs_->ReadWholeFile(A("hidden")));
  EXPECT_FALSE(fs_->ListFolder(A("missing"), ListDetail::Full));
}

TEST_F(Win32FilesTest, FoldersAndRenamesNeverReplace) {
  ASSERT_TRUE(fs_->CreateFolder(A("One")));
  EXPECT_FALSE(fs_->CreateFolder(A("one")));
  ASSERT_TRUE(fs_->CreatePath(A("x\\y\\z\\file.txt")));
  EXPECT_TRUE(fs_->IsFolder(A("x\\y\\z"), FollowLinks::No));
  EXPECT_EQ(fs_->Probe(A("x\\y\\z\\file.txt"), NameCase::Any), PathState::Absent);
  EXPECT_TRUE(fs_->CreatePath(A("x\\y\\z\\")));  // there already

  Write(A("x\\kept.txt"), "kept");
  Write(A("x\\moved.txt"), "moved");
  EXPECT_FALSE(fs_->Rename(A("x\\moved.txt"), A("x\\KEPT.txt")));
  EXPECT_EQ(fs_->FileLength(A("x\\kept.txt")).value_or(0), 4u);
  EXPECT_FALSE(fs_->Rename(A("x\\moved.txt"), std::string(1, b_) + ":\\moved.txt"));
  // A change of case alone is a rename like any other.
  ASSERT_TRUE(fs_->Rename(A("One"), A("ONE")));
  EXPECT_EQ(Names(A("")), (std::vector<std::string>{"ONE", "x"}));
  EXPECT_EQ(fs_->Probe(A("one"), NameCase::Exact), PathState::Absent);
  EXPECT_EQ(fs_->Probe(A("one"), NameCase::Any), PathState::Present);
  // A missing folder on the way is no "file not found".
  EXPECT_EQ(fs_->Probe(A("nothing\\deeper"), NameCase::Any), PathState::Present);

  // Names Windows would read as more than one: a stream, a wildcard.
  EXPECT_FALSE(fs_->CreateFolder(A("x:stream")));
  EXPECT_FALSE(fs_->CreateFolder(A("wild*")));
  EXPECT_EQ(Names(A("")), (std::vector<std::string>{"ONE", "x"}));
}

TEST_F(Win32FilesTest, CopiesAreWholeOrAbsent) {
  const std::string big(3 << 20, 'q');
  Write(A("big.bin"), big);
  Write(A(".quorvin-copy.bin.part"), "left by a killed run");
  std::vector<std::pair<uint64_t, uint64_t>> reports;
  const auto record = [&](uint64_t total, uint64_t done) {
    reports.emplace_back(total, done);
    return true;
  };
  ASSERT_EQ(fs_->CopyFile(A("big.bin"), A("copy.bin"), record, NameCase::Any).kind(),
            CopyResult::Copied);
  EXPECT_EQ(reports.front(), std::make_pair(uint64_t{big.size()}, uint64_t{0}));
  EXPECT_EQ(reports.back(), std::make_pair(uint64_t{big.size()}, uint64_t{big.size()}));
  const auto copied = fs_->ReadWholeFile(A("copy.bin"));
  ASSERT_TRUE(copied);
  EXPECT_TRUE(std::string(copied->begin(), copied->end()) == big);
  const auto listed = fs_->ListFolder(A(""), ListDetail::Full).value_or({});
  std::vector<int64_t> times;
  for (const DirEntry& e : listed)
    if (e.name == "big.bin" || e.name == "copy.bin") times.push_back(e.modified);
  ASSERT_EQ(times.size(), 2u);
  EXPECT_EQ(times[0], times[1]);

  // Never over an existing file, in any case.
  Write(A("small.txt"), "small");
  EXPECT_EQ(fs_->CopyFile(A("small.txt"), A("COPY.bin"), nullptr, NameCase::Any).kind(),
            CopyResult::Exists);
  EXPECT_EQ(fs_->FileLength(A("copy.bin")).value_or(0), big.size());

  // Cancelled midway: nothing under the final name, no temporary left.
  const auto cancel = [](uint64_t, uint64_t done) { return done == 0; };
  EXPECT_EQ(fs_->CopyFile(A("big.bin"), A("cancelled.bin"), cancel, NameCase::Any).kind(),
            CopyResult::Cancelled);
  // A source another program holds without sharing cannot be read: a failure, no file.
  std::wstring held;
  ASSERT_TRUE(ToWide("\\\\?\\" + A("small.txt"), &held));
  const HANDLE lock =
      CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  const CopyOutcome failed = fs_->CopyFile(A("small.txt"), A("failed.txt"), nullptr, NameCase::Any);
  CloseHandle(lock);
  EXPECT_EQ(failed.kind(), CopyResult::Failed);
  EXPECT_FALSE(failed.status().message().empty());
  EXPECT_EQ(fs_->CopyFile(A(""), A("root"), nullptr, NameCase::Any).kind(), CopyResult::NotAFile);
  EXPECT_EQ(Names(A("")), (std::vector<std::string>{"big.bin", "copy.bin", "small.txt"}));
}

// Where Wine's recycle bin keeps what it holds: the run's own trash, lent as a drive.
std::wstring InTrash(const std::string& name) {
  const char* trash = std::getenv("QV_TEST_TRASH");
  std::wstring path;
  ToWide(std::string(trash ? trash : "?:") + "\\files\\" + name, &path);
  return path;
}

TEST_F(Win32FilesTest, RecycleBinRoundTrip) {
  Write(A("gone soon.txt"), "bin");
  ASSERT_TRUE(fs_->DeleteToTrash(A("gone soon.txt")));
  EXPECT_EQ(fs_->Probe(A("gone soon.txt"), NameCase::Any), PathState::Absent);
  EXPECT_NE(GetFileAttributesW(InTrash("gone soon.txt").c_str()), INVALID_FILE_ATTRIBUTES);

  // The shell would take "dots." for "dots": refused, and both stay.
  Write(A("dots."), "1");
  Write(A("dots"), "22");
  EXPECT_FALSE(fs_->DeleteToTrash(A("dots" + kDot)));
  EXPECT_EQ(Names(A("")), (std::vector<std::string>{"dots", "dots" + kDot}));
  EXPECT_FALSE(fs_->DeleteToTrash(A("")));
  EXPECT_FALSE(fs_->DeleteToTrash(A("missing")));

  ASSERT_TRUE(fs_->EmptyTrash());
  EXPECT_EQ(GetFileAttributesW(InTrash("gone soon.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace qv
