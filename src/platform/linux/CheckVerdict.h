// How a disk check ended, from the checkers' exit statuses to the last line the user sees.
// Header-only and without an OS header, so that its table tests need no checker and no device.
#pragma once

#include <string>

namespace qv {

enum class CheckerKind { Ext, Fat };  // e2fsck, fsck.fat

// How one run of a checker ended.
enum class Verdict { Clean, Corrected, Remain, Failed, Cancelled };

struct RunResult {
  Verdict verdict = Verdict::Failed;
  std::string why;  // of a failure
};

// One run's verdict from how the checker ended: `signaled` with the signal's number in `code`,
// otherwise its exit status; `readOnly` for a run that fixes nothing ("-n"); `stopped` when the
// user stopped it.
inline RunResult JudgeRun(CheckerKind kind, const std::string& checkerName, bool readOnly,
                          bool stopped, bool signaled, int code) {
  const bool ext = kind == CheckerKind::Ext;
  const int status = signaled ? 0 : code;
  RunResult r;
  if (stopped || (ext && !signaled && (status & 32))) {
    r.verdict = Verdict::Cancelled;
  } else if (signaled) {
    r.why = checkerName + " was ended by signal " + std::to_string(code) + ".";
  } else if (ext ? (status & (8 | 16 | 128)) != 0 : status > 1) {
    r.why = checkerName + " ended with status " + std::to_string(status) + ".";
  } else if (ext ? (status & 4) != 0 : status == 1 && readOnly) {
    r.verdict = Verdict::Remain;
  } else if (status != 0) {
    // A read-only run that says something changed still found something.
    r.verdict = readOnly ? Verdict::Remain : Verdict::Corrected;
  } else {
    r.verdict = Verdict::Clean;
  }
  return r;
}

// A fixing run that changed something is followed by a read-only one, which has the last word.
inline RunResult AfterVerify(const RunResult& fixing, const RunResult& verify) {
  return verify.verdict == Verdict::Clean ? fixing : verify;
}

struct CheckEnd {
  std::string line;
  bool success = false;
};

// The last line of a check: `fixing` whether it could fix (otherwise `readOnlyWhy` says why
// not), `verified` whether a read-only pass followed a fixing one.
inline CheckEnd LastLine(const RunResult& result, CheckerKind kind, bool fixing, bool verified,
                         const std::string& readOnlyWhy) {
  switch (result.verdict) {
    case Verdict::Cancelled:
      return {"The check was cancelled.", false};
    case Verdict::Failed:
      return {"The check failed: " + result.why, false};
    case Verdict::Remain:
      if (!fixing)
        return {"Errors remain: the drive was checked without fixing (" + readOnlyWhy + ").",
                false};
      if (!verified) return {"Errors remain: they could not all be corrected.", false};
      return {kind == CheckerKind::Ext ? "Errors remain: a second check still finds errors."
                                       : "Errors remain: a second check still finds errors or "
                                         "cannot read the drive.",
              false};
    case Verdict::Corrected:
      return {"Errors were corrected.", true};
    case Verdict::Clean:
      break;
  }
  return {"No errors found.", true};
}

}  // namespace qv
