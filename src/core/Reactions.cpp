#include "core/Reactions.h"

#include "core/Program.h"

namespace qv {

void Yield(Program& p, bool sleepFirst) {
  if (sleepFirst) p.os.events.Sleep(1);
  struct Depth {
    int& d;
    explicit Depth(int& v) : d(v) { ++d; }
    ~Depth() { --d; }
  } depth(p.shell.yieldDepth);
  if (p.onYield) p.onYield(p);
  Event e;
  while (p.os.events.PollEvent(&e))
    if (p.reactions.handleEvent) p.reactions.handleEvent(p, e);
}

}  // namespace qv
