#include "platform/win32/Win32Surface.h"

#include <algorithm>
#include <utility>

namespace qv {

Dib::Dib(int width, int height) {
  if (width <= 0 || height <= 0) return;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down: rows in the order the core counts them
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  // The system hands out the pixels zeroed.
  bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap_ || !bits) {
    if (bitmap_) DeleteObject(bitmap_);
    bitmap_ = nullptr;
    return;
  }
  pixels_ = static_cast<uint32_t*>(bits);
  width_ = width;
  height_ = height;
}

Dib::~Dib() {
  if (bitmap_) DeleteObject(bitmap_);
}

Win32Surface::Win32Surface(int width, int height)
    : width_(std::max(width, 0)), height_(std::max(height, 0)) {
  auto dib = std::make_shared<Dib>(width_, height_);
  if (dib->ok()) dib_ = std::move(dib);
}

Win32Surface::Win32Surface(int width, int height, std::vector<uint8_t> data,
                           std::shared_ptr<const PictureCodec> codec, bool intact)
    : width_(width),
      height_(height),
      picture_(std::make_unique<LazyPicture>(width, height, std::move(data), std::move(codec),
                                             intact)) {}

const std::shared_ptr<Dib>& Win32Surface::dibRows(int top, int bottom) const {
  if (picture_ && !picture_->Whole()) {
    const bool made = picture_->Make(top, bottom, [&] {
      auto dib = std::make_shared<Dib>(width_, height_);
      if (!dib->ok()) return LazyPicture::Buffer{};
      dib_ = std::move(dib);
      return LazyPicture::Buffer{dib_->rows().pixels, dib_->rows().pitch};
    });
    if (!made) dib_.reset();
  }
  return dib_;
}

int Win32Surface::MadeRows() const {
  if (picture_) return picture_->MadeRows();
  return dib_ ? height_ : 0;
}

uint32_t Win32Surface::PixelRGB(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const std::shared_ptr<Dib>& dib = dibRows(y, y + 1);
  if (!dib) return 0;
  const PixelRows rows = dib->rows();
  return rows.pixels[size_t(y) * width_ + x] & 0xFFFFFF;
}

void Win32Surface::MarkDirty(const Rect& r) {
  dirty_.Add(Intersect(r, Rect{0, 0, width_, height_}));
}

Win32Surface* AsWin32(Surface& s) {
  return dynamic_cast<Win32Surface*>(&s);
}
const Win32Surface* AsWin32(const Surface& s) {
  return dynamic_cast<const Win32Surface*>(&s);
}

}  // namespace qv
