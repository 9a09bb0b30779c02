// quorvin-helper JOB ARGS...: one job that needs root, for the program running as the user.
#include <string>
#include <vector>

#include "platform/linux/PrivilegedHelper.h"

int main(int argc, char** argv) {
  qv::PrepareHelperProcess();
  const std::string job = argc > 1 ? argv[1] : "";
  const std::vector<std::string> args(argv + (argc > 1 ? 2 : argc), argv + argc);
  if (job == "check-fix") return qv::CheckFixJob(args);
  if (job == "defragment") return qv::DefragmentJob(args);
  if (job == "set-clock") return qv::SetClockJob(args);
  qv::HelperWrite({qv::HelperReport::Text, 0, "Unknown job \"" + job + "\".", false});
  return qv::kHelperRefused;
}
