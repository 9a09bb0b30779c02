// quorvin-helper's check with fixing: the drive is found again from the machine's own table, and
// checked by the very engine the program runs as root, its reports written as lines.
#include <string>
#include <vector>

#include "platform/linux/PosixCheckEngine.h"
#include "platform/linux/PrivilegedHelper.h"
#include "platform/linux/StderrDiagnostics.h"

namespace qv {
namespace {

int Refuse(const std::string& why) {
  HelperWrite({HelperReport::Text, 0, "The drive cannot be fixed: " + why, false});
  return kHelperRefused;
}

}  // namespace

int CheckFixJob(const std::vector<std::string>& args) {
  if (args.empty()) return Refuse("no drive was named.");
  bool verbose = false, surface = false;
  for (size_t i = 1; i < args.size(); ++i) {
    bool* flag = args[i] == "--verbose" ? &verbose : args[i] == "--surface" ? &surface : nullptr;
    if (!flag || *flag) return Refuse("unknown or repeated option \"" + args[i] + "\".");
    *flag = true;
  }
  const auto files = PosixFileSystem::FromMounts("/");
  const Result<char> letter = HelperDriveOf(files->Table(), args[0]);
  if (!letter) return Refuse(letter.status().message());

  StderrDiagnostics diag;
  PosixCheckEngine engine(*files, diag);
  bool done = false, success = false;
  const CheckCallback callback = [&](uint32_t command, uint32_t, const void* info) {
    if (command == kCheckProgress) {
      HelperWrite({HelperReport::Progress, *static_cast<const uint32_t*>(info), "", false});
    } else if (command == kCheckTextOutput) {
      const char* text = static_cast<const CheckTextOutput*>(info)->text;
      HelperWrite({HelperReport::Text, 0, text ? text : "", false});
    } else if (command == kCheckDone) {
      done = true;
      success = *static_cast<const uint8_t*>(info) != 0;
      HelperWrite({HelperReport::Done, 0, "", success});
      return true;
    }
    return !HelperStopAsked();
  };
  engine.Chkdsk(std::string(1, letter.value()) + ":\\", "", true, verbose, false, surface,
                callback);
  return done && success ? 0 : kHelperJobFailed;
}

}  // namespace qv
