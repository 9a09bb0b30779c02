// Screens and layouts: screen changes, and the layout files that place the widgets of a
// screen and fill the element tables.
#pragma once

#include <string>
#include <vector>

#include "platform/Display.h"

namespace qv {

struct Program;
class ProfileFile;

// Shows the screen's pictures and loads its layout.
void ShowScreen(Program& p, const std::string& screen);

// Layout files.
std::string ReadLayoutValue(Program& p, const std::string& screen, const std::string& section,
                            const std::string& key);
// Colour value "r|g|b"; false when it is not three numbers.
bool ParseColorChecked(const std::string& text, Color* color);
Color ParseColor(const std::string& text);
void LoadScreenLayout(Program& p, const std::string& screen);

// One problem found in a layout section (for the lint tool); the loader skips such elements.
struct LayoutProblem {
  std::string section;
  std::string key;
  std::string problem;
};
// Checks one section of a parsed layout file the way LoadScreenLayout reads it. Returns the
// problems; an unknown type is reported as a note.
// With a design size, values the program reads but cannot show are problems too: elements
// outside the design area, font sizes and colour parts out of range.
std::vector<LayoutProblem> CheckLayoutSection(const ProfileFile& file, int section,
                                              int designWidth = 0, int designHeight = 0);

// Largest font size of a layout, in points: beyond, a glyph takes more memory than a screen.
constexpr int kMaxFontPoints = 750;
// The loading picture's size is the design size of every layout: pictures outside these
// bounds give no usable layout (int16 coordinates, a scale factor that drops every element).
constexpr int kMinDesignSide = 16;
constexpr int kMaxDesignSide = 16384;
bool UsableDesignSize(int width, int height);
bool IsElementType(const std::string& type);

}  // namespace qv
