// Skin engine, the drawing that widgets use: skin pictures, copies from them onto the back
// buffer, text, fills and presentation.
#pragma once

#include <cstdint>
#include <string>

#include "core/SkinState.h"
#include "platform/Display.h"

namespace qv {

struct Program;

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

}  // namespace qv
