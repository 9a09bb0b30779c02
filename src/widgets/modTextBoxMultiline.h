// Multi-line text boxes: a read-only log that shows its newest lines.
#pragma once

#include <string>

namespace qv {

struct Program;

void AppendLines(Program& p, const std::string& group, const std::string& name,
                 const std::string& text);
void ClearLog(Program& p, const std::string& group, const std::string& name);
void LogPageUp(Program& p, const std::string& group, const std::string& name);
void LogPageDown(Program& p, const std::string& group, const std::string& name);

}  // namespace qv
