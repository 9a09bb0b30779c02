#include "platform/linux/PosixCheckEngine.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/common/NeedsRights.h"
#include "platform/linux/CheckByHelper.h"
#include "platform/linux/CheckProbe.h"
#include "platform/linux/CheckRun.h"
#include "platform/linux/CheckVerdict.h"
#include "platform/linux/PrivilegedHelper.h"
#include "platform/linux/UniqueFd.h"

namespace qv {
namespace {

std::string Errno(int e) {
  return std::strerror(e);
}

bool NoRight(int e) {
  return e == EPERM || e == EACCES;
}

// Opens the target's device and holds it open to the end: what was probed is what is checked
// (the checker gets this very descriptor), and a loop device set up to clear itself does not go
// with the mount. Without blocking: a FIFO in the device's place must not hang the program.
Status HoldDevice(const CheckTarget& target, UniqueFd* hold, struct stat* held) {
  hold->reset(open(target.device.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!*hold) {
    const int e = errno;
    return Status::Error(
        NoRight(e)
            ? "The check needs administrator rights: " + target.device + ": " + Errno(e) + "."
            : "The drive cannot be checked: " + target.device + ": " + Errno(e) + ".");
  }
  if (fstat(hold->get(), held) != 0 || !(S_ISBLK(held->st_mode) || S_ISREG(held->st_mode)) ||
      (target.mounted && (!S_ISBLK(held->st_mode) || held->st_rdev != target.mountDevice)))
    return Status::Error("The drive cannot be checked: " + target.device +
                         " is not the drive's device.");
  return Status::Ok();
}

// Which checker the held device needs. The type comes from the device itself, never from what
// is mounted on the drive's folder.
Result<CheckerKind> KindOf(int hold, const std::string& device) {
  const std::string type = ProbeType(hold);
  if (type == "ext2" || type == "ext3" || type == "ext4") return CheckerKind::Ext;
  if (type == "vfat" || type == "msdos") return CheckerKind::Fat;
  return Status::Error("The drive cannot be checked: " + device +
                       " holds no ext2, ext3, ext4 or FAT file system.");
}

// The checker runs of one check over the held device, and how they ended.
class Runs {
 public:
  Runs(CheckRun& run, CheckerKind kind, std::string checker, std::string checkerName,
       const CheckTarget& target, int hold, const struct stat& held, bool verbose)
      : run_(run),
        kind_(kind),
        checker_(std::move(checker)),
        checkerName_(std::move(checkerName)),
        target_(target),
        hold_(hold),
        held_(held),
        verbose_(verbose) {}

  // A check without fixing.
  RunResult ReadOnly() { return Once("-n", false, 0, 100); }

  // Repairs first, then scans the surface of what came out clean: the surface scan makes
  // e2fsck give up on file systems whose bitmaps or inode tables lie outside their group,
  // which a plain repair fixes.
  RunResult Fixing(bool scanSurface, bool* verified) {
    const bool scan = kind_ == CheckerKind::Ext && scanSurface;
    RunResult result = Fix(false, 0, scan ? 30 : 100, verified);
    if (scan && (result.verdict == Verdict::Clean || result.verdict == Verdict::Corrected)) {
      bool scanVerified;
      const RunResult scanned = Fix(true, 30, 70, &scanVerified);
      if (scanned.verdict != Verdict::Clean) result = scanned;
      *verified |= scanVerified;
    }
    return result;
  }

 private:
  // A fixing run, and the read-only one after it when it changed something.
  RunResult Fix(bool scan, uint32_t base, uint32_t span, bool* verified) {
    const RunResult r = Once(kind_ == CheckerKind::Ext ? "-y" : "-a", scan, base, span);
    *verified = false;
    if (r.verdict != Verdict::Corrected) return r;
    const RunResult again = Once("-n", false, base + span, 0);
    *verified = true;
    return AfterVerify(r, again);
  }

  // Runs the checker once; `mode` is "-n", "-y", "-a"; the bar between base and base + span.
  RunResult Once(const std::string& mode, bool scan, uint32_t base, uint32_t span) {
    std::vector<std::string> args;
    if (kind_ == CheckerKind::Ext) args = {"-f", "-C", "3"};
    if (verbose_) args.push_back("-v");
    args.push_back(mode);
    if (scan) args.push_back("-c");
    args.push_back(CheckRun::kDeviceLink);
    RunResult r;
    if (run_.stopped()) {
      r.verdict = Verdict::Cancelled;
      return r;
    }
    if (!Unchanged()) {
      r.why = target_.device + " was replaced during the check.";
      return r;
    }
    run_.Range(base, span, scan);
    if (const Status started = run_.Start(checker_, args, hold_, target_.device); !started) {
      r.why = checkerName_ + " could not be started (" + started.message() + ").";
      return r;
    }
    const ChildExit exit = run_.Wait();
    return JudgeRun(kind_, checkerName_, mode == "-n", run_.stopped(), exit.signaled, exit.code);
  }

  // The device path still leads to what is held.
  bool Unchanged() const {
    struct stat now;
    return stat(target_.device.c_str(), &now) == 0 && now.st_dev == held_.st_dev &&
           now.st_ino == held_.st_ino && now.st_rdev == held_.st_rdev;
  }

  CheckRun& run_;
  CheckerKind kind_;
  std::string checker_, checkerName_;
  const CheckTarget& target_;
  int hold_;
  struct stat held_;
  bool verbose_;
};

}  // namespace

PosixCheckEngine::PosixCheckEngine(const PosixFileSystem& files, Diagnostics& diag,
                                   PosixCheckOptions options)
    : files_(files), diag_(diag), options_(std::move(options)) {
  if (!options_.unmount)
    options_.unmount = [](const std::string& target) {
      return umount2(target.c_str(), UMOUNT_NOFOLLOW);
    };
}

PosixCheckEngine::Target PosixCheckEngine::FindTarget(const std::string& root) const {
  return FindCheckTarget(files_, root);
}

std::string PosixCheckEngine::ReadOnlyReason(const Target& t) const {
  if (t.mounted && t.mountPoint == "/") return "it is the system drive";
  if (t.mounted && t.root != "/") return "only a folder of its file system is the drive";
  if (t.mountedElsewhere) return "its file system is mounted in another place too";
  if (t.inUseElsewhere) return "it is in use";
  if (ReadOnlyDevice(t.device)) return "its device is read-only";
  // A mounted drive is unmounted for the check, which fails exactly when it is busy.
  if (t.mounted) return {};
  const UniqueFd fd(open(t.device.c_str(), O_WRONLY | O_EXCL | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd) return NoRight(errno) ? "the check needs administrator rights" : "it is in use";
  return {};
}

bool PosixCheckEngine::ThroughHelper(const Target& t) const {
  if (geteuid() == 0) return options_.helperForRoot;
  // The helper fixes only what it finds mounted in the machine's table; a user may not unmount.
  return t.mounted && ReadOnlyReason(t).empty();
}

std::string PosixCheckEngine::CheckInHelper(const Target& t, bool verbose, bool scanSurface,
                                            const CheckCallback& callback) {
  const std::string helper = options_.helper.empty() ? HelperProgramPath() : options_.helper;
  if (helper.empty()) return "quorvin-helper is not installed";
  std::vector<std::string> args{t.mounted ? t.mountPoint : t.device};
  if (verbose) args.push_back("--verbose");
  if (scanSurface) args.push_back("--surface");
  return CheckThroughHelper(HelperCommand(helper, "check-fix", args), callback,
                            options_.quietReportMs);
}

bool PosixCheckEngine::CanOpenExclusive(const std::string& root) {
  const Target t = FindTarget(root);
  return !t.device.empty() && ReadOnlyReason(t).empty();
}

void PosixCheckEngine::Refuse(const std::string& drive, const std::string& line,
                              const CheckCallback& callback) {
  diag_.Warn("disk check of " + drive + ": " + line);
  CheckTextOutput record{1, line.c_str()};
  callback(kCheckTextOutput, 0, &record);
  const uint8_t failed = 0;
  callback(kCheckDone, 0, &failed);
}

void PosixCheckEngine::Chkdsk(const std::string& root, const std::string& /*fileSystem*/,
                              bool fixErrors, bool verbose, bool /*checkOnlyIfDirty*/,
                              bool scanSurface, const CheckCallback& callback) {
  const std::string drive = root.substr(0, 2);
  const Target target = FindTarget(root);
  if (target.device.empty()) {
    diag_.Warn("disk check of " + drive + " not possible: the drive has no device");
    return;
  }
  // A user's fixing check without authorisation goes on as a check only.
  std::string noRights;
  if (fixErrors && ThroughHelper(target)) {
    noRights = CheckInHelper(target, verbose, scanSurface, callback);
    if (noRights.empty()) return;
    diag_.Warn("disk check of " + drive + ": fixing needs administrator rights: " + noRights);
    const std::string line = FixingNeedsRights(noRights);
    CheckTextOutput record{1, line.c_str()};
    if (!callback(kCheckTextOutput, 0, &record)) {
      const CheckTextOutput cancelled{1, "The check was cancelled."};
      callback(kCheckTextOutput, 0, &cancelled);
      const uint8_t failed = 0;
      callback(kCheckDone, 0, &failed);
      return;
    }
    fixErrors = false;
  }
  UniqueFd hold;
  struct stat held;
  if (const Status s = HoldDevice(target, &hold, &held); !s) {
    Refuse(drive, s.message(), callback);
    return;
  }
  const Result<CheckerKind> kindOf = KindOf(hold.get(), target.device);
  if (!kindOf) {
    Refuse(drive, kindOf.status().message(), callback);
    return;
  }
  const CheckerKind kind = kindOf.value();
  const std::string checkerName = kind == CheckerKind::Ext ? options_.e2fsck : options_.fsckFat;
  const std::string checker = FindProgram(checkerName);
  if (checker.empty()) {
    diag_.Warn("disk check of " + drive + " not possible: " + checkerName + " is not installed");
    return;
  }

  std::string readOnlyWhy =
      noRights.empty() ? ReadOnlyReason(target) : "fixing needs administrator rights";
  bool fixing = fixErrors && readOnlyWhy.empty();
  if (readOnlyWhy.empty()) readOnlyWhy = "it is in use";
  DriveRemount remount(diag_, drive);
  if (fixing && target.mounted) {
    const std::string why = remount.Unmount(
        target, hold.get(), options_.mount ? &options_.mount : nullptr, options_.unmount);
    if (!why.empty()) {
      fixing = false;
      readOnlyWhy = why;
    }
  }

  CheckRun run(callback, options_.quietReportMs);
  if (!fixing && noRights.empty())
    run.Text("The drive is checked without fixing: " + readOnlyWhy + ".");
  Runs runs(run, kind, checker, checkerName, target, hold.get(), held, verbose);
  bool verified = false;
  const RunResult result = fixing ? runs.Fixing(scanSurface, &verified) : runs.ReadOnly();
  CheckEnd end = LastLine(result, kind, fixing, verified, readOnlyWhy);

  remount.Now();
  if (!remount.failure().empty()) end.success = false;
  run.Text(end.line);
  if (!remount.failure().empty()) run.Text(remount.failure());
  const uint8_t flag = end.success ? 1 : 0;
  callback(kCheckDone, 0, &flag);
}

}  // namespace qv
