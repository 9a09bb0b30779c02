// Diagrams: thin blocks at fractions of an element's width (the drive map).
#pragma once

#include <string>

namespace qv {

struct Program;

void ClearDiagram(Program& p, const std::string& group, const std::string& name);
// Outlines the block over the diagram's height in the back buffer's fore colour, unpresented.
void DrawDiagramBlock(Program& p, const std::string& group, const std::string& name, float from,
                      float to);

}  // namespace qv
