// The disk check's verdicts: every exit status the checkers give, read as the check reads it, and
// the last line the user sees for each way a check ends.
#include <gtest/gtest.h>

#include <string>

#include "platform/linux/CheckVerdict.h"

namespace qv {
namespace {

TEST(CheckVerdict, EveryStatusBitOfBothCheckersLeadsToItsVerdict) {
  constexpr auto Ext = CheckerKind::Ext;
  constexpr auto Fat = CheckerKind::Fat;
  struct Case {
    CheckerKind kind;
    bool readOnly, stopped, signaled;
    int code;
    Verdict verdict;
    const char* why;
  } cases[] = {
      {Ext, false, false, false, 0, Verdict::Clean, ""},
      {Ext, false, false, false, 1, Verdict::Corrected, ""},
      {Ext, false, false, false, 2, Verdict::Corrected, ""},  // corrected, reboot advised
      {Ext, true, false, false, 1, Verdict::Remain, ""},      // -n that "corrected" found errors
      {Ext, false, false, false, 4, Verdict::Remain, ""},
      {Ext, false, false, false, 5, Verdict::Remain, ""},
      {Ext, false, false, false, 8, Verdict::Failed, "e2fsck ended with status 8."},
      {Ext, false, false, false, 12, Verdict::Failed, "e2fsck ended with status 12."},
      {Ext, false, false, false, 16, Verdict::Failed, "e2fsck ended with status 16."},
      {Ext, false, false, false, 128, Verdict::Failed, "e2fsck ended with status 128."},
      {Ext, false, false, false, 32, Verdict::Cancelled, ""},
      {Ext, false, false, false, 36, Verdict::Cancelled, ""},  // cancel wins over what it found
      {Ext, false, true, false, 0, Verdict::Cancelled, ""},    // stopped by the user
      {Ext, false, true, true, 2, Verdict::Cancelled, ""},     // its stop signal is no failure
      {Ext, false, false, true, 9, Verdict::Failed, "e2fsck was ended by signal 9."},
      {Ext, false, false, true, 32, Verdict::Failed, "e2fsck was ended by signal 32."},
      {Fat, false, false, false, 0, Verdict::Clean, ""},
      {Fat, false, false, false, 1, Verdict::Corrected, ""},
      {Fat, true, false, false, 1, Verdict::Remain, ""},
      {Fat, false, false, false, 2, Verdict::Failed, "fsck.fat ended with status 2."},
      {Fat, false, false, false, 32, Verdict::Failed, "fsck.fat ended with status 32."},
      {Fat, false, false, true, 15, Verdict::Failed, "fsck.fat was ended by signal 15."},
      {Fat, true, true, false, 1, Verdict::Cancelled, ""},
  };
  for (const Case& c : cases) {
    const RunResult r = JudgeRun(c.kind, c.kind == Ext ? "e2fsck" : "fsck.fat", c.readOnly,
                                 c.stopped, c.signaled, c.code);
    const std::string what = (c.kind == Ext ? "ext " : "fat ") + std::to_string(c.code) +
                             (c.signaled ? " signal" : "") + (c.readOnly ? " -n" : "") +
                             (c.stopped ? " stopped" : "");
    EXPECT_EQ(r.verdict, c.verdict) << what;
    EXPECT_EQ(r.why, c.why) << what;
  }
}

TEST(CheckVerdict, TheLastLineSaysHowTheCheckEnded) {
  const RunResult clean{Verdict::Clean, ""}, corrected{Verdict::Corrected, ""},
      remain{Verdict::Remain, ""}, cancelled{Verdict::Cancelled, ""},
      failed{Verdict::Failed, "e2fsck ended with status 8."};
  // The read-only pass after a repair has the last word only when it still finds something.
  EXPECT_EQ(AfterVerify(corrected, clean).verdict, Verdict::Corrected);
  EXPECT_EQ(AfterVerify(corrected, remain).verdict, Verdict::Remain);
  EXPECT_EQ(AfterVerify(corrected, failed).why, failed.why);

  struct Case {
    RunResult result;
    CheckerKind kind;
    bool fixing, verified;
    const char* line;
    bool success;
  } cases[] = {
      {clean, CheckerKind::Ext, true, false, "No errors found.", true},
      {clean, CheckerKind::Fat, false, false, "No errors found.", true},
      {corrected, CheckerKind::Ext, true, true, "Errors were corrected.", true},
      {cancelled, CheckerKind::Ext, true, false, "The check was cancelled.", false},
      {failed, CheckerKind::Ext, true, false, "The check failed: e2fsck ended with status 8.",
       false},
      {remain, CheckerKind::Ext, false, false,
       "Errors remain: the drive was checked without fixing (it is in use).", false},
      {remain, CheckerKind::Ext, true, false, "Errors remain: they could not all be corrected.",
       false},
      {remain, CheckerKind::Ext, true, true, "Errors remain: a second check still finds errors.",
       false},
      {remain, CheckerKind::Fat, true, true,
       "Errors remain: a second check still finds errors or cannot read the drive.", false},
  };
  for (const Case& c : cases) {
    const CheckEnd end = LastLine(c.result, c.kind, c.fixing, c.verified, "it is in use");
    EXPECT_EQ(end.line, c.line);
    EXPECT_EQ(end.success, c.success) << c.line;
  }
}

}  // namespace
}  // namespace qv
