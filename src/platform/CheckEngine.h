// The file system's own check engine. It runs on the caller's thread and reports through a
// callback: progress, text output and the end of the run. A platform may have no engine at all.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Status.h"

namespace qv {

// Report commands and what their `actionInfo` points to.
constexpr uint32_t kCheckProgress = 0;     // const uint32_t: percentage
constexpr uint32_t kCheckDone = 11;        // const uint8_t: the engine's success flag
constexpr uint32_t kCheckTextOutput = 14;  // const CheckTextOutput

struct CheckTextOutput {
  uint32_t lines = 0;
  const char* text = nullptr;  // NUL-terminated 8-bit text in the engine's own code page
};

// Answers true to let the engine go on, false to make it stop.
using CheckCallback =
    std::function<bool(uint32_t command, uint32_t subAction, const void* actionInfo)>;

class CheckEngine {
 public:
  virtual ~CheckEngine() = default;

  // Makes the engine ready for a run, or says why it is not available.
  virtual Status Load() = 0;
  virtual void Unload() = 0;
  // Whether the drive's volume can be had for exclusive writing: only then are errors fixed.
  virtual bool CanOpenExclusive(const std::string& root) = 0;
  // Checks the volume of a drive root ("C:\") of file system `fileSystem`; returns when the
  // engine has finished or the callback stopped it.
  virtual void Chkdsk(const std::string& root, const std::string& fileSystem, bool fixErrors,
                      bool verbose, bool checkOnlyIfDirty, bool scanSurface,
                      const CheckCallback& callback) = 0;
};

}  // namespace qv
