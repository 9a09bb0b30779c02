// A Chkdsk with the engine's argument list and callback protocol. It reports progress in steps,
// text in the OEM code page (letters that code pages 437 and 850 share), an unknown command and
// done, and returns at once when a report is answered with 0.
#include <windows.h>

#include <cwchar>

#include "FmifsStandIn.h"

namespace {

using Callback = BOOL(WINAPI*)(DWORD command, DWORD subAction, void* actionInfo);

struct Text {
  DWORD lines;
  const char* text;
};

qv::test::StandInOutcome outcome = qv::test::kStandInClean;
qv::test::StandInCall last;

void Copy(wchar_t (&to)[64], const wchar_t* from) {
  if (from) wcsncpy(to, from, 63);
}

}  // namespace

extern "C" __declspec(dllexport) void WINAPI
    Chkdsk(const wchar_t* root, const wchar_t* fileSystem, BOOL fixErrors, BOOL verbose,
           BOOL checkOnlyIfDirty, BOOL scanSurface, void* reserved1, void* reserved2,
           Callback callback) {
  const int32_t calls = last.calls + 1;
  last = qv::test::StandInCall{};
  last.calls = calls;
  Copy(last.root, root);
  Copy(last.fileSystem, fileSystem);
  last.fixErrors = fixErrors;
  last.verbose = verbose;
  last.checkOnlyIfDirty = checkOnlyIfDirty;
  last.scanSurface = scanSurface;
  last.reserved1 = reserved1;
  last.reserved2 = reserved2;
  if (!callback) return;

  const bool clean = outcome == qv::test::kStandInClean;
  // "Überprüfung der Dateien ...", "Größe ...", "... Grün ..." in OEM bytes.
  Text checking{1,
                "\x9a"
                "berpr\x81"
                "fung der Dateien (Phase 1 von 3)"};
  Text size{1,
            "Gr\x94\xe1"
            "e der Zuordnungseinheit: 4096 Bytes"};
  Text verdict{1, clean ? "Es wurden keine Probleme gefunden."
                        : "Fehler im Verzeichnis \"Gr\x81"
                          "n\" gefunden."};
  DWORD percent[] = {0, 20, 40, 60, 80, 100};
  BOOLEAN success = clean ? 1 : 0;
  struct Step {
    DWORD command;
    void* info;
  };
  const Step steps[] = {{0, &percent[0]}, {14, &checking},  {0, &percent[1]}, {0, &percent[2]},
                        {0, &percent[3]}, {0, &percent[4]}, {14, &size},      {7, nullptr},
                        {0, &percent[5]}, {14, &verdict},   {11, &success}};
  int n = 0;
  for (const Step& step : steps) {
    const BOOL answer = callback(step.command, 0, step.info);
    last.answers[n++] = answer == 1 ? '1' : answer == 0 ? '0' : '?';
    if (answer == 0) return;
  }
}

extern "C" __declspec(dllexport) void StandInSetup(int32_t chosen) {
  outcome = static_cast<qv::test::StandInOutcome>(chosen);
  last = qv::test::StandInCall{};
}

extern "C" __declspec(dllexport) void StandInLastCall(qv::test::StandInCall* out) {
  *out = last;
}
