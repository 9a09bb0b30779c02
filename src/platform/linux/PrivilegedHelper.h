// Jobs that need root (a check with fixing, defragmenting a file, setting the clock) run in
// quorvin-helper while the program runs as the user: through pkexec, or directly for root.
// The helper writes one report per line to its standard output: "P <percent>", "T <text>",
// "D <0|1>".
#pragma once

#include <string>
#include <vector>

#include "platform/Status.h"
#include "platform/linux/DriveTable.h"
#include "platform/linux/HelperLines.h"

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
// The command that runs one job of `helper`: pkexec (without its terminal agent) before it
// unless the program is root.
std::vector<std::string> HelperCommand(const std::string& helper, const std::string& job,
                                       const std::vector<std::string>& args);

// The helper's own setting, whoever started it: a known PATH and umask, an environment cut
// down to the locale, standard descriptors that are open, no death by a reader that went away.
void PrepareHelperProcess();
// Writes one report to standard output; once that fails (the program is gone), nothing more.
void HelperWrite(const HelperReport& report);
// True once the program asks the job to stop: it closed the helper's standard input (by
// cancelling, or by ending). Only where that input is a pipe.
bool HelperStopAsked();

// The drive of `table` that a job's TARGET names: the folder a drive is mounted on, or the
// device of a mounted drive, written plainly and reached through no link. An error says why
// anything else is refused.
Result<char> HelperDriveOf(const DriveTable& table, const std::string& target);

// The jobs of quorvin-helper; each takes the arguments after the job's name and returns the
// helper's exit status.
// "check-fix TARGET [--verbose] [--surface]": the check with fixing of one drive.
int CheckFixJob(const std::vector<std::string>& args);    // "check-fix"
int DefragmentJob(const std::vector<std::string>& args);  // "defragment"
int SetClockJob(const std::vector<std::string>& args);    // "set-clock"

}  // namespace qv
