#include "widgets/modDiagramm.h"

#include <algorithm>

#include "core/Convert.h"
#include "core/Program.h"
#include "skin/modForm.h"

namespace qv {

void ClearDiagram(Program& p, const std::string& group, const std::string& name) {
  for (const DiagramElement& d : p.tables.Diagrams)
    if (d.HasKey(group, name)) DrawElementRect(p, d.Top, d.Left, d.Height, d.Width, kDrawEnabled);
}

void DrawDiagramBlock(Program& p, const std::string& group, const std::string& name, float from,
                      float to) {
  for (const DiagramElement& d : p.tables.Diagrams) {
    if (!d.HasKey(group, name)) continue;
    const int x1 = static_cast<int>(RoundHalfEven(d.Left + d.Width * static_cast<double>(from)));
    const int x2 = static_cast<int>(RoundHalfEven(d.Left + d.Width * static_cast<double>(to)));
    const int left = std::min(x1, x2);
    // Corner to corner inclusive, so equal ends still give a one-pixel line.
    OutlineBackRect(p, Rect{left, d.Top, std::max(x1, x2) - left + 1, d.Height + 1});
  }
}

}  // namespace qv
