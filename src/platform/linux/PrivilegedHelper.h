// Jobs that need root (a check with fixing, defragmenting a file, setting the clock) run in
// quorvin-helper while the program runs as the user: through pkexec, or directly for root.
// The helper writes one report per line to its standard output: "P <percent>", "T <text>",
// "D <0|1>".
#pragma once

#include <string>
#include <vector>

namespace qv {

// pkexec's own exit codes: the user dismissed the dialog; no authorisation (refused, no agent,
// an error of pkexec). The helper never ends with either of them itself.
constexpr int kHelperDismissed = 126;
constexpr int kHelperNotAuthorised = 127;
// The helper's own: the job ran and failed; the arguments were refused before anything was done.
constexpr int kHelperJobFailed = 1;
constexpr int kHelperRefused = 2;

// The helper beside the running program (a build folder), else in ../libexec/quorvin/ relative
// to it (installed); empty when neither holds an executable file.
std::string HelperProgramPath();
// The command that runs one job of `helper`: pkexec before it unless the program is root.
std::vector<std::string> HelperCommand(const std::string& helper, const std::string& job,
                                       const std::vector<std::string>& args);

// The jobs of quorvin-helper; each takes the arguments after the job's name and returns the
// helper's exit status.
int CheckFixJob(const std::vector<std::string>& args);    // "check-fix"
int DefragmentJob(const std::vector<std::string>& args);  // "defragment"
int SetClockJob(const std::vector<std::string>& args);    // "set-clock"

}  // namespace qv
