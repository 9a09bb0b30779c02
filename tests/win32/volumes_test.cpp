// The volume map and Tools\Defrag.exe where the file system serves no control requests (Wine):
// every way ends with a reason, nothing is called a map, no file is touched.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "TestDrives.h"
#include "platform/win32/DefragPlan.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Volumes.h"

namespace qv {
namespace {

std::string ProgramFolder() {
  wchar_t self[MAX_PATH];
  const std::string exe =
      ToUtf8(std::wstring_view(self, GetModuleFileNameW(nullptr, self, MAX_PATH)));
  return exe.substr(0, exe.rfind('\\'));
}

class Win32VolumesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char b = 0;
    ASSERT_TRUE(TakeTestDrives(&a_, &b)) << "run through scripts/test-windows.sh";
    fs_ = std::make_unique<Win32FileSystem>(std::vector<char>{a_, b, 'P'});
    volumes_ = std::make_unique<Win32Volumes>(*fs_);
    root_ = std::string(1, a_) + ":\\" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(CreateDirectoryW(Wide(root_).c_str(), nullptr));
  }
  std::string In(const std::string& rest) { return root_ + "\\" + rest; }
  void Write(const std::string& path, const std::string& bytes) {
    WriteTestFile(path, bytes, true);
  }
  std::string Read(const std::string& path) {
    const HANDLE f = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return "(none)";
    std::string bytes(1 << 20, '\0');
    DWORD n = 0;
    ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    CloseHandle(f);
    bytes.resize(n);
    return bytes;
  }
  // Tools\Defrag.exe as the program runs it; its exit code.
  DWORD Defrag(const std::string& arguments) {
    std::wstring line = Wide("\"" + ProgramFolder() + "\\Tools\\Defrag.exe\" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &child));
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD code = 9999;
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    return code;
  }

  char a_ = 0;
  std::string root_;
  std::unique_ptr<Win32FileSystem> fs_;
  std::unique_ptr<Win32Volumes> volumes_;
};

TEST_F(Win32VolumesTest, TheMapOfADriveEndsWithAReasonWhereItCannotBeRead) {
  Write(In("file.bin"), std::string(100000, 'x'));
  Result<std::unique_ptr<OpenVolume>> volume = volumes_->Open(std::string(1, a_) + ":");
  if (volume) {
    VolumeBitmap piece;
    const Result<uint32_t> read = (*volume)->GetVolumeBitmap(0, &piece);
    EXPECT_FALSE(read) << "Wine serves no volume bitmap";  // "not supported"
    EXPECT_NE(read.message(), "");
    EXPECT_EQ(piece.BitmapSize, 0);
  } else {
    EXPECT_NE(volume.message(), "");
  }
  // Only the file system's drives.
  EXPECT_FALSE(volumes_->Open("C:"));
  EXPECT_FALSE(volumes_->Open(""));
}

TEST_F(Win32VolumesTest, FilesOpenAsThemselvesAndNoOtherEntryIsTakenForThem) {
  Write(In("file.bin"), std::string(100000, 'x'));
  Write(In("other.bin"), "other");
  ASSERT_TRUE(CreateDirectoryW(Wide(In("folder")).c_str(), nullptr));
  Result<std::unique_ptr<OpenFile>> file = volumes_->OpenForExtents(In("file.bin"), false);
  ASSERT_TRUE(file) << file.message();
  const FileIdentity id = (*file)->Identity();
  RetrievalPointers reply;
  const Result<uint32_t> read = (*file)->GetRetrievalPointers(0, &reply);
  // Wine answers with a fixed extent that ends before it starts.
  EXPECT_FALSE(read) << "Wine serves no retrieval pointers";
  file->reset();  // let go of it, for the replacement below
  EXPECT_FALSE(volumes_->OpenForExtents(In("folder"), false));
  EXPECT_FALSE(volumes_->OpenForExtents(In("missing.bin"), true));
  EXPECT_FALSE(volumes_->OpenForExtents("C:\\windows\\win.ini", false));

  EXPECT_TRUE(volumes_->IsSameFile(In("file.bin"), id));
  EXPECT_FALSE(volumes_->IsSameFile(In("folder"), id));
  ASSERT_TRUE(MoveFileExW(Wide(In("other.bin")).c_str(), Wide(In("file.bin")).c_str(),
                          MOVEFILE_REPLACE_EXISTING));
  EXPECT_FALSE(volumes_->IsSameFile(In("file.bin"), id));
  // Through a host link, which Wine shows as a reparse point.
  const std::string linked = ProgramFolder() + "\\link-fixture\\link\\keep.txt";
  const std::string direct = ProgramFolder() + "\\link-fixture\\target\\keep.txt";
  Result<std::unique_ptr<OpenFile>> kept = volumes_->OpenForExtents(direct, false);
  ASSERT_TRUE(kept) << kept.message();
  EXPECT_TRUE(volumes_->IsSameFile(direct, (*kept)->Identity()));
  EXPECT_FALSE(volumes_->IsSameFile(linked, (*kept)->Identity()));
}

TEST_F(Win32VolumesTest, DefragToolChangesNothingWhereMovesAreNotServed) {
  const std::string data(300000, 'q');
  Write(In("big file.bin"), data);
  ASSERT_TRUE(CreateDirectoryW(Wide(In("folder")).c_str(), nullptr));
  EXPECT_EQ(Defrag("\"" + In("big file.bin") + "\" -q"), DWORD{kDefragNotSupported});
  EXPECT_EQ(Read(In("big file.bin")), data);
  EXPECT_EQ(Defrag("\"" + In("folder") + "\" -q"), DWORD{kDefragRefused});
  EXPECT_EQ(Defrag("\"" + In("missing.bin") + "\" -q"), DWORD{kDefragRefused});
  EXPECT_EQ(Defrag("\"" + ProgramFolder() + "\\link-fixture\\link\\keep.txt\" -q"),
            DWORD{kDefragRefused});
  EXPECT_EQ(Defrag("-q"), DWORD{kDefragUsage});
  EXPECT_EQ(Defrag("relative.bin -q"), DWORD{kDefragUsage});
  EXPECT_EQ(Defrag("\"" + In("big file.bin") + "\" \"" + In("big file.bin") + "\""),
            DWORD{kDefragUsage});
}

}  // namespace
}  // namespace qv
