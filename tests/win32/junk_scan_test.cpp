// The junk cleaner's walk on the Windows file system, on the test drives of the Wine run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "TestDrives.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32JunkScan.h"
//
#include <winioctl.h>

namespace qv {
namespace {

class Win32JunkScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char b = 0;
    ASSERT_TRUE(TakeTestDrives(&a_, &b)) << "run through scripts/test-windows.sh";
    fs_ = std::make_unique<Win32FileSystem>(std::vector<char>{a_, b});
    scan_ = std::make_unique<Win32JunkScan>(*fs_);
    // Each test in a folder of its own, as the drives last for the whole program.
    root_ = A(::testing::UnitTest::GetInstance()->current_test_info()->name());
    ASSERT_TRUE(CreateDirectoryW(Wide(root_).c_str(), nullptr));
  }
  std::string A(const std::string& rest) { return std::string(1, a_) + ":\\" + rest; }
  std::string In(const std::string& rest) { return root_ + "\\" + rest; }
  void Write(const std::string& path, const std::string& bytes) { WriteTestFile(path, bytes); }
  const JunkScanEntry* Find(const std::vector<JunkScanEntry>& entries, const std::string& name) {
    for (const JunkScanEntry& e : entries)
      if (e.name == name) return &e;
    return nullptr;
  }

  char a_ = 0;
  std::string root_;
  std::unique_ptr<Win32FileSystem> fs_;
  std::unique_ptr<Win32JunkScan> scan_;
};

// A file another program holds, even sharing everything, stays, and so does every folder above
// it, until that program ends.
TEST_F(Win32JunkScanTest, HeldByAnotherProgramStays) {
  ASSERT_TRUE(CreateDirectoryW(Wide(In("cache")).c_str(), nullptr));
  Write(In("cache\\held.tmp"), "data");
  Write(In("free.tmp"), "12345");
  wchar_t self[MAX_PATH];
  const std::wstring exe(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
  std::wstring line = L"\"" + exe.substr(0, exe.rfind(L'\\') + 1) + L"holdopen.exe\" " +
                      Wide(In("cache\\held.tmp")) + L" " + Wide(In("ready"));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &child));
  // Until the holder says it holds the file, or ends without doing so (the test's time limit
  // bounds the wait).
  while (GetFileAttributesW(Wide(In("ready")).c_str()) == INVALID_FILE_ATTRIBUTES &&
         WaitForSingleObject(child.hProcess, 10) == WAIT_TIMEOUT) {
  }
  ASSERT_NE(GetFileAttributesW(Wide(In("ready")).c_str()), INVALID_FILE_ATTRIBUTES);

  EXPECT_TRUE(scan_->GatherInUse(nullptr));
  const auto listed = scan_->List(In("cache"));
  ASSERT_TRUE(listed) << listed.message();
  ASSERT_NE(Find(*listed, "held.tmp"), nullptr);
  EXPECT_TRUE(Find(*listed, "held.tmp")->kept);
  EXPECT_FALSE(scan_->Examine(In("cache\\held.tmp"), nullptr));
  EXPECT_FALSE(scan_->Examine(In("cache"), nullptr));
  const auto free = scan_->Examine(In("free.tmp"), nullptr);
  ASSERT_TRUE(free);
  EXPECT_EQ(free->bytes, 5u);

  TerminateProcess(child.hProcess, 0);
  WaitForSingleObject(child.hProcess, INFINITE);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  const auto released = scan_->List(In("cache"));
  ASSERT_TRUE(released) << released.message();
  EXPECT_FALSE(Find(*released, "held.tmp")->kept);
  const auto folder = scan_->Examine(In("cache"), nullptr);
  ASSERT_TRUE(folder);
  EXPECT_TRUE(folder->id.isFolder);
}

// Recheck tells the entry Examine saw from one put under its name since, and Gone tells a name
// with nothing under it from one that is there or cannot be reached.
TEST_F(Win32JunkScanTest, RecheckSeesAnotherEntryUnderTheName) {
  Write(In("a.tmp"), "first");
  Write(In("b.tmp"), "second");
  const auto seen = scan_->Examine(In("a.tmp"), nullptr);
  ASSERT_TRUE(seen);
  EXPECT_TRUE(scan_->Recheck(In("a.tmp"), seen->id, nullptr));
  ASSERT_TRUE(
      MoveFileExW(Wide(In("b.tmp")).c_str(), Wide(In("a.tmp")).c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_FALSE(scan_->Recheck(In("a.tmp"), seen->id, nullptr));
  EXPECT_FALSE(scan_->Gone(In("a.tmp")));
  ASSERT_TRUE(DeleteFileW(Wide(In("a.tmp")).c_str()));
  EXPECT_FALSE(scan_->Recheck(In("a.tmp"), seen->id, nullptr));
  EXPECT_TRUE(scan_->Gone(In("a.tmp")));
  EXPECT_TRUE(scan_->Gone(In("gone\\below")));
  // Nothing off the offered drives, and never a drive itself.
  EXPECT_FALSE(scan_->Examine("C:\\windows", nullptr));
  EXPECT_FALSE(scan_->List("C:\\"));
  EXPECT_FALSE(scan_->Examine(A(""), nullptr));
  // A stream of a file is no name of its own.
  Write(In("c.tmp"), "third");
  EXPECT_FALSE(scan_->Examine(In("c.tmp:s"), nullptr));
  EXPECT_FALSE(scan_->Gone(In("c.tmp:s")));
  for (const char* which : {"windows temp", "user temp", "cookies"})
    EXPECT_EQ(scan_->SpecialFolder(which), "") << which;
}

// A recycle bin at a drive's top is never searched nor junk.
TEST_F(Win32JunkScanTest, RecycleBinStays) {
  const std::string bin = A("$Recycle.Bin");
  ASSERT_TRUE(CreateDirectoryW(Wide(bin).c_str(), nullptr) ||
              GetLastError() == ERROR_ALREADY_EXISTS);
  const auto top = scan_->List(A(""));
  ASSERT_TRUE(top) << top.message();
  ASSERT_NE(Find(*top, "$Recycle.Bin"), nullptr);
  EXPECT_TRUE(Find(*top, "$Recycle.Bin")->recycleBin);
  EXPECT_FALSE(scan_->Examine(bin, nullptr));
  RemoveDirectoryW(Wide(bin).c_str());
}

// A junction to a folder is an entry of its own: never walked through, never a folder.
TEST_F(Win32JunkScanTest, JunctionIsNotFollowed) {
  ASSERT_TRUE(CreateDirectoryW(Wide(In("target")).c_str(), nullptr));
  Write(In("target\\keep.txt"), "mine");
  ASSERT_TRUE(CreateDirectoryW(Wide(In("junction")).c_str(), nullptr));
  const HANDLE h = CreateFileW(Wide("\\\\?\\" + In("junction")).c_str(), GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  const std::wstring target = L"\\??\\" + Wide(In("target"));
  std::vector<unsigned char> data(8 + 8 + (target.size() + 2) * 2, 0);
  auto put16 = [&](size_t at, size_t v) {
    data[at] = v & 0xff;
    data[at + 1] = (v >> 8) & 0xff;
  };
  const size_t bytes = target.size() * 2;
  put16(0, IO_REPARSE_TAG_MOUNT_POINT & 0xffff);
  put16(2, IO_REPARSE_TAG_MOUNT_POINT >> 16);
  put16(4, data.size() - 8);
  put16(8, 0);           // substitute name at 0
  put16(10, bytes);      // its length
  put16(12, bytes + 2);  // print name (empty) after it
  put16(14, 0);
  std::memcpy(&data[16], target.data(), bytes);
  DWORD n = 0;
  const bool made = DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, data.data(),
                                    static_cast<DWORD>(data.size()), nullptr, 0, &n, nullptr);
  CloseHandle(h);
  if (!made) GTEST_SKIP() << "this Wine makes no junctions: " << SystemMessage(GetLastError());
  const auto listed = scan_->List(root_);
  ASSERT_TRUE(listed) << listed.message();
  ASSERT_NE(Find(*listed, "junction"), nullptr);
  EXPECT_FALSE(Find(*listed, "junction")->isFolder);
  EXPECT_FALSE(scan_->List(In("junction")));
  EXPECT_FALSE(scan_->Examine(In("junction\\keep.txt"), nullptr));
  const auto link = scan_->Examine(In("junction"), nullptr);
  ASSERT_TRUE(link);
  EXPECT_FALSE(link->id.isFolder);
  // Not another volume: the file system lists it.
  const auto files = fs_->ListFolder(root_, ListDetail::Full);
  ASSERT_TRUE(files) << files.message();
  EXPECT_EQ(files->size(), 2u);
}

// The build's host link to a folder (made by the build), as Wine shows it: listed, not walked.
TEST_F(Win32JunkScanTest, HostLinkIsNotFollowed) {
  wchar_t self[MAX_PATH];
  const std::string exe =
      ToUtf8(std::wstring_view(self, GetModuleFileNameW(nullptr, self, MAX_PATH)));
  const std::string fixture = exe.substr(0, exe.rfind('\\')) + "\\link-fixture";
  const Win32FileSystem build({exe[0]});
  Win32JunkScan scan(build);
  ASSERT_TRUE(scan.Examine(fixture + "\\target\\keep.txt", nullptr));
  const auto listed = scan.List(fixture);
  ASSERT_TRUE(listed) << listed.message();
  ASSERT_NE(Find(*listed, "link"), nullptr);
  EXPECT_FALSE(Find(*listed, "link")->isFolder);
  EXPECT_FALSE(scan.List(fixture + "\\link"));
  EXPECT_FALSE(scan.Examine(fixture + "\\link\\keep.txt", nullptr));
  const auto link = scan.Examine(fixture + "\\link", nullptr);
  ASSERT_TRUE(link);
  EXPECT_FALSE(link->id.isFolder);
}

}  // namespace
}  // namespace qv
