// Surfaces of the Windows display: 32-bit top-down DIB sections (pixels 0x00RRGGBB), and skin
// pictures whose pixels are decoded when first needed.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Display.h"
#include "platform/common/DirtyRegion.h"
#include "platform/common/LazyPicture.h"
#include "platform/common/NearestStretch.h"
#include "platform/win32/WinApi.h"

namespace qv {

// One DIB section; GDI draws on it through `bitmap`, the display on `pixels` directly.
class Dib {
 public:
  // Null pixels when the system has no room for it (or a side is 0).
  Dib(int width, int height);
  ~Dib();
  Dib(const Dib&) = delete;
  Dib& operator=(const Dib&) = delete;

  HBITMAP bitmap() const { return bitmap_; }
  PixelRows rows() const { return PixelRows{pixels_, width_, height_, width_ * 4}; }
  bool ok() const { return pixels_ != nullptr; }

 private:
  HBITMAP bitmap_ = nullptr;
  uint32_t* pixels_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

// The changed rectangles since the surface was last presented are kept with it.
class Win32Surface : public Surface {
 public:
  Win32Surface(int width, int height);
  // A picture checked with `codec`, made when its pixels are first needed (LazyPicture).
  Win32Surface(int width, int height, std::vector<uint8_t> data,
               std::shared_ptr<const PictureCodec> codec, bool intact);
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  uint32_t PixelRGB(int x, int y) const override;

  // The pixels, with rows [top, bottom) made; null when there are none. Shared so that a
  // pending presentation keeps them alive.
  const std::shared_ptr<Dib>& dibRows(int top, int bottom) const;
  const std::shared_ptr<Dib>& dib() const { return dibRows(0, height_); }
  // Rows of a picture made so far (all of them once it is whole), for tests.
  int MadeRows() const;

  void MarkDirty(const Rect& r);  // clipped to the surface
  const DirtyRegion& Dirty() const { return dirty_; }
  void ClearDirty() { dirty_.rects.clear(); }

 private:
  int width_ = 0;
  int height_ = 0;
  mutable std::shared_ptr<Dib> dib_;
  mutable std::unique_ptr<LazyPicture> picture_;
  DirtyRegion dirty_;
};

Win32Surface* AsWin32(Surface& s);
const Win32Surface* AsWin32(const Surface& s);

}  // namespace qv
