#include "commands/modDispatch.h"

#include <vector>

#include "core/Program.h"
#include "disk/modDefrag.h"
#include "disk/modHDDclean.h"
#include "disk/modScandisk.h"
#include "files/modCopyMedia.h"
#include "files/modExplorerDestination.h"
#include "files/modExplorerSource.h"
#include "files/modTools.h"
#include "screens/modScreens.h"
#include "sysinfo/modDateTime.h"
#include "widgets/modButton.h"
#include "widgets/modKeyboard.h"
#include "widgets/modListbox.h"
#include "widgets/modTextBoxMultiline.h"

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
    text->assign(1, ' ');  // GCC 12 misreads assigning a literal here as overlapping copies
    return true;
  }
  if (name == "pc") {
    text->assign(1, ';');
    return true;
  }
  return false;
}

namespace {

void RunFunction(Program& p, const std::string& argument) {
  if (argument == "exit") {
    ExitProgram(p);
  } else if (argument == "audiocopy") {
    CopyAudioFolder(p);
  } else if (argument == "videocopy") {
    CopyVideoFolder(p);
  } else if (argument == "picturecopy") {
    CopyPictureFolder(p);
  } else if (argument == "emptyrecyclebin") {
    EmptyRecycleBin(p);
  }
}

void RunCleanHdd(Program& p, const std::string& argument) {
  if (argument == "start") {
    StartCleaning(p);
  } else if (argument == "cancel") {
    CancelCleaning(p);
  }
}

void RunKeyboard(Program& p, const std::string& argument) {
  std::string text;
  if (KeyboardKeyText(argument, &text)) {
    TypeKey(p, text);
  } else if (argument == "back") {
    DeleteLastChar(p);
  } else if (argument == "shift") {
    ToggleShift(p);
  } else if (argument == "caps") {
    ToggleCaps(p);
  } else if (argument == "cancel") {
    DiscardText(p);
  } else if (argument == "ok") {
    ConfirmText(p);
  }
}

bool IsPaging(const std::string& argument) {
  return argument == "pageup" || argument == "pagedown" || argument == "first" ||
         argument == "last";
}

void RunExplorerSource(Program& p, const std::string& argument) {
  if (argument == "selectall") {
    SelectAllFiles(p, "explorersource", "filebox");
  } else if (argument == "selectnon") {
    SelectNoFiles(p, "explorersource", "filebox");
  } else if (argument == "selectinvert") {
    InvertFileSelection(p, "explorersource", "filebox");
  } else if (IsPaging(argument)) {
    PageListBoxes(p, "explorersource", "filebox", argument);
  } else if (argument == "delete") {
    DeleteSourceSelection(p);
  } else if (argument == "createdirectory") {
    CreateSourceFolder(p);
  } else if (argument == "rename") {
    RenameSourceEntry(p);
  } else if (argument == "run") {
    RunSourceEntry(p);
  } else if (argument == "info") {
    ShowSourceInfo(p);
  }
}

void RunExplorerDestination(Program& p, const std::string& argument) {
  if (IsPaging(argument)) {
    PageListBoxes(p, "explorerdestination", "filebox", argument);
  } else if (argument == "paste") {
    PasteSelection(p);
  } else if (argument == "audiodirectory") {
    CopyToAudioFolder(p);
  } else if (argument == "videodirectory") {
    CopyToVideoFolder(p);
  } else if (argument == "picturedirectory") {
    CopyToPictureFolder(p);
  } else if (argument == "createdirectory") {
    CreateDestinationFolder(p);
  } else if (argument == "info") {
    ShowDestinationInfo(p);
  }
}

void RunCheckHdd(Program& p, const std::string& argument) {
  if (argument == "start") {
    StartDiskCheck(p);
  } else if (argument == "cancel") {
    p.flags.CheckDiskCancel = true;
  } else if (argument == "maintextboxpagedown") {
    LogPageDown(p, "checkhdd", "maintextbox");
  } else if (argument == "maintextboxpageup") {
    LogPageUp(p, "checkhdd", "maintextbox");
  }
}

}  // namespace

void RunCommand(Program& p, const std::string& word, const std::string& argument) {
  if (word == "loadscreen") {
    ShowScreen(p, argument.empty() ? p.skin.PreviousScreen : argument);
  } else if (word == "function") {
    RunFunction(p, argument);
  } else if (word == "defrag") {
    if (argument == "start") StartDefrag(p);
    if (argument == "cancel") p.flags.CancelRequested = true;
  } else if (word == "copy" || word == "explorerinfo") {
    if (argument == "cancel") p.flags.CancelRequested = true;
  } else if (word == "checkhdd") {
    RunCheckHdd(p, argument);
  } else if (word == "cleanhdd") {
    RunCleanHdd(p, argument);
  } else if (word == "keyboard") {
    RunKeyboard(p, argument);
  } else if (word == "explorersource") {
    RunExplorerSource(p, argument);
  } else if (word == "explorerdestination") {
    RunExplorerDestination(p, argument);
  } else if (word == "datetime") {
    AdjustDateTime(p, argument);
  }
}

void DispatchCommand(Program& p, int buttonIndex) {
  if (buttonIndex < 0 || buttonIndex >= static_cast<int>(p.tables.Buttons.size())) return;
  // A working copy: a screen change rebuilds the table while the pairs still run.
  const std::vector<CommandPair> pairs = p.tables.Buttons[buttonIndex].Commands;
  for (const CommandPair& pair : pairs) RunCommand(p, pair.Group, pair.Name);
}

}  // namespace qv
