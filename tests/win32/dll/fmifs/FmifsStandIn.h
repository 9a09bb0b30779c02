// The tests' stand-in for fmifs.dll (Wine has none): what it was asked and answered, and the
// outcome it reports, reached by the tests through its two extra exports.
#pragma once

#include <cstdint>

namespace qv::test {

enum StandInOutcome : int32_t { kStandInClean = 0, kStandInErrors = 1 };

struct StandInCall {
  int32_t calls = 0;  // Chkdsk calls since StandInSetup
  wchar_t root[64] = {};
  wchar_t fileSystem[64] = {};
  int32_t fixErrors = 0, verbose = 0, checkOnlyIfDirty = 0, scanSurface = 0;  // as passed
  const void* reserved1 = nullptr;
  const void* reserved2 = nullptr;
  // One per report of the last call: '1' go on, '0' stop, '?' any other answer.
  char answers[64] = {};
};

using StandInSetupFn = void (*)(int32_t outcome);
using StandInLastCallFn = void (*)(StandInCall* out);

}  // namespace qv::test
