#include "widgets/modTextBoxMultiline.h"

#include "core/Program.h"
#include "skin/modForm.h"
#include "widgets/modListbox.h"

namespace qv {

namespace {

template <typename F>
void ForEachLog(Program& p, const std::string& group, const std::string& name, F&& f) {
  for (size_t i = 0; i < p.tables.MultiLineTextBoxes.size(); ++i)
    if (p.tables.MultiLineTextBoxes[i].HasKey(group, name)) f(p.tables.MultiLineTextBoxes[i]);
}

}  // namespace

void AppendLines(Program& p, const std::string& group, const std::string& name,
                 const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t crlf = text.find("\r\n", start);
    if (crlf == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, crlf - start));
    start = crlf + 2;
  }
  ForEachLog(p, group, name, [&](ListElement& box) {
    for (const std::string& line : lines) AppendItem(p, box, line);
    ListPageDown(p, box);
  });
}

void ClearLog(Program& p, const std::string& group, const std::string& name) {
  ForEachLog(p, group, name, [&](ListElement& box) {
    ClearList(p, box);
    InitList(p, box);
    DrawElementRect(p, box.Top, box.Left, box.Height, box.Width, kDrawEnabled);
  });
}

void LogPageUp(Program& p, const std::string& group, const std::string& name) {
  ForEachLog(p, group, name, [&](ListElement& box) { ListPageUp(p, box); });
}

void LogPageDown(Program& p, const std::string& group, const std::string& name) {
  ForEachLog(p, group, name, [&](ListElement& box) { ListPageDown(p, box); });
}

}  // namespace qv
