// The Windows command-line splitter and the drive-path translation of the Linux platform.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixProcesses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One empty folder as drive C:; nothing below it is ever created.
  static char folder[] = "/tmp/quorvin-fuzz-XXXXXX";
  static const char* root = mkdtemp(folder);
  static qv::PosixFileSystem files({qv::DriveMapping{'C', root, ""}}, root);
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const std::string& arg : qv::SplitWindowsCommandLine(text))
    if (arg.size() > text.size()) __builtin_trap();
  const std::string host = files.HostPath(text);
  files.Probe(text);
  files.IsFolder(text);
  (void)host;
  return 0;
}
