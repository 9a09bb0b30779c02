#include "platform/sdl/SdlSurface.h"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/sdl/DrawQueue.h"

namespace qv {
namespace {

Rect Union(const Rect& a, const Rect& b) {
  if (a.Empty()) return b;
  if (b.Empty()) return a;
  int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
  int x1 = std::max(a.x + a.w, b.x + b.w), y1 = std::max(a.y + a.h, b.y + b.h);
  return Rect{x0, y0, x1 - x0, y1 - y0};
}

void SettleQueued(const std::weak_ptr<DrawQueue>& queue, SDL_Surface* s) {
  if (auto q = queue.lock()) q->Settle(s);
}

}  // namespace

Rect Intersect(const Rect& a, const Rect& b) {
  int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
  int x1 = std::min(int64_t(a.x) + a.w, int64_t(b.x) + b.w);
  int y1 = std::min(int64_t(a.y) + a.h, int64_t(b.y) + b.h);
  if (x1 <= x0 || y1 <= y0) return Rect{};
  return Rect{x0, y0, x1 - x0, y1 - y0};
}

uint32_t ReadPixel(SDL_Surface* s, int x, int y) {
  if (!s || !s->pixels || x < 0 || y < 0 || x >= s->w || y >= s->h) return 0;
  int bpp = s->format->BytesPerPixel;
  const uint8_t* p = static_cast<const uint8_t*>(s->pixels) + size_t(y) * s->pitch + x * bpp;
  uint32_t raw = 0;
  switch (bpp) {
    case 1:
      raw = *p;
      break;
    case 2:
      raw = *reinterpret_cast<const uint16_t*>(p);
      break;
    case 3:
      raw = SDL_BYTEORDER == SDL_LIL_ENDIAN ? p[0] | p[1] << 8 | p[2] << 16
                                            : p[2] | p[1] << 8 | p[0] << 16;
      break;
    default:
      std::memcpy(&raw, p, 4);
  }
  uint8_t r = 0, g = 0, b = 0;
  SDL_GetRGB(raw, s->format, &r, &g, &b);
  return uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}

bool Contains(const Rect& outer, const Rect& inner) {
  return inner.x >= outer.x && inner.y >= outer.y &&
         int64_t(inner.x) + inner.w <= int64_t(outer.x) + outer.w &&
         int64_t(inner.y) + inner.h <= int64_t(outer.y) + outer.h;
}

Rect Bounds(const SDL_Surface* s) {
  return Rect{0, 0, s->w, s->h};
}

SDL_Surface* SurfaceOver(void* pixels, int width, int height) {
  return SDL_CreateRGBSurfaceWithFormatFrom(pixels, width, height, 32, width * 4,
                                            SDL_PIXELFORMAT_XRGB8888);
}

SdlSurface* AsSdl(Surface& s) {
  return dynamic_cast<SdlSurface*>(&s);
}
const SdlSurface* AsSdl(const Surface& s) {
  return dynamic_cast<const SdlSurface*>(&s);
}

// A checked picture whose pixels are decoded when first needed.
DecodedPicture DeferredPictureOf(DecodedPixels checked, std::vector<uint8_t> data,
                                 const std::shared_ptr<const PictureCodec>& codec,
                                 const std::shared_ptr<DrawQueue>& queue) {
  DecodedPicture picture;
  if (checked.result == PictureResult::Failed) {
    picture.error = std::move(checked.message);
    return picture;
  }
  picture.surface = std::make_shared<SdlSurface>(checked.width, checked.height, std::move(data),
                                                 codec, queue, checked.result == PictureResult::Ok);
  if (checked.result == PictureResult::Partial) picture.warning = std::move(checked.message);
  return picture;
}

SdlSurface::SdlSurface(SDL_Surface* s, std::weak_ptr<DrawQueue> queue, std::shared_ptr<void> pixels)
    : queue_(std::move(queue)), width_(s ? s->w : 0), height_(s ? s->h : 0) {
  Own(s, std::move(pixels));
}

SdlSurface::SdlSurface(int width, int height, std::vector<uint8_t> data,
                       std::shared_ptr<const PictureCodec> codec, std::weak_ptr<DrawQueue> queue,
                       bool intact)
    : queue_(std::move(queue)),
      width_(width),
      height_(height),
      data_(std::move(data)),
      codec_(std::move(codec)),
      intact_(intact) {}

void SdlSurface::Own(SDL_Surface* s, std::shared_ptr<void> pixels) const {
  surface_.reset(s, [queue = queue_, owned = std::move(pixels)](SDL_Surface* p) mutable {
    // Its pixels go: nothing left to render, and the address may come back.
    if (auto q = queue.lock()) q->Forget(p);
    if (p) SDL_FreeSurface(p);
    owned.reset();
  });
}

void SdlSurface::MakePixels(int top, int bottom) const {
  if (!bandsSought_) {
    bandsSought_ = true;
    std::unique_ptr<PictureBands> bands;
    if (intact_) bands = codec_->FindBands(data_.data(), data_.size());
    std::shared_ptr<void> pixels;
    if (bands && bands->count > 0 && bands->bandRows > 0 && bands->width == width_ &&
        bands->height == height_)
      pixels.reset(std::calloc(size_t(width_) * height_, 4), std::free);
    SDL_Surface* s = pixels ? SurfaceOver(pixels.get(), width_, height_) : nullptr;
    if (s) {
      Own(s, std::move(pixels));
      bandMade_.assign(size_t(bands->count), false);
      bands_ = std::move(bands);
    }
  }
  if (!bands_) return MakeWhole();
  const int rows = bands_->bandRows;
  const int first = std::clamp(top, 0, height_) / rows;
  const int last = (std::clamp(bottom, 0, height_) + rows - 1) / rows;
  for (int k = first; k < last;) {
    if (bandMade_[k]) {
      ++k;
      continue;
    }
    int end = k + 1;
    while (end < last && !bandMade_[end]) ++end;
    if (!MakeBands(k, end)) {
      // Should the bands not decode as the whole did when checked, the whole decides.
      codec_->Decode(data_.data(), data_.size(), static_cast<uint32_t*>(surface_->pixels),
                     surface_->pitch, nullptr);
      bandMade_.assign(bandMade_.size(), true);
      break;
    }
    std::fill(bandMade_.begin() + k, bandMade_.begin() + end, true);
    k = end;
  }
  if (std::all_of(bandMade_.begin(), bandMade_.end(), [](bool made) { return made; })) {
    data_ = {};
    bands_.reset();
    bandMade_ = {};
  }
}

bool SdlSurface::MakeBands(int first, int last) const {
  auto* pixels = static_cast<uint32_t*>(surface_->pixels);
  const int pitch = surface_->pitch;
  // Out of memory for a band's data: the whole decides, as for any other failed band.
  auto decode = [&](int a, int b) noexcept {
    try {
      return codec_->DecodeBands(data_.data(), data_.size(), *bands_, a, b, pixels, pitch,
                                 nullptr) == PictureResult::Ok;
    } catch (...) {
      return false;
    }
  };
  // A whole picture on two processors: the lower half on a thread of its own.
  const int middle = (first + last) / 2;
  bool lower = false;
  std::thread helper;
  if (last - first >= 16 && std::thread::hardware_concurrency() > 1) {
    try {
      helper = std::thread([&] { lower = decode(middle, last); });
    } catch (const std::system_error&) {
      // No thread to spare: one after the other.
    }
  }
  if (!helper.joinable()) return decode(first, last);
  const bool upper = decode(first, middle);
  helper.join();
  return upper && lower;
}

void SdlSurface::MakeWhole() const {
  const std::vector<uint8_t> data = std::move(data_);
  data_.clear();
  // The data was checked when the picture was made; should memory run out now, the picture
  // stays empty and nothing is drawn from it.
  DecodedPixels decoded = DecodePixels(*codec_, data);
  if (decoded.result == PictureResult::Failed || decoded.width != width_ ||
      decoded.height != height_)
    return;
  SDL_Surface* s = SurfaceOver(decoded.pixels.get(), width_, height_);
  if (s)
    Own(s, std::shared_ptr<void>(decoded.pixels.release(),
                                 [](void* p) { delete[] static_cast<uint32_t*>(p); }));
}

int SdlSurface::MadeRows() const {
  if (data_.empty()) return surface_ ? height_ : 0;
  if (!bands_) return 0;
  int made = 0;
  for (size_t k = 0; k < bandMade_.size(); ++k)
    if (bandMade_[k])
      made += std::min(bands_->bandRows, height_ - static_cast<int>(k) * bands_->bandRows);
  return made;
}

int SdlSurface::Width() const {
  return width_;
}
int SdlSurface::Height() const {
  return height_;
}
uint32_t SdlSurface::PixelRGB(int x, int y) const {
  SDL_Surface* s = sdl();
  SettleQueued(queue_, s);
  return ReadPixel(s, x, y);
}

void DirtyRegion::Add(const Rect& r) {
  if (r.Empty()) return;
  for (Rect& e : rects) {
    // Touching or overlapping ones become one; an upload of both costs no more.
    if (r.x <= e.x + e.w && e.x <= r.x + r.w && r.y <= e.y + e.h && e.y <= r.y + r.h) {
      e = Union(e, r);
      return;
    }
  }
  if (rects.size() < kMaxRects)
    rects.push_back(r);
  else
    rects.back() = Union(rects.back(), r);
}

void DirtyRegion::Add(const DirtyRegion& other) {
  for (const Rect& r : other.rects) Add(r);
}

void SdlSurface::MarkDirty(const Rect& r) {
  dirty_.Add(Intersect(r, Rect{0, 0, Width(), Height()}));
}

void SdlSurface::ClearDirty() {
  dirty_.rects.clear();  // keeps its room: presenting allocates nothing
}

}  // namespace qv
