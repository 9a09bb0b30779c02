#include "platform/posix/PosixDisplay.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/posix/JpegCodec.h"
#include "platform/posix/PngFile.h"

namespace qv {
namespace {

constexpr uint32_t kFormat = SDL_PIXELFORMAT_XRGB8888;

Rect Intersect(const Rect& a, const Rect& b) {
  int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
  int x1 = std::min(int64_t(a.x) + a.w, int64_t(b.x) + b.w);
  int y1 = std::min(int64_t(a.y) + a.h, int64_t(b.y) + b.h);
  if (x1 <= x0 || y1 <= y0) return Rect{};
  return Rect{x0, y0, x1 - x0, y1 - y0};
}

Rect Union(const Rect& a, const Rect& b) {
  if (a.Empty()) return b;
  if (b.Empty()) return a;
  int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
  int x1 = std::max(a.x + a.w, b.x + b.w), y1 = std::max(a.y + a.h, b.y + b.h);
  return Rect{x0, y0, x1 - x0, y1 - y0};
}

SDL_Rect ToSdl(const Rect& r) {
  return SDL_Rect{r.x, r.y, r.w, r.h};
}

SDL_Color ToSdlColor(Color c) {
  return SDL_Color{uint8_t(c & 0xFF), uint8_t((c >> 8) & 0xFF), uint8_t((c >> 16) & 0xFF), 255};
}

uint32_t MapColor(SDL_Surface* s, Color c) {
  SDL_Color k = ToSdlColor(c);
  return SDL_MapRGB(s->format, k.r, k.g, k.b);
}

// 0x00RRGGBB of a pixel of any 8..32-bit surface.
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

PosixSurface* AsPosix(Surface& s) {
  return dynamic_cast<PosixSurface*>(&s);
}
const PosixSurface* AsPosix(const Surface& s) {
  return dynamic_cast<const PosixSurface*>(&s);
}

}  // namespace

PosixSurface::PosixSurface(SDL_Surface* s)
    : surface_(s, [](SDL_Surface* p) {
        if (p) SDL_FreeSurface(p);
      }) {}

int PosixSurface::Width() const {
  return surface_ ? surface_->w : 0;
}
int PosixSurface::Height() const {
  return surface_ ? surface_->h : 0;
}
uint32_t PosixSurface::PixelRGB(int x, int y) const {
  return ReadPixel(surface_.get(), x, y);
}

void PosixSurface::MarkDirty(const Rect& r) {
  dirty_ = Union(dirty_, Intersect(r, Rect{0, 0, Width(), Height()}));
}

Rect PosixSurface::TakeDirty() {
  Rect r = dirty_;
  dirty_ = Rect{};
  return r;
}

PosixDisplay::PosixDisplay(bool headless) : headless_(headless) {}

PosixDisplay::~PosixDisplay() {
  pending_.reset();
  if (window_) SDL_DestroyWindow(window_);
  if (videoStarted_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool PosixDisplay::StartVideo(std::string* error) {
  if (videoStarted_) return true;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (headless_) {
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "dummy", SDL_HINT_OVERRIDE);
  } else {
    // Without a window system SDL falls back to drivers that show nothing (offscreen) or take
    // over the console (KMSDRM); the program would then run unseen. A driver the user names in
    // SDL_VIDEODRIVER still wins over this hint.
    std::string drivers;
    if (x11 && *x11) drivers = "x11";
    if (wayland && *wayland) drivers += drivers.empty() ? "wayland" : ",wayland";
    SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.empty() ? "x11" : drivers.c_str());
  }
  // A touch or click on a window without focus is a press, not only a focus change.
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    if (error) {
      std::string where = x11 && *x11 ? x11 : wayland && *wayland ? wayland : "";
      *error = headless_ || where.empty() ? std::string(SDL_GetError())
                                          : "cannot open display " + where + ": " + SDL_GetError();
    }
    return false;
  }
  videoStarted_ = true;
  return true;
}

bool PosixDisplay::OpenWindow(int left, int top, int width, int height, const std::string& caption,
                              std::string* error) {
  if (!StartVideo(error)) return false;
  width = std::max(width, 1);
  height = std::max(height, 1);
  if (window_) {
    SDL_SetWindowTitle(window_, caption.c_str());
    SDL_SetWindowSize(window_, width, height);
    SDL_SetWindowPosition(window_, left, top);
  } else {
    window_ = SDL_CreateWindow(caption.c_str(), left, top, width, height,
                               SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
    if (!window_) {
      if (error) *error = SDL_GetError();
      return false;
    }
  }
  windowLeft_ = left;
  windowTop_ = top;
  if (!SDL_GetWindowSurface(window_)) {
    if (error) *error = SDL_GetError();
    return false;
  }
  return true;
}

void PosixDisplay::ShowWindow() {
  if (!window_) return;
  if (SDL_GetWindowFlags(window_) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(window_);
  SDL_ShowWindow(window_);
  // Window managers may place a newly mapped window themselves; the settings decide.
  SDL_SetWindowPosition(window_, windowLeft_, windowTop_);
}

void PosixDisplay::MinimizeWindow() {
  if (window_) SDL_MinimizeWindow(window_);
}

void PosixDisplay::WindowPosition(int* left, int* top) const {
  *left = windowLeft_;
  *top = windowTop_;
  if (window_ && !headless_) SDL_GetWindowPosition(window_, left, top);
}

void PosixDisplay::DisplaySize(int* width, int* height) const {
  *width = 0;
  *height = 0;
  if (!const_cast<PosixDisplay*>(this)->StartVideo(nullptr)) return;
  int index = window_ ? std::max(SDL_GetWindowDisplayIndex(window_), 0) : 0;
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(index, &mode) == 0) {
    *width = mode.w;
    *height = mode.h;
    return;
  }
  SDL_Rect bounds;
  if (SDL_GetDisplayBounds(index, &bounds) == 0) {
    *width = bounds.w;
    *height = bounds.h;
  }
}

void PosixDisplay::CursorPosition(int* x, int* y) const {
  if (headless_) {
    *x = cursorX_;
    *y = cursorY_;
    return;
  }
  SDL_GetGlobalMouseState(x, y);
}

void PosixDisplay::MoveCursor(int screenX, int screenY) {
  cursorX_ = screenX;
  cursorY_ = screenY;
  if (!headless_ && videoStarted_) SDL_WarpMouseGlobal(screenX, screenY);
}

SurfacePtr PosixDisplay::CreateSurface(int width, int height) {
  return std::make_shared<PosixSurface>(
      SDL_CreateRGBSurfaceWithFormat(0, std::max(width, 0), std::max(height, 0), 32, kFormat));
}

DecodedPicture PosixDisplay::DecodeJpeg(const std::vector<uint8_t>& data) {
  DecodedPicture picture;
  int width = 0, height = 0;
  if (!JpegDimensions(data.data(), data.size(), &width, &height, &picture.error)) {
    return picture;
  }
  auto surface =
      std::make_shared<PosixSurface>(SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, kFormat));
  SDL_Surface* s = surface->sdl();
  if (!s) {
    picture.error = SDL_GetError();
    return picture;
  }
  std::string message;
  switch (DecodeJpegPixels(data.data(), data.size(), static_cast<uint32_t*>(s->pixels), s->pitch,
                           &message)) {
    case JpegResult::Ok:
      picture.surface = surface;
      break;
    case JpegResult::Partial:
      picture.surface = surface;
      picture.warning = message;
      break;
    case JpegResult::Failed:
      picture.error = message;
      break;
  }
  return picture;
}

void PosixDisplay::StretchCopy(Surface& dst, const Rect& dstRect, const Surface& src,
                               const Rect& srcRect) {
  PosixSurface* d = AsPosix(dst);
  const PosixSurface* s = AsPosix(src);
  if (!d || !s || !d->sdl() || !s->sdl() || dstRect.Empty() || srcRect.Empty()) return;
  std::shared_ptr<SDL_Surface> from = s->shared();
  if (from == d->shared()) {
    // A copy within one surface could read pixels it has already overwritten.
    from.reset(SDL_DuplicateSurface(s->sdl()), SDL_FreeSurface);
    if (!from) return;
  }
  SDL_Rect sr = ToSdl(srcRect), dr = ToSdl(dstRect);
  if (srcRect.w == dstRect.w && srcRect.h == dstRect.h) {
    SDL_BlitSurface(from.get(), &sr, d->sdl(), &dr);
  } else {
    SDL_BlitScaled(from.get(), &sr, d->sdl(), &dr);
  }
  d->MarkDirty(dstRect);
}

void PosixDisplay::Fill(Surface& dst, const Rect& r, Color c) {
  PosixSurface* d = AsPosix(dst);
  if (!d || !d->sdl() || r.Empty()) return;
  SDL_Rect sr = ToSdl(r);
  SDL_FillRect(d->sdl(), &sr, MapColor(d->sdl(), c));
  d->MarkDirty(r);
}

void PosixDisplay::Outline(Surface& dst, const Rect& r, Color c) {
  if (r.Empty()) return;
  Fill(dst, Rect{r.x, r.y, r.w, 1}, c);
  Fill(dst, Rect{r.x, r.y + r.h - 1, r.w, 1}, c);
  Fill(dst, Rect{r.x, r.y, 1, r.h}, c);
  Fill(dst, Rect{r.x + r.w - 1, r.y, 1, r.h}, c);
}

TextSize PosixDisplay::MeasureText(const FontSpec& font, const std::string& utf8) {
  TTF_Font* f = fonts_.Get(font);
  TextSize size;
  if (!f) return size;
  if (utf8.empty()) {
    size.h = TTF_FontHeight(f);
    return size;
  }
  if (TTF_SizeUTF8(f, utf8.c_str(), &size.w, &size.h) != 0) size = TextSize{};
  return size;
}

void PosixDisplay::DrawText(Surface& dst, int x, int y, const std::string& utf8,
                            const FontSpec& font, Color c) {
  PosixSurface* d = AsPosix(dst);
  if (!d || !d->sdl() || utf8.empty()) return;
  TTF_Font* f = fonts_.Get(font);
  if (!f) return;
  SDL_Surface* text = TTF_RenderUTF8_Blended(f, utf8.c_str(), ToSdlColor(c));
  if (!text) return;
  SDL_SetSurfaceBlendMode(text, SDL_BLENDMODE_BLEND);
  SDL_Rect dr{x, y, text->w, text->h};
  SDL_BlitSurface(text, nullptr, d->sdl(), &dr);
  d->MarkDirty(Rect{x, y, text->w, text->h});
  SDL_FreeSurface(text);
}

void PosixDisplay::Present(const Surface& back, bool full) {
  ++presentCalls_;
  auto* b = const_cast<PosixSurface*>(AsPosix(back));
  if (!b || !b->sdl()) return;
  Rect changed = b->TakeDirty();
  if (full) changed = Rect{0, 0, b->Width(), b->Height()};
  if (changed.Empty()) return;
  if (pending_ && pending_ != b->shared()) Upload();
  pending_ = b->shared();
  pendingRect_ = Union(pendingRect_, changed);
  if (!uploadedOnce_ || SDL_GetTicks64() - lastUploadMs_ >= kFrameMs) Upload();
}

void PosixDisplay::Flush() {
  if (pending_) Upload();
}

void PosixDisplay::FlushIfDue() {
  if (pending_ && SDL_GetTicks64() - lastUploadMs_ >= kFrameMs) Upload();
}

void PosixDisplay::Upload() {
  std::shared_ptr<SDL_Surface> from = std::move(pending_);
  Rect r = pendingRect_;
  pending_.reset();
  pendingRect_ = Rect{};
  if (!from || !window_) return;
  SDL_Surface* target = SDL_GetWindowSurface(window_);
  if (!target) return;
  SDL_Rect sr = ToSdl(r), dr = ToSdl(r);
  if (SDL_BlitSurface(from.get(), &sr, target, &dr) != 0 || dr.w <= 0 || dr.h <= 0) return;
  SDL_UpdateWindowSurfaceRects(window_, &dr, 1);
  ++uploads_;
  uploadedOnce_ = true;
  lastUploadMs_ = SDL_GetTicks64();
}

bool PosixDisplay::SavePng(const Surface& s, const std::string& hostPath, std::string* error) {
  const PosixSurface* p = AsPosix(s);
  if (!p || !p->sdl()) {
    if (error) *error = "not a surface of this display";
    return false;
  }
  SDL_Surface* raw = p->sdl();
  return WritePng(hostPath, static_cast<const uint32_t*>(raw->pixels), raw->w, raw->h, raw->pitch,
                  error);
}

uint32_t PosixDisplay::WindowPixelRGB(int x, int y) const {
  return window_ ? ReadPixel(SDL_GetWindowSurface(window_), x, y) : 0;
}

}  // namespace qv
