#include "platform/memory/MemoryDisplay.h"

#include <algorithm>
#include <utility>

#include "platform/common/Utf8.h"
#include "platform/memory/TestPicture.h"

namespace qv {
namespace {

// Layout colours (red + 256 green + 65536 blue) as 0x00RRGGBB pixels.
uint32_t ToPixel(Color c) {
  return (c & 0xFF) << 16 | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

// The part of r inside a width x height surface, as half-open bounds; false when empty.
bool Clip(const Rect& r, int width, int height, int* x0, int* y0, int* x1, int* y1) {
  if (r.Empty()) return false;
  *x0 = std::max(r.x, 0);
  *y0 = std::max(r.y, 0);
  *x1 = int(std::min<int64_t>(int64_t(r.x) + r.w, width));
  *y1 = int(std::min<int64_t>(int64_t(r.y) + r.h, height));
  return *x0 < *x1 && *y0 < *y1;
}

// Code points of a UTF-8 text; a byte that starts no valid sequence stands for itself.
std::vector<uint32_t> CodePoints(const std::string& s) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < s.size();) {
    uint32_t cp = 0xFFFD;
    const size_t len = Utf8Sequence(s, i, &cp);
    out.push_back(len ? cp : 0xFFFD);
    i += len ? len : 1;
  }
  return out;
}

}  // namespace

MemoryDisplay::MemoryDisplay(std::shared_ptr<const PictureCodec> codec)
    : codec_(codec ? std::move(codec) : std::make_shared<TestPictureCodec>()) {}

MemorySurface::MemorySurface(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(size_t(width_) * height_, 0) {}

uint32_t MemorySurface::PixelRGB(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return pixels_[size_t(y) * width_ + x];
}

bool MemoryDisplay::OpenWindow(int left, int top, int width, int height, const std::string& caption,
                               std::string*) {
  open_ = true;
  windowLeft_ = left;
  windowTop_ = top;
  windowWidth_ = width;
  windowHeight_ = height;
  caption_ = caption;
  return true;
}

void MemoryDisplay::WindowPosition(int* left, int* top) const {
  *left = windowLeft_;
  *top = windowTop_;
}

void MemoryDisplay::DisplaySize(int* width, int* height) const {
  *width = displayWidth_;
  *height = displayHeight_;
}

void MemoryDisplay::CursorPosition(int* x, int* y) const {
  *x = cursorX_;
  *y = cursorY_;
}

SurfacePtr MemoryDisplay::CreateSurface(int width, int height) {
  return std::make_shared<MemorySurface>(width, height);
}

DecodedPicture MemoryDisplay::DecodeJpeg(const std::vector<uint8_t>& data) {
  DecodedPicture picture;
  int width = 0, height = 0;
  std::string message;
  if (!codec_->Dimensions(data.data(), data.size(), &width, &height, &message)) {
    picture.error = message;
    return picture;
  }
  // Zeroed: what a damaged file leaves out is black.
  auto surface = std::make_shared<MemorySurface>(width, height);
  const PictureResult r =
      codec_->Decode(data.data(), data.size(), surface->pixels().data(), width * 4, &message);
  if (r == PictureResult::Failed) {
    picture.error = message;
    return picture;
  }
  if (r == PictureResult::Partial) picture.warning = message;
  picture.surface = surface;
  return picture;
}

void MemoryDisplay::StretchCopy(Surface& dst, const Rect& dstRect, const Surface& src,
                                const Rect& srcRect) {
  auto* d = dynamic_cast<MemorySurface*>(&dst);
  auto* s = dynamic_cast<const MemorySurface*>(&src);
  if (!d || !s || srcRect.Empty()) return;
  int x0, y0, x1, y1;
  if (!Clip(dstRect, d->Width(), d->Height(), &x0, &y0, &x1, &y1)) return;
  // Reading from a copy keeps a copy within one surface from reading its own output.
  std::vector<uint32_t> copy;
  const std::vector<uint32_t>* from = &s->pixels();
  if (s == d) {
    copy = s->pixels();
    from = &copy;
  }
  // Nearest neighbour: destination pixel centres mapped into the source rectangle. Source
  // pixels outside the source surface leave the destination as it was.
  for (int y = y0; y < y1; ++y) {
    int64_t sy =
        srcRect.y + (int64_t(y - dstRect.y) * 2 + 1) * srcRect.h / (int64_t(dstRect.h) * 2);
    if (sy < 0 || sy >= s->Height()) continue;
    for (int x = x0; x < x1; ++x) {
      int64_t sx =
          srcRect.x + (int64_t(x - dstRect.x) * 2 + 1) * srcRect.w / (int64_t(dstRect.w) * 2);
      if (sx < 0 || sx >= s->Width()) continue;
      d->pixels()[size_t(y) * d->Width() + x] = (*from)[size_t(sy) * s->Width() + sx];
    }
  }
}

void MemoryDisplay::Fill(Surface& dst, const Rect& r, Color c) {
  auto* d = dynamic_cast<MemorySurface*>(&dst);
  if (!d) return;
  int x0, y0, x1, y1;
  if (!Clip(r, d->Width(), d->Height(), &x0, &y0, &x1, &y1)) return;
  uint32_t p = ToPixel(c);
  for (int y = y0; y < y1; ++y) {
    std::fill_n(d->pixels().begin() + size_t(y) * d->Width() + x0, x1 - x0, p);
  }
}

TextSize MemoryDisplay::MeasureText(const FontSpec&, const std::string& utf8) {
  return TextSize{int(CodePoints(utf8).size()) * kCharAdvance, kTextHeight};
}

void MemoryDisplay::DrawText(Surface& dst, int x, int y, const std::string& utf8, const FontSpec&,
                             Color c) {
  std::vector<uint32_t> text = CodePoints(utf8);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ' || text[i] == '\t' || text[i] == 0xA0) continue;
    Fill(dst, Rect{x + kCharAdvance * int(i) + 1, y + 2, 6, 12}, c);
  }
}

void MemoryDisplay::Present(Surface& back, bool full) {
  ++presentCalls_;
  if (full) ++fullPresents_;
  lastPresented_ = &back;
  lastPresentFull_ = full;
}

}  // namespace qv
