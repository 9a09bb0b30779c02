// The Windows command-line splitter and the drive-path translation of the Linux platform.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/common/WindowsCommandLine.h"
#include "platform/linux/PosixFileSystem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One empty folder as drive C:; nothing below it is ever created.
  static char folder[] = "/tmp/quorvin-fuzz-XXXXXX";
  static const char* root = mkdtemp(folder);
  static qv::PosixFileSystem files({qv::DriveMapping{'C', root, ""}}, root);
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const std::string& arg : qv::SplitWindowsCommandLine(text))
    if (arg.size() > text.size()) __builtin_trap();
  // Any argument, quoted, comes back from the splitter as it was.
  const std::vector<std::string> quoted =
      qv::SplitWindowsCommandLine("\"p\" " + qv::QuoteArgument(text) + " -q");
  if (quoted.size() != 3 || quoted[1] != text || quoted[2] != "-q") __builtin_trap();
  const std::string host = files.HostPath(text);
  files.Probe(text, qv::NameCase::Any);
  files.IsFolder(text, qv::FollowLinks::No);
  (void)host;
  // Any name below the drive has a DOS form that leads back to it (through the private-use
  // mapping where the DOS form cannot hold a character).
  std::string name = text;
  for (char& c : name)
    if (c == '/' || c == '\0') c = '_';
  if (name.empty() || name == "." || name == "..") return 0;
  // A name already holding a private-use character of the mapping cannot be told apart from a
  // mapped one (U+F000 to U+F0FF: EF 80 80 to EF 83 BF).
  for (const char* mapped : {"\xef\x80", "\xef\x81", "\xef\x82", "\xef\x83"})
    if (name.find(mapped) != std::string::npos) return 0;
  const std::string hostName = std::string(root) + "/" + name;
  const std::string dos = files.DosPathForHost(hostName);
  if (!dos.empty() && files.HostPath(dos) != hostName) __builtin_trap();
  return 0;
}
