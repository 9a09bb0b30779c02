// Calls that run against the include direction (a widget or the layout loader reaching a
// function, every function yielding to the event loop) go through these tables: a function
// module registers what it does for an element's key, and the caller runs whatever is there.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace qv {

struct Program;
struct Event;

template <typename... Args>
class ReactionTable {
 public:
  using Reaction = std::function<void(Program&, Args...)>;

  // `name` "*" reacts to every name of the group that has no reaction of its own.
  void Register(const std::string& group, const std::string& name, Reaction reaction) {
    table_[{group, name}] = std::move(reaction);
  }

  // Runs the reaction registered for the key; false when there is none.
  bool Run(Program& p, const std::string& group, const std::string& name, Args... args) const {
    auto it = table_.find({group, name});
    if (it == table_.end()) it = table_.find({group, "*"});
    if (it == table_.end()) return false;
    // A copy: the reaction may change the screen and with it whatever refers to the table.
    const Reaction reaction = it->second;
    reaction(p, args...);
    return true;
  }

 private:
  std::map<std::pair<std::string, std::string>, Reaction> table_;
};

struct Reactions {
  ReactionTable<int16_t> listClicked;        // pointer-down on list box `index`
  ReactionTable<int16_t> listOpened;         // double click on list box `index`
  ReactionTable<int16_t> listLoaded;         // the layout loader made list box `index`
  ReactionTable<int16_t, bool> driveChosen;  // drive list `index` opened (true) or closed its menu
  ReactionTable<int16_t> diagramLoaded;      // the layout loader read diagram `index`
  // After a screen's layout was loaded (clock and system figures refresh themselves).
  std::vector<std::function<void(Program&)>> screenShown;
  // Timer ticks by timer number (the platform's kCpuTimer, kClockTimer).
  std::map<int, std::vector<std::function<void(Program&)>>> timerTicked;
  // The main window's event handlers, installed by the shell; Yield hands events to them.
  std::function<void(Program&, const Event&)> handleEvent;
};

// Sleeps 1 ms when asked, then hands every pending window event to the main window's handlers.
// Handlers may run commands that yield again.
void Yield(Program& p, bool sleepFirst);

}  // namespace qv
