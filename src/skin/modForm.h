// Skin engine: surfaces, skin pictures, screen changes and layout files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/SkinState.h"
#include "platform/Display.h"

namespace qv {

struct Program;
class ProfileFile;

// The skin folder below the executable's folder, with its final "\".
std::string SkinFolder(Program& p);

// Pictures and drawing.
SurfacePtr LoadSkinImage(Program& p, const std::string& path);
// The two halves of LoadSkinImage's reports, for callers that read and decode themselves:
// the warning for a file that cannot be read, and the warnings and the design size of a
// decoded picture (its surface, or null).
void WarnUnreadableSkinImage(Program& p, const std::string& path);
SurfacePtr AcceptSkinImage(Program& p, const std::string& path, DecodedPicture pic);
void DrawElementRect(Program& p, int16_t top, int16_t left, int16_t height, int16_t width,
                     int drawState);
// The same copy without presenting (callers that present once after several copies).
void CopyElementRect(Program& p, int16_t top, int16_t left, int16_t height, int16_t width,
                     int drawState);
// Source rectangle of DrawElementRect on the design-sized picture.
Rect SourceRectFor(const Program& p, int16_t top, int16_t left, int16_t height, int16_t width);
void PresentBackBuffer(Program& p, bool full = false);
void DrawTextAt(Program& p, double x, double y, const std::string& text);
void SetTextFont(Program& p, const FontSpec& font);
void SetTextColor(Program& p, Color c);
void SetDrawColor(Program& p, Color c);
void FillBackRect(Program& p, const Rect& r, Color c);
void OutlineBackRect(Program& p, const Rect& r);
TextSize MeasureText(Program& p, const std::string& text);
// Copies a whole surface, scaled, into a rectangle of the back buffer.
void StretchToBack(Program& p, const Surface& src, const Rect& dst);

// Screens.
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
