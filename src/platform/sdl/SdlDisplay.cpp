#include "platform/sdl/SdlDisplay.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <cstdlib>
#include <thread>
#include <utility>

#include "platform/common/CheckedPictures.h"
#include "platform/sdl/DrawQueue.h"

namespace qv {
namespace {

SDL_Rect ToSdl(const Rect& r) {
  return SDL_Rect{r.x, r.y, r.w, r.h};
}

uint32_t MapColor(SDL_Surface* s, Color c) {
  return SDL_MapRGB(s->format, uint8_t(c & 0xFF), uint8_t((c >> 8) & 0xFF),
                    uint8_t((c >> 16) & 0xFF));
}

}  // namespace

SdlDisplay::SdlDisplay(SdlDisplayOptions options)
    : options_(std::move(options)),
      counts_(options_.counts ? *options_.counts : ownCounts_),
      queue_(std::make_shared<DrawQueue>(glyphs_, options_.deferDrawing)) {
  if (options_.pictureChecks && options_.codec)
    checked_ = std::make_unique<PictureCheckCache>(options_.pictureChecks,
                                                   options_.codec->CheckIdentity());
}

SdlDisplay::~SdlDisplay() {
  // Surfaces may outlive the display: they keep what was drawn on them.
  queue_->SettleAll();
  queue_.reset();
  pending_.reset();
  if (window_) SDL_DestroyWindow(window_);
  if (videoStarted_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

Status SdlDisplay::StartVideo() {
  if (videoStarted_) return Status::Ok();
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (options_.headless) {
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
  // SDL counts a second press within 32 pixels as a double click: quick taps on two neighbouring
  // list rows would open the first one. A few pixels, as on Windows, with room for a finger.
  SDL_SetHint(SDL_HINT_MOUSE_DOUBLE_CLICK_RADIUS, "8");
  // The window surface goes to the X server as a shared-memory picture. SDL would otherwise go
  // through OpenGL, which without a graphics card (a virtual screen, a plain desktop) is a
  // software rasterizer spending more on each upload than the program spends on the copy.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    std::string where = x11 && *x11 ? x11 : wayland && *wayland ? wayland : "";
    return Status::Error(options_.headless || where.empty()
                             ? std::string(SDL_GetError())
                             : "cannot open display " + where + ": " + SDL_GetError());
  }
  videoStarted_ = true;
  return Status::Ok();
}

Status SdlDisplay::OpenWindow(int left, int top, int width, int height,
                              const std::string& caption) {
  if (Status started = StartVideo(); !started.ok()) return started;
  width = std::max(width, 1);
  height = std::max(height, 1);
  if (window_) {
    SDL_SetWindowTitle(window_, caption.c_str());
    SDL_SetWindowSize(window_, width, height);
    SDL_SetWindowPosition(window_, left, top);
  } else {
    window_ = SDL_CreateWindow(caption.c_str(), left, top, width, height,
                               SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
    if (!window_) return Status::Error(SDL_GetError());
  }
  windowLeft_ = left;
  windowTop_ = top;
  if (!SDL_GetWindowSurface(window_)) return Status::Error(SDL_GetError());
  return Status::Ok();
}

void SdlDisplay::ShowWindow() {
  if (!window_) return;
  if (SDL_GetWindowFlags(window_) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(window_);
  SDL_ShowWindow(window_);
  // Window managers may place a newly mapped window themselves; the settings decide.
  SDL_SetWindowPosition(window_, windowLeft_, windowTop_);
}

void SdlDisplay::MinimizeWindow() {
  if (window_) SDL_MinimizeWindow(window_);
}

void SdlDisplay::WindowPosition(int* left, int* top) const {
  *left = windowLeft_;
  *top = windowTop_;
  if (window_ && !options_.headless) SDL_GetWindowPosition(window_, left, top);
}

void SdlDisplay::DisplaySize(int* width, int* height) const {
  *width = 0;
  *height = 0;
  if (!const_cast<SdlDisplay*>(this)->StartVideo().ok()) return;
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

void SdlDisplay::CursorPosition(int* x, int* y) const {
  if (options_.headless) {
    *x = cursorX_;
    *y = cursorY_;
    return;
  }
  SDL_GetGlobalMouseState(x, y);
}

void SdlDisplay::MoveCursor(int screenX, int screenY) {
  cursorX_ = screenX;
  cursorY_ = screenY;
  if (!options_.headless && videoStarted_) SDL_WarpMouseGlobal(screenX, screenY);
}

SurfacePtr SdlDisplay::CreateSurface(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  // Memory the system hands out fresh is zero already: calloc spares the pass that SDL's own
  // allocation makes over every byte, and the pages of a surface never drawn on stay untouched.
  std::shared_ptr<void> pixels;
  if (width > 0 && height > 0) pixels.reset(std::calloc(size_t(width) * height, 4), std::free);
  SDL_Surface* s =
      pixels ? SurfaceOver(pixels.get(), width, height)
             : SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_XRGB8888);
  return std::make_shared<SdlSurface>(s, queue_, s ? std::move(pixels) : nullptr);
}

DecodedPicture SdlDisplay::DecodeJpeg(const std::vector<uint8_t>& data) {
  if (!options_.codec) return DecodedPicture{nullptr, {}, "no picture codec"};
  return DeferredPictureOf(CheckPicture(*options_.codec, checked_.get(), data), data,
                           options_.codec, queue_);
}

void SdlDisplay::DecodeJpegs(std::vector<std::vector<uint8_t>> data,
                             const std::function<void(size_t, DecodedPicture)>& done) {
  if (!options_.codec) return Display::DecodeJpegs(std::move(data), done);
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  // Surfaces are made here, on the calling thread: SDL is not called from the workers.
  CheckPictures(
      *options_.codec, checked_.get(), std::move(data), threads,
      [&](size_t k, DecodedPixels checked, std::vector<uint8_t> bytes) {
        done(k, DeferredPictureOf(std::move(checked), std::move(bytes), options_.codec, queue_));
      });
}

void SdlDisplay::StretchCopy(Surface& dst, const Rect& dstRect, const Surface& src,
                             const Rect& srcRect) {
  SdlSurface* d = AsSdl(dst);
  const SdlSurface* s = AsSdl(src);
  if (!d || !d->sdl() || !s || dstRect.Empty() || srcRect.Empty()) return;
  // A row more on each side: stretching may look at the neighbours of the edge rows.
  const std::shared_ptr<SDL_Surface> from = s->sharedRows(srcRect.y - 1, srcRect.y + srcRect.h + 1);
  if (!from) return;
  queue_->Settle(from.get());
  PendingOp op;
  op.kind = PendingOp::Kind::Copy;
  op.box = Intersect(dstRect, Bounds(d->sdl()));
  // Our surfaces have no alpha: a copy replaces what it covers. Where SDL clips the source the
  // destination shrinks with it, so only an unclipped copy is known to hide what lies below.
  op.opaque = Contains(Bounds(from.get()), srcRect) && Contains(Bounds(d->sdl()), dstRect);
  op.from = from;
  op.sr = ToSdl(srcRect);
  op.dr = ToSdl(dstRect);
  d->MarkDirty(dstRect);
  if (op.from == d->shared()) {
    // A copy within one surface could read pixels it has already overwritten.
    op.from.reset(SDL_DuplicateSurface(s->sdl()), SDL_FreeSurface);
    if (!op.from) return;
  }
  queue_->Enqueue(d->sdl(), std::move(op));
}

void SdlDisplay::Fill(Surface& dst, const Rect& r, Color c) {
  SdlSurface* d = AsSdl(dst);
  if (!d || !d->sdl() || r.Empty()) return;
  PendingOp op;
  op.kind = PendingOp::Kind::Fill;
  op.box = Intersect(r, Bounds(d->sdl()));
  op.opaque = true;
  op.dr = ToSdl(r);
  op.pixel = MapColor(d->sdl(), c);
  d->MarkDirty(r);
  queue_->Enqueue(d->sdl(), std::move(op));
}

TextSize SdlDisplay::MeasureText(const FontSpec& font, const std::string& utf8) {
  TTF_Font* f = fonts_.Get(font);
  return f ? glyphs_.Measure(f, utf8) : TextSize{};
}

void SdlDisplay::DrawText(Surface& dst, int x, int y, const std::string& utf8, const FontSpec& font,
                          Color c) {
  SdlSurface* d = AsSdl(dst);
  if (!d || !d->sdl() || utf8.empty()) return;
  TTF_Font* f = fonts_.Get(font);
  if (!f) return;
  TextSize size = MeasureText(font, utf8);
  PendingOp op;
  op.kind = PendingOp::Kind::Text;
  op.box = Intersect(Rect{x, y, size.w, size.h}, Bounds(d->sdl()));
  if (op.box.Empty()) return;
  op.text = PendingText{x, y, utf8, f, c};
  d->MarkDirty(op.box);
  queue_->Enqueue(d->sdl(), std::move(op));
}

void SdlDisplay::Present(Surface& back, bool full) {
  ++counts_.presents;
  SdlSurface* b = AsSdl(back);
  if (!b || !b->sdl()) return;
  if (full) {
    b->ClearDirty();
    b->MarkDirty(Rect{0, 0, b->Width(), b->Height()});
  }
  if (b->Dirty().Empty()) return;
  if (pending_ && pending_ != b->shared()) Upload();
  pending_ = b->shared();
  pendingRegion_.Add(b->Dirty());
  b->ClearDirty();
  if (pacing_.Due(SDL_GetTicks64())) Upload();
}

void SdlDisplay::Flush() {
  if (pending_) Upload();
}

void SdlDisplay::FlushIfDue() {
  if (pending_ && pacing_.Due(SDL_GetTicks64())) Upload();
}

void SdlDisplay::Upload() {
  std::shared_ptr<SDL_Surface> from = std::move(pending_);
  const DirtyRegion region = std::exchange(pendingRegion_, DirtyRegion{});
  pending_.reset();
  if (!from || !window_) return;
  queue_->Settle(from.get());
  SDL_Surface* target = SDL_GetWindowSurface(window_);
  if (!target) return;
  std::vector<SDL_Rect> shown;
  for (const Rect& r : region.rects) {
    SDL_Rect sr = ToSdl(r), dr = ToSdl(r);
    if (SDL_BlitSurface(from.get(), &sr, target, &dr) == 0 && dr.w > 0 && dr.h > 0)
      shown.push_back(dr);
  }
  if (shown.empty()) return;
  SDL_UpdateWindowSurfaceRects(window_, shown.data(), static_cast<int>(shown.size()));
  ++counts_.uploads;
  pacing_.Uploaded(SDL_GetTicks64());
}

uint32_t SdlDisplay::WindowPixelRGB(int x, int y) const {
  return window_ ? ReadPixel(SDL_GetWindowSurface(window_), x, y) : 0;
}

}  // namespace qv
