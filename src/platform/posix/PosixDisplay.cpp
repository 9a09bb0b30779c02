#include "platform/posix/PosixDisplay.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/common/JpegCodec.h"
#include "platform/common/PictureDecoder.h"
#include "platform/common/PngFile.h"
#include "platform/common/Utf8.h"

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

bool Contains(const Rect& outer, const Rect& inner) {
  return inner.x >= outer.x && inner.y >= outer.y &&
         int64_t(inner.x) + inner.w <= int64_t(outer.x) + outer.w &&
         int64_t(inner.y) + inner.h <= int64_t(outer.y) + outer.h;
}

Rect Bounds(const SDL_Surface* s) {
  return Rect{0, 0, s->w, s->h};
}

// Letters of scripts that need no shaping: one glyph per code point, left to right.
bool PlainCodePoint(uint32_t cp) {
  return (cp >= 0x20 && cp < 0x7F) || (cp >= 0xA0 && cp < 0x300 && cp != 0xAD) ||
         (cp >= 0x370 && cp < 0x530) || (cp >= 0x2010 && cp < 0x2028) ||
         (cp >= 0x2030 && cp < 0x205F) || (cp >= 0x20A0 && cp < 0x20C0);
}

PosixSurface* AsPosix(Surface& s) {
  return dynamic_cast<PosixSurface*>(&s);
}
const PosixSurface* AsPosix(const Surface& s) {
  return dynamic_cast<const PosixSurface*>(&s);
}

}  // namespace

struct PosixDisplay::Glyph {
  int minx = 0;     // left edge of the ink from the pen position
  int maxx = 0;     // right edge of the ink
  int advance = 0;  // whole pixels: the fonts are hinted
  int imageWidth = 0;
  std::vector<uint8_t> coverage;  // imageWidth x face height; column 0 is min(0, minx)
};

struct PosixDisplay::Face {
  TTF_Font* font = nullptr;
  int height = 0;
  bool plain = false;  // no synthetic style: a glyph drawn alone is drawn as in a line
  std::unordered_map<uint32_t, std::unique_ptr<Glyph>> glyphs;  // null: needs the library
  // The same for ASCII, looked up without hashing: paths and figures are mostly ASCII.
  std::array<const Glyph*, 128> ascii{};
  std::array<bool, 128> asciiKnown{};
};

struct PosixDisplay::PendingText {
  int x = 0;
  int y = 0;
  std::string utf8;
  TTF_Font* font = nullptr;
  Color color = 0;
};

// One drawing waiting to be done on a surface.
struct PosixDisplay::PendingOp {
  enum class Kind { Copy, Fill, Text } kind = Kind::Fill;
  Rect box;             // what it may change, clipped to the surface
  bool opaque = false;  // replaces every pixel of box
  std::shared_ptr<SDL_Surface> from;
  SDL_Rect sr{}, dr{};
  uint32_t pixel = 0;
  PendingText text;
};

// Drawing waiting to be done, per surface. Drawing only records; a later opaque write that hides
// a drawing drops it, so a text box rewritten many times a frame is drawn once. Pixels are made
// when somebody looks at them: a read, a copy from the surface, an upload to the window.
struct DrawQueue {
  PosixDisplay* display = nullptr;
  std::unordered_map<SDL_Surface*, std::vector<PosixDisplay::PendingOp>> pending;

  void Settle(SDL_Surface* s) {
    if (pending.count(s)) display->Settle(s);
  }
};

namespace {

void SettleQueued(const std::weak_ptr<DrawQueue>& queue, SDL_Surface* s) {
  if (auto q = queue.lock()) q->Settle(s);
}

// A checked picture whose pixels are decoded when first needed.
DecodedPicture DeferredPictureOf(DecodedPixels checked, std::vector<uint8_t> data,
                                 const std::shared_ptr<DrawQueue>& queue) {
  DecodedPicture picture;
  if (checked.result == JpegResult::Failed) {
    picture.error = std::move(checked.message);
    return picture;
  }
  picture.surface = std::make_shared<PosixSurface>(checked.width, checked.height, std::move(data),
                                                   queue, checked.result == JpegResult::Ok);
  if (checked.result == JpegResult::Partial) picture.warning = std::move(checked.message);
  return picture;
}

}  // namespace

PosixSurface::PosixSurface(SDL_Surface* s, std::weak_ptr<DrawQueue> queue,
                           std::shared_ptr<void> pixels)
    : queue_(std::move(queue)), width_(s ? s->w : 0), height_(s ? s->h : 0) {
  Own(s, std::move(pixels));
}

PosixSurface::PosixSurface(int width, int height, std::vector<uint8_t> jpeg,
                           std::weak_ptr<DrawQueue> queue, bool intact)
    : queue_(std::move(queue)),
      width_(width),
      height_(height),
      jpeg_(std::move(jpeg)),
      intact_(intact) {}

void PosixSurface::Own(SDL_Surface* s, std::shared_ptr<void> pixels) const {
  surface_.reset(s, [queue = queue_, owned = std::move(pixels)](SDL_Surface* p) mutable {
    // Its pixels go: nothing left to render, and the address may come back.
    if (auto q = queue.lock()) q->pending.erase(p);
    if (p) SDL_FreeSurface(p);
    owned.reset();
  });
}

void PosixSurface::MakePixels(int top, int bottom) const {
  if (!bandsSought_) {
    bandsSought_ = true;
    auto bands = std::make_unique<JpegBands>();
    std::shared_ptr<void> pixels;
    if (intact_ && FindJpegBands(jpeg_.data(), jpeg_.size(), bands.get()) &&
        bands->width == width_ && bands->height == height_)
      pixels.reset(std::calloc(size_t(width_) * height_, 4), std::free);
    SDL_Surface* s = pixels ? SDL_CreateRGBSurfaceWithFormatFrom(pixels.get(), width_, height_, 32,
                                                                 width_ * 4, kFormat)
                            : nullptr;
    if (s) {
      Own(s, std::move(pixels));
      bandMade_.assign(size_t(bands->Count()), false);
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
      DecodeJpegPixels(jpeg_.data(), jpeg_.size(), static_cast<uint32_t*>(surface_->pixels),
                       surface_->pitch, nullptr);
      bandMade_.assign(bandMade_.size(), true);
      break;
    }
    std::fill(bandMade_.begin() + k, bandMade_.begin() + end, true);
    k = end;
  }
  if (std::all_of(bandMade_.begin(), bandMade_.end(), [](bool made) { return made; })) {
    jpeg_ = {};
    bands_.reset();
    bandMade_ = {};
  }
}

bool PosixSurface::MakeBands(int first, int last) const {
  auto* pixels = static_cast<uint32_t*>(surface_->pixels);
  const int pitch = surface_->pitch;
  // Out of memory for a band's data: the whole decides, as for any other failed band.
  auto decode = [&](int a, int b) noexcept {
    try {
      return DecodeJpegBands(jpeg_.data(), *bands_, a, b, pixels, pitch, nullptr) == JpegResult::Ok;
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

void PosixSurface::MakeWhole() const {
  const std::vector<uint8_t> jpeg = std::move(jpeg_);
  jpeg_.clear();
  // The data was checked when the picture was made; should memory run out now, the picture
  // stays empty and nothing is drawn from it.
  DecodedPixels decoded = DecodePixels(jpeg);
  if (decoded.result == JpegResult::Failed || decoded.width != width_ || decoded.height != height_)
    return;
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(decoded.pixels.get(), width_, height_, 32,
                                                      width_ * 4, kFormat);
  if (s)
    Own(s, std::shared_ptr<void>(decoded.pixels.release(),
                                 [](void* p) { delete[] static_cast<uint32_t*>(p); }));
}

int PosixSurface::MadeRows() const {
  if (jpeg_.empty()) return surface_ ? height_ : 0;
  if (!bands_) return 0;
  int made = 0;
  for (size_t k = 0; k < bandMade_.size(); ++k)
    if (bandMade_[k])
      made += std::min(bands_->bandRows, height_ - static_cast<int>(k) * bands_->bandRows);
  return made;
}

int PosixSurface::Width() const {
  return width_;
}
int PosixSurface::Height() const {
  return height_;
}
uint32_t PosixSurface::PixelRGB(int x, int y) const {
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

void PosixSurface::MarkDirty(const Rect& r) {
  dirty_.Add(Intersect(r, Rect{0, 0, Width(), Height()}));
}

void PosixSurface::ClearDirty() {
  dirty_.rects.clear();  // keeps its room: presenting allocates nothing
}

PosixDisplay::PosixDisplay(bool headless)
    : headless_(headless), queue_(std::make_shared<DrawQueue>()) {
  queue_->display = this;
  fonts_.LoadConfigInBackground();
}

PosixDisplay::~PosixDisplay() {
  // Surfaces may outlive the display: they keep what was drawn on them.
  while (!queue_->pending.empty()) Settle(queue_->pending.begin()->first);
  queue_.reset();
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
  // The window surface goes to the X server as a shared-memory picture. SDL would otherwise go
  // through OpenGL, which without a graphics card (a virtual screen, a plain desktop) is a
  // software rasterizer spending more on each upload than the program spends on the copy.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
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
  width = std::max(width, 0);
  height = std::max(height, 0);
  // Memory the system hands out fresh is zero already: calloc spares the pass that SDL's own
  // allocation makes over every byte, and the pages of a surface never drawn on stay untouched.
  std::shared_ptr<void> pixels;
  if (width > 0 && height > 0) pixels.reset(std::calloc(size_t(width) * height, 4), std::free);
  SDL_Surface* s = pixels ? SDL_CreateRGBSurfaceWithFormatFrom(pixels.get(), width, height, 32,
                                                               width * 4, kFormat)
                          : SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, kFormat);
  return std::make_shared<PosixSurface>(s, queue_, s ? std::move(pixels) : nullptr);
}

DecodedPicture PosixDisplay::DecodeJpeg(const std::vector<uint8_t>& data) {
  if (!checked_) return DeferredPictureOf(CheckPixels(data), data, queue_);
  const PictureCheckCache::Key key = PictureCheckCache::KeyOf(data);
  const bool intact = checked_->Intact(key);
  DecodedPixels checked = CheckPixels(data, intact);
  if (!intact && checked.result == JpegResult::Ok) {
    checked_->Add(key);
    checked_->Save();
  }
  return DeferredPictureOf(std::move(checked), data, queue_);
}

void PosixDisplay::DecodeJpegs(std::vector<std::vector<uint8_t>> data,
                               const std::function<void(size_t, DecodedPicture)>& done) {
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::vector<PictureCheckCache::Key> keys;
  std::vector<bool> intact;
  if (checked_) {
    for (const std::vector<uint8_t>& bytes : data) {
      keys.push_back(PictureCheckCache::KeyOf(bytes));
      intact.push_back(checked_->Intact(keys.back()));
    }
  }
  // Surfaces are made here, on the calling thread: SDL is not called from the workers.
  DecodeInOrder(
      data, threads,
      [&](size_t k, DecodedPixels checked) {
        if (checked_ && !intact[k] && checked.result == JpegResult::Ok) checked_->Add(keys[k]);
        // The worker is done with data[k]: the picture keeps it without a copy.
        done(k, DeferredPictureOf(std::move(checked), std::move(data[k]), queue_));
      },
      true, checked_ ? &intact : nullptr);
  if (checked_) checked_->Save();
}

void PosixDisplay::SetPictureCheckCache(const std::string& file) {
  checked_ = file.empty() ? nullptr : std::make_unique<PictureCheckCache>(PictureCheckCacheIn(file));
}

void PosixDisplay::StretchCopy(Surface& dst, const Rect& dstRect, const Surface& src,
                               const Rect& srcRect) {
  PosixSurface* d = AsPosix(dst);
  const PosixSurface* s = AsPosix(src);
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
  Enqueue(d->sdl(), std::move(op));
}

void PosixDisplay::Fill(Surface& dst, const Rect& r, Color c) {
  PosixSurface* d = AsPosix(dst);
  if (!d || !d->sdl() || r.Empty()) return;
  PendingOp op;
  op.kind = PendingOp::Kind::Fill;
  op.box = Intersect(r, Bounds(d->sdl()));
  op.opaque = true;
  op.dr = ToSdl(r);
  op.pixel = MapColor(d->sdl(), c);
  d->MarkDirty(r);
  Enqueue(d->sdl(), std::move(op));
}

PosixDisplay::Face& PosixDisplay::FaceOf(TTF_Font* font) {
  if (lastFace_ && lastFace_->font == font) return *lastFace_;
  std::unique_ptr<Face>& face = faces_[font];
  if (!face) {
    face = std::make_unique<Face>();
    face->font = font;
    face->height = TTF_FontHeight(font);
    face->plain = !fonts_.HasSyntheticStyle(font) && TTF_GetFontOutline(font) == 0;
  }
  lastFace_ = face.get();
  return *face;
}

const PosixDisplay::Glyph* PosixDisplay::GlyphOf(Face& face, uint32_t codePoint) {
  if (codePoint < face.ascii.size()) {
    if (!face.asciiKnown[codePoint]) {
      face.asciiKnown[codePoint] = true;
      face.ascii[codePoint] = CachedGlyph(face, codePoint);
    }
    return face.ascii[codePoint];
  }
  return CachedGlyph(face, codePoint);
}

const PosixDisplay::Glyph* PosixDisplay::CachedGlyph(Face& face, uint32_t codePoint) {
  auto found = face.glyphs.find(codePoint);
  if (found != face.glyphs.end()) return found->second.get();
  std::unique_ptr<Glyph>& slot = face.glyphs[codePoint];
  TTF_Font* font = face.font;
  if (!face.plain || !PlainCodePoint(codePoint) || !TTF_GlyphIsProvided32(font, codePoint))
    return nullptr;
  auto glyph = std::make_unique<Glyph>();
  int miny = 0, maxy = 0;
  if (TTF_GlyphMetrics32(font, codePoint, &glyph->minx, &glyph->maxx, &miny, &maxy,
                         &glyph->advance) != 0)
    return nullptr;
  SDL_Surface* image = TTF_RenderGlyph32_Blended(font, codePoint, SDL_Color{255, 255, 255, 255});
  if (!image) return nullptr;
  // A glyph that reaches beyond the line's height or box makes the library grow the line; such
  // text stays with the library.
  const int width = std::max(glyph->maxx, glyph->advance) - std::min(0, glyph->minx);
  bool fits = image->format->format == SDL_PIXELFORMAT_ARGB8888 && image->h == face.height &&
              image->w == width && SDL_LockSurface(image) == 0;
  if (fits) {
    glyph->imageWidth = width;
    glyph->coverage.resize(size_t(width) * face.height);
    for (int y = 0; y < face.height; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(
          static_cast<const uint8_t*>(image->pixels) + size_t(y) * image->pitch);
      for (int x = 0; x < width; ++x)
        glyph->coverage[size_t(y) * width + x] = uint8_t(row[x] >> 24);
    }
    SDL_UnlockSurface(image);
  }
  SDL_FreeSurface(image);
  if (!fits) return nullptr;
  slot = std::move(glyph);
  return slot.get();
}

bool PosixDisplay::LayOut(Face& face, const std::string& utf8, int* width,
                          std::vector<const Glyph*>* glyphs) {
  static thread_local std::vector<uint32_t> codePoints;
  if (!face.plain) return false;
  if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return (c & 0x80) == 0; })) {
    codePoints.assign(utf8.begin(), utf8.end());
  } else if (!DecodeUtf8(utf8, &codePoints)) {
    return false;
  }
  glyphs->clear();
  int pen = 0, left = 0, right = 0;
  for (uint32_t cp : codePoints) {
    const Glyph* g = GlyphOf(face, cp);
    if (!g) return false;
    left = std::min(left, pen + g->minx);
    right = std::max(right, pen + g->maxx);
    pen += g->advance;
    right = std::max(right, pen);
    glyphs->push_back(g);
  }
  *width = right - left;
  return true;
}

TextSize PosixDisplay::MeasureText(const FontSpec& font, const std::string& utf8) {
  TTF_Font* f = fonts_.Get(font);
  TextSize size;
  if (!f) return size;
  if (utf8.empty()) {
    size.h = TTF_FontHeight(f);
    return size;
  }
  // A text box measures its text to shorten it, to place it and to draw it: the same question
  // several times in a row. Fonts stay open as long as this object, so a font's address is its
  // identity here.
  for (const Measured& m : measured_)
    if (m.font == f && m.text == utf8) return m.size;
  Face& face = FaceOf(f);
  static thread_local std::vector<const Glyph*> glyphs;
  if (LayOut(face, utf8, &size.w, &glyphs)) {
    size.h = face.height;
  } else if (TTF_SizeUTF8(f, utf8.c_str(), &size.w, &size.h) != 0) {
    size = TextSize{};
  }
  Measured& slot = measured_[nextMeasured_++ % measured_.size()];
  slot.font = f;
  slot.text = utf8;
  slot.size = size;
  return size;
}

void PosixDisplay::DrawText(Surface& dst, int x, int y, const std::string& utf8,
                            const FontSpec& font, Color c) {
  PosixSurface* d = AsPosix(dst);
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
  Enqueue(d->sdl(), std::move(op));
}

void PosixDisplay::Render(SDL_Surface* target, const PendingText& text) {
  Face& face = FaceOf(text.font);
  static thread_local std::vector<const Glyph*> glyphs;
  int width = 0;
  SDL_Surface* line = nullptr;
  if (LayOut(face, text.utf8, &width, &glyphs)) {
    // The glyphs' own pictures, side by side; where two overlap the stronger ink wins.
    line = SDL_CreateRGBSurfaceWithFormat(0, width, face.height, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!line) return;
    const uint32_t rgb =
        uint32_t(text.color & 0xFF) << 16 | (text.color & 0xFF00) | ((text.color >> 16) & 0xFF);
    int pen = 0, left = 0;
    for (const Glyph* g : glyphs) {
      left = std::min(left, pen + g->minx);
      pen += g->advance;
    }
    pen = 0;
    for (const Glyph* g : glyphs) {
      const int x0 = pen + std::min(0, g->minx) - left;
      for (int y = 0; y < face.height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(line->pixels) +
                                                size_t(y) * line->pitch);
        const uint8_t* cover = g->coverage.data() + size_t(y) * g->imageWidth;
        for (int x = 0; x < g->imageWidth; ++x) {
          const uint32_t a = cover[x];
          if (a > (row[x0 + x] >> 24)) row[x0 + x] = a << 24 | rgb;
        }
      }
      pen += g->advance;
    }
  } else {
    line = TTF_RenderUTF8_Blended(text.font, text.utf8.c_str(), ToSdlColor(text.color));
    if (!line) return;
  }
  SDL_SetSurfaceBlendMode(line, SDL_BLENDMODE_BLEND);
  SDL_Rect dr{text.x, text.y, line->w, line->h};
  SDL_BlitSurface(line, nullptr, target, &dr);
  SDL_FreeSurface(line);
}

void PosixDisplay::Draw(SDL_Surface* target, PendingOp& op) {
  switch (op.kind) {
    case PendingOp::Kind::Copy:
      if (op.sr.w == op.dr.w && op.sr.h == op.dr.h)
        SDL_BlitSurface(op.from.get(), &op.sr, target, &op.dr);
      else
        SDL_BlitScaled(op.from.get(), &op.sr, target, &op.dr);
      break;
    case PendingOp::Kind::Fill:
      SDL_FillRect(target, &op.dr, op.pixel);
      break;
    case PendingOp::Kind::Text:
      Render(target, op.text);
      break;
  }
}

void PosixDisplay::Enqueue(SDL_Surface* s, PendingOp op) {
  // What is about to change must first be read by the drawings still waiting to copy from it.
  for (auto it = queue_->pending.begin(); it != queue_->pending.end();) {
    SDL_Surface* other = it->first;
    const bool reads =
        other != s && std::any_of(it->second.begin(), it->second.end(),
                                  [s](const PendingOp& o) { return o.from.get() == s; });
    ++it;
    if (reads) {
      Settle(other);
      it = queue_->pending.begin();  // settling changed the map
    }
  }
  if (!deferDrawing_) {
    Settle(s);
    Draw(s, op);
    return;
  }
  std::vector<PendingOp>& ops = queue_->pending[s];
  if (op.opaque && !op.box.Empty()) {
    ops.erase(std::remove_if(ops.begin(), ops.end(),
                             [&](const PendingOp& o) { return Contains(op.box, o.box); }),
              ops.end());
  }
  ops.push_back(std::move(op));
  // A surface nobody looks at must not gather drawings without end.
  if (ops.size() >= kMaxPendingOps) Settle(s);
}

void PosixDisplay::Settle(SDL_Surface* s) {
  auto found = queue_->pending.find(s);
  if (found == queue_->pending.end()) return;
  std::vector<PendingOp> ops = std::move(found->second);
  queue_->pending.erase(found);
  for (PendingOp& op : ops) Draw(s, op);
}

void PosixDisplay::SetDeferDrawing(bool defer) {
  deferDrawing_ = defer;
  if (!defer)
    while (!queue_->pending.empty()) Settle(queue_->pending.begin()->first);
}

void PosixDisplay::Present(const Surface& back, bool full) {
  ++presentCalls_;
  auto* b = const_cast<PosixSurface*>(AsPosix(back));
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
  queue_->Settle(raw);
  return WritePng(hostPath, static_cast<const uint32_t*>(raw->pixels), raw->w, raw->h, raw->pitch,
                  error);
}

uint32_t PosixDisplay::WindowPixelRGB(int x, int y) const {
  return window_ ? ReadPixel(SDL_GetWindowSurface(window_), x, y) : 0;
}

}  // namespace qv
