// The SDL display: an SDL2 window, SDL software surfaces, pictures read with the codec it is
// given, SDL_ttf text in the fonts its lookup finds, and coalesced presentation of the back
// buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Display.h"
#include "platform/common/DirtyRegion.h"
#include "platform/common/FontLookup.h"
#include "platform/common/PictureCheckCache.h"
#include "platform/common/PictureCodec.h"
#include "platform/sdl/FontCache.h"
#include "platform/sdl/GlyphCache.h"
#include "platform/sdl/SdlSurface.h"

struct SDL_Surface;
struct SDL_Window;

namespace qv {

class DrawQueue;

struct SdlDisplayOptions {
  // SDL's dummy video driver: a window exists but nothing reaches a screen.
  bool headless = false;
  // Reads the pictures; without one every picture fails.
  std::shared_ptr<const PictureCodec> codec{};
  // Finds the font files; without one no text is drawn.
  std::shared_ptr<FontLookup> fonts{};
  // Where the pictures found intact are remembered between runs; none: nowhere.
  std::shared_ptr<PictureCheckCache::Store> pictureChecks{};
  // False: every drawing is done at once instead of when its pixels are needed (tests).
  bool deferDrawing = true;
  // Counted here when given.
  PresentationCounts* counts = nullptr;
};

class SdlDisplay : public Display {
 public:
  explicit SdlDisplay(SdlDisplayOptions options);
  ~SdlDisplay() override;
  SdlDisplay(const SdlDisplay&) = delete;
  SdlDisplay& operator=(const SdlDisplay&) = delete;

  // Starts SDL's video; OpenWindow does it too. Fails when there is no display.
  Status StartVideo();

  Status OpenWindow(int left, int top, int width, int height, const std::string& caption) override;
  void ShowWindow() override;
  void MinimizeWindow() override;
  void WindowPosition(int* left, int* top) const override;
  void DisplaySize(int* width, int* height) const override;
  void CursorPosition(int* x, int* y) const override;

  SurfacePtr CreateSurface(int width, int height) override;
  DecodedPicture DecodeJpeg(const std::vector<uint8_t>& data) override;
  // Decodes ahead on one worker thread per processor.
  void DecodeJpegs(std::vector<std::vector<uint8_t>> data,
                   const std::function<void(size_t, DecodedPicture)>& done) override;

  void StretchCopy(Surface& dst, const Rect& dstRect, const Surface& src,
                   const Rect& srcRect) override;
  void Fill(Surface& dst, const Rect& r, Color c) override;
  TextSize MeasureText(const FontSpec& font, const std::string& utf8) override;
  void DrawText(Surface& dst, int x, int y, const std::string& utf8, const FontSpec& font,
                Color c) override;

  void Present(Surface& back, bool full) override;
  void Flush() override;
  // Flush, but only once a frame has passed since the last upload.
  void FlushIfDue();

  // What the window shows (0x00RRGGBB), for tests and checks of the presentation.
  uint32_t WindowPixelRGB(int x, int y) const;
  SDL_Window* window() const { return window_; }
  bool headless() const { return options_.headless; }

  // Puts the pointer at a screen position. Headless, this is only remembered: the double-click
  // handler reads the cursor position, and injected pointer events have no real pointer.
  void MoveCursor(int screenX, int screenY);

  static constexpr uint64_t kFrameMs = UploadPacing::kFrameMs;

 private:
  void Upload();

  SdlDisplayOptions options_;
  PresentationCounts ownCounts_;  // where none are asked for
  PresentationCounts& counts_;
  bool videoStarted_ = false;
  SDL_Window* window_ = nullptr;
  int windowLeft_ = 0;
  int windowTop_ = 0;
  int cursorX_ = 0;
  int cursorY_ = 0;
  FontCache fonts_{options_.fonts};
  GlyphCache glyphs_{fonts_};
  std::shared_ptr<DrawQueue> queue_;
  std::unique_ptr<PictureCheckCache> checked_;

  UploadPacing pacing_;
  std::shared_ptr<SDL_Surface> pending_;  // the back buffer with changes not yet uploaded
  DirtyRegion pendingRegion_;
};

}  // namespace qv
