#include "commands/modDispatch.h"

#include <vector>

#include "shell/Program.h"
#include "shell/modDeclares.h"
#include "widgets/modButton.h"

namespace qv {

bool KeyboardKeyText(const std::string& name, std::string* text) {
  if (name.size() == 1) {
    const char c = name[0];
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
        std::string(",./'-=\\`()").find(c) != std::string::npos) {
      *text = name;
      return true;
    }
    return false;
  }
  if (name == "spacebar") {
    *text = " ";
    return true;
  }
  if (name == "pc") {
    *text = ";";
    return true;
  }
  return false;
}

namespace {

void RunFunction(Program& p, const std::string& argument) {
  if (argument == "exit") ExitProgram(p);
}

void RunCleanHdd(Program& p, const std::string& argument) {
  if (argument == "cancel") {
    p.flags.CancelRequested = true;
    EnableButtons(p, "cleanhdd", "start");
    EnableButtons(p, "loadscreen", "*");
    DisableButtons(p, "cleanhdd", "cancel");
  }
}

}  // namespace

void RunCommand(Program& p, const std::string& word, const std::string& argument) {
  if (word == "loadscreen") {
    ShowScreen(p, argument.empty() ? p.skin.PreviousScreen : argument);
  } else if (word == "function") {
    RunFunction(p, argument);
  } else if (word == "copy" || word == "explorerinfo" || word == "defrag") {
    if (argument == "cancel") p.flags.CancelRequested = true;
  } else if (word == "checkhdd") {
    if (argument == "cancel") p.flags.CheckDiskCancel = true;
  } else if (word == "cleanhdd") {
    RunCleanHdd(p, argument);
  }
}

void DispatchCommand(Program& p, int buttonIndex) {
  if (buttonIndex < 0 || buttonIndex >= static_cast<int>(p.tables.Buttons.size())) return;
  // A working copy: a screen change rebuilds the table while the pairs still run.
  const std::vector<CommandPair> pairs = p.tables.Buttons[buttonIndex].Commands;
  for (const CommandPair& pair : pairs) RunCommand(p, pair.Group, pair.Name);
}

}  // namespace qv
