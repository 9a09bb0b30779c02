// Line icons drawn from primitives on a 24-unit grid, scaled to any box.
#pragma once

#include <string>

#include "Canvas.h"

namespace skingen {

// Draws the named icon into the square box. `background` is the colour under the icon, used
// for the few cut-out details. False for an unknown name (nothing is drawn).
bool DrawIcon(Canvas& canvas, const std::string& name, const Box& box, Rgb color, Rgb background);

// The two list-row pictures: a folder and a document on the list's own background.
void DrawFolderPicture(Canvas& canvas, Rgb background, Rgb accent);
void DrawFilePicture(Canvas& canvas, Rgb background);

}  // namespace skingen
