// Text boxes: one line of output text, shortened with "..." by the box's alignment.
#pragma once

#include <string>

#include "core/Elements.h"

namespace qv {

struct Program;

void SetText(Program& p, const std::string& group, const std::string& name,
             const std::string& text);
void AppendText(Program& p, const std::string& group, const std::string& name,
                const std::string& text);
void DrawBoxText(Program& p, const TextBoxElement& box, const std::string& text);

// Selects an element's font and colour on the back buffer.
void SelectElementFont(Program& p, const ElementFont& font, Color color);

// Shortens `text` for a room of `room` pixels by the alignment's rule (1 keeps the beginning,
// 2 and 3 keep the end), testing against `limit`. Returns the text to draw with its ellipses;
// empty when not even the ellipsis fits. The caller's font must be selected.
std::string ShortenText(Program& p, const std::string& text, int alignment, int room, int limit);

}  // namespace qv
