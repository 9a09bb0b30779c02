#include "skin/modForm.h"

#include <vector>

#include "core/Convert.h"
#include "core/Program.h"

namespace qv {

namespace {

int SlotOf(int drawState) {
  switch (drawState) {
    case kDrawActive:
      return 2;
    case kDrawDisabled:
      return 1;
    case kDrawEnabled:
      return 0;
    default:
      return -1;
  }
}

int RoundToInt(double v) {
  return static_cast<int>(RoundHalfEven(v));
}

}  // namespace

std::string SkinFolder(Program& p) {
  return p.os.files.SkinFolder() + "\\";
}

SurfacePtr LoadSkinImage(Program& p, const std::string& path) {
  const Result<std::vector<uint8_t>> bytes = p.os.files.ReadWholeFile(path);
  if (!bytes.ok()) {
    WarnUnreadableSkinImage(p, path);
    return nullptr;
  }
  return AcceptSkinImage(p, path, p.os.display.DecodeJpeg(*bytes));
}

void WarnUnreadableSkinImage(Program& p, const std::string& path) {
  p.os.diag.Warn("cannot read the picture " + p.os.files.HostPath(path));
}

SurfacePtr AcceptSkinImage(Program& p, const std::string& path, DecodedPicture pic) {
  if (!pic.surface) {
    p.os.diag.Warn("cannot decode the picture " + p.os.files.HostPath(path) + ": " + pic.error);
    return nullptr;
  }
  if (!pic.warning.empty())
    p.os.diag.Warn("the picture " + p.os.files.HostPath(path) +
                   " is damaged and is shown as far as it could be read: " + pic.warning);
  if (p.skin.DesignWidth == 0) {
    p.skin.DesignWidth = static_cast<int16_t>(pic.surface->Width());
    p.skin.DesignHeight = static_cast<int16_t>(pic.surface->Height());
  }
  return pic.surface;
}

Rect SourceRectFor(const Program& p, int16_t top, int16_t left, int16_t height, int16_t width) {
  const int bottom = top + height;
  const int right = left + width;
  const int sl = RoundToInt(left / static_cast<double>(p.skin.ScaleX));
  const int st = RoundToInt(top / static_cast<double>(p.skin.ScaleY));
  const int sr = RoundToInt(right / static_cast<double>(p.skin.ScaleX));
  const int sb = RoundToInt(bottom / static_cast<double>(p.skin.ScaleY));
  return Rect{sl, st, sr - sl, sb - st};
}

void CopyElementRect(Program& p, int16_t top, int16_t left, int16_t height, int16_t width,
                     int drawState) {
  const int slot = SlotOf(drawState);
  if (slot < 0) return;
  const SurfacePtr& picture = p.skin.StateImages[slot];
  if (picture && p.skin.BackBuffer) {
    const Rect dst{left, top, width, height};
    p.os.display.StretchCopy(*p.skin.BackBuffer, dst, *picture,
                             SourceRectFor(p, top, left, height, width));
  }
}

void DrawElementRect(Program& p, int16_t top, int16_t left, int16_t height, int16_t width,
                     int drawState) {
  if (SlotOf(drawState) < 0) return;
  CopyElementRect(p, top, left, height, width, drawState);
  PresentBackBuffer(p);
}

void PresentBackBuffer(Program& p, bool full) {
  if (p.skin.BackBuffer) p.os.display.Present(*p.skin.BackBuffer, full);
}

void SetTextFont(Program& p, const FontSpec& font) {
  p.skin.textFont = font;
}
void SetTextColor(Program& p, Color c) {
  p.skin.foreColor = c;
}
void SetDrawColor(Program& p, Color c) {
  p.skin.foreColor = c;
}

void FillBackRect(Program& p, const Rect& r, Color c) {
  if (p.skin.BackBuffer) p.os.display.Fill(*p.skin.BackBuffer, r, c);
}

void OutlineBackRect(Program& p, const Rect& r) {
  if (p.skin.BackBuffer) p.os.display.Outline(*p.skin.BackBuffer, r, p.skin.foreColor);
}

TextSize MeasureText(Program& p, const std::string& text) {
  return p.os.display.MeasureText(p.skin.textFont, text);
}

void StretchToBack(Program& p, const Surface& src, const Rect& dst) {
  if (p.skin.BackBuffer)
    p.os.display.StretchCopy(*p.skin.BackBuffer, dst, src, Rect{0, 0, src.Width(), src.Height()});
}

void DrawTextAt(Program& p, double x, double y, const std::string& text) {
  if (p.skin.BackBuffer)
    p.os.display.DrawText(*p.skin.BackBuffer, RoundToInt(x), RoundToInt(y), text, p.skin.textFont,
                          p.skin.foreColor);
  PresentBackBuffer(p);
}

}  // namespace qv
