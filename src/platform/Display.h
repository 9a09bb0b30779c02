// Display services: the window, off-screen surfaces, pictures, fonts and presentation.
// The core only ever sees these abstract types; every pixel operation goes through Display.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Status.h"

namespace qv {

// Window or surface rectangle: left, top, width, height in pixels.
struct Rect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
  bool Empty() const { return w <= 0 || h <= 0; }
};

// Colours are kept in the layout files' form: red + 256 * green + 65536 * blue.
using Color = uint32_t;

struct FontSpec {
  std::string name;  // typeface as the layout writes it ("arial")
  int size = 10;     // points at 96 dots per inch
  bool bold = false;
  bool italic = false;
};

struct TextSize {
  int w = 0;
  int h = 0;
};

class Surface {
 public:
  virtual ~Surface() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // 0x00RRGGBB of one pixel; (0 outside the surface). For screenshots, the probe and tests.
  virtual uint32_t PixelRGB(int x, int y) const = 0;
};
using SurfacePtr = std::shared_ptr<Surface>;

struct DecodedPicture {
  SurfacePtr surface;   // null when the data could not be decoded at all
  std::string warning;  // set when the picture decoded only partially (truncated file)
  std::string error;    // set when surface is null
};

class Display {
 public:
  virtual ~Display() = default;

  // Window. Coordinates are screen pixels; the window has no frame, so its client area starts
  // at its outer top-left corner.
  virtual Status OpenWindow(int left, int top, int width, int height,
                            const std::string& caption) = 0;
  virtual void ShowWindow() = 0;
  virtual void MinimizeWindow() = 0;
  virtual void WindowPosition(int* left, int* top) const = 0;
  virtual void DisplaySize(int* width, int* height) const = 0;
  virtual void CursorPosition(int* x, int* y) const = 0;  // screen pixels

  // Surfaces.
  virtual SurfacePtr CreateSurface(int width, int height) = 0;
  virtual DecodedPicture DecodeJpeg(const std::vector<uint8_t>& data) = 0;
  // Each entry decoded as by DecodeJpeg. `done(k, picture)` runs on the calling thread once per
  // k, in increasing k; an implementation may decode ahead on threads of its own. An exception
  // from `done` ends the call (after any such threads have ended) and is passed on.
  virtual void DecodeJpegs(std::vector<std::vector<uint8_t>> data,
                           const std::function<void(size_t, DecodedPicture)>& done) {
    for (size_t k = 0; k < data.size(); ++k) done(k, DecodeJpeg(data[k]));
  }

  // Drawing. Rectangles are clipped to the surfaces; nothing is reported.
  virtual void StretchCopy(Surface& dst, const Rect& dstRect, const Surface& src,
                           const Rect& srcRect) = 0;
  virtual void Fill(Surface& dst, const Rect& r, Color c) = 0;
  // A one-pixel frame just inside `r`, drawn as four fills.
  virtual void Outline(Surface& dst, const Rect& r, Color c) {
    if (r.Empty()) return;
    Fill(dst, Rect{r.x, r.y, r.w, 1}, c);
    Fill(dst, Rect{r.x, r.y + r.h - 1, r.w, 1}, c);
    Fill(dst, Rect{r.x, r.y, 1, r.h}, c);
    Fill(dst, Rect{r.x + r.w - 1, r.y, 1, r.h}, c);
  }
  virtual TextSize MeasureText(const FontSpec& font, const std::string& utf8) = 0;
  virtual void DrawText(Surface& dst, int x, int y, const std::string& utf8, const FontSpec& font,
                        Color c) = 0;

  // Presentation of the back buffer to the window. The implementation may coalesce: it uploads
  // what was drawn into `back` since the last upload, at the latest when Flush is called or one
  // frame after the first pending change. `full` asks for the whole window (repaint).
  // Presenting marks what was uploaded: `back` changes.
  virtual void Present(Surface& back, bool full) = 0;
  virtual void Flush() = 0;
};

}  // namespace qv
