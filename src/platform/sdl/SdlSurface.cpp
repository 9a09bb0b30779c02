#include "platform/sdl/SdlSurface.h"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/common/CheckedPictures.h"
#include "platform/sdl/DrawQueue.h"

namespace qv {
namespace {

void SettleQueued(const std::weak_ptr<DrawQueue>& queue, SDL_Surface* s) {
  if (auto q = queue.lock()) q->Settle(s);
}

}  // namespace

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

DecodedPicture DeferredPictureOf(DecodedPixels checked, std::vector<uint8_t> data,
                                 const std::shared_ptr<const PictureCodec>& codec,
                                 const std::shared_ptr<DrawQueue>& queue) {
  return PictureOf(std::move(checked), [&](int width, int height, bool intact) {
    return std::make_shared<SdlSurface>(width, height, std::move(data), codec, queue, intact);
  });
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
      picture_(std::make_unique<LazyPicture>(width, height, std::move(data), std::move(codec),
                                             intact)) {}

void SdlSurface::Own(SDL_Surface* s, std::shared_ptr<void> pixels) const {
  surface_.reset(s, [queue = queue_, owned = std::move(pixels)](SDL_Surface* p) mutable {
    // Its pixels go: nothing left to render, and the address may come back.
    if (auto q = queue.lock()) q->Forget(p);
    if (p) SDL_FreeSurface(p);
    owned.reset();
  });
}

void SdlSurface::MakePixels(int top, int bottom) const {
  const bool made = picture_->Make(top, bottom, [&] {
    std::shared_ptr<void> pixels(std::calloc(size_t(width_) * height_, 4), std::free);
    SDL_Surface* s = pixels ? SurfaceOver(pixels.get(), width_, height_) : nullptr;
    if (!s) return LazyPicture::Buffer{};
    Own(s, std::move(pixels));
    return LazyPicture::Buffer{static_cast<uint32_t*>(s->pixels), s->pitch};
  });
  if (!made) surface_.reset();
}

int SdlSurface::MadeRows() const {
  if (picture_) return picture_->MadeRows();
  return surface_ ? height_ : 0;
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

void SdlSurface::MarkDirty(const Rect& r) {
  dirty_.Add(Intersect(r, Rect{0, 0, Width(), Height()}));
}

void SdlSurface::ClearDirty() {
  dirty_.rects.clear();  // keeps its room: presenting allocates nothing
}

}  // namespace qv
