// When each script line is carried out: plain lines by the top-level loop, after everything the
// previous line started has ended; "~N" lines by the N-th Yield after the previous line, so that
// they reach a function that is still running.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "probe/Script.h"

namespace probe {

// Thrown out of the program's Yield when a function waits for input the script never gives.
// Not a std::exception, so the program's handlers do not swallow it.
struct StalledScript {};

class Delivery {
 public:
  // `carryOut` performs a line (pointer lines only queue their events); `settle` hands every
  // queued event to the program at top level, which may run functions that yield.
  Delivery(std::vector<ScriptLine> lines, std::function<void(const ScriptLine&)> carryOut,
           std::function<void()> settle);

  // Called at the start of every Yield of the program. `waitingForInput`: the running function
  // can only end through a line of the script. Without a "~" line left for it the script can
  // never go on: StalledScript is thrown.
  void OnYield(bool waitingForInput = false);
  // The top-level loop: carries out the lines that are left, in order.
  void RunTopLevel();

  // The line carried out last; null before the first.
  const ScriptLine* last() const { return last_; }
  bool finished() const { return next_ == lines_.size(); }

 private:
  void Take();

  std::vector<ScriptLine> lines_;
  std::function<void(const ScriptLine&)> carryOut_;
  std::function<void()> settle_;
  size_t next_ = 0;
  int yields_ = 0;  // Yield calls since the last line was carried out
  const ScriptLine* last_ = nullptr;
};

}  // namespace probe
