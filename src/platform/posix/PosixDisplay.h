// The Linux display: an SDL2 window, SDL software surfaces, TurboJPEG pictures, fontconfig and
// SDL_ttf text, and coalesced presentation of the back buffer.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Display.h"
#include "platform/posix/FontCache.h"
#include "platform/common/JpegCodec.h"
#include "platform/posix/PictureCheckFile.h"

struct SDL_Surface;
struct SDL_Window;

namespace qv {

struct DrawQueue;

// Changed parts of a surface: a few rectangles rather than one around all of them, since a
// copy's counters and bars lie far apart and the whole window in between would be uploaded.
struct DirtyRegion {
  static constexpr size_t kMaxRects = 8;
  std::vector<Rect> rects;
  void Add(const Rect& r);
  void Add(const DirtyRegion& other);
  bool Empty() const { return rects.empty(); }
};

// An SDL software surface in the one pixel format of this display (XRGB8888). The changed
// rectangle since the surface was last presented is kept with it.
class PosixSurface : public Surface {
 public:
  // `queue` holds drawings on this surface not yet done; reads do them first. `pixels`, when
  // given, is the buffer `s` was made on; it is freed with the surface.
  explicit PosixSurface(SDL_Surface* s, std::weak_ptr<DrawQueue> queue = {},
                        std::shared_ptr<void> pixels = nullptr);
  // A picture whose JPEG data was checked but not decoded yet: its pixels are made when first
  // needed. A skin has dozens of full-window pictures and a session shows a few of them; of
  // the pressed and disabled looks it shows a few buttons, so where the data was found `intact`
  // and has bands (FindJpegBands) only the rows asked for are made.
  PosixSurface(int width, int height, std::vector<uint8_t> jpeg, std::weak_ptr<DrawQueue> queue,
               bool intact = false);
  int Width() const override;
  int Height() const override;
  uint32_t PixelRGB(int x, int y) const override;

  SDL_Surface* sdl() const { return shared().get(); }
  // Shared so that a pending presentation keeps the pixels alive.
  const std::shared_ptr<SDL_Surface>& shared() const { return sharedRows(0, height_); }
  // The same where only rows [top, bottom) will be read.
  const std::shared_ptr<SDL_Surface>& sharedRows(int top, int bottom) const {
    if (!jpeg_.empty()) MakePixels(top, bottom);
    return surface_;
  }
  // Rows of a picture made so far (all of them once it is whole), for tests.
  int MadeRows() const;

  void MarkDirty(const Rect& r);  // clipped to the surface
  const DirtyRegion& Dirty() const { return dirty_; }
  void ClearDirty();

 private:
  void Own(SDL_Surface* s, std::shared_ptr<void> pixels) const;
  void MakePixels(int top, int bottom) const;
  void MakeWhole() const;
  bool MakeBands(int first, int last) const;

  mutable std::shared_ptr<SDL_Surface> surface_;
  std::weak_ptr<DrawQueue> queue_;
  int width_ = 0;
  int height_ = 0;
  mutable std::vector<uint8_t> jpeg_;  // not decoded yet, or not all of it
  bool intact_ = false;
  mutable bool bandsSought_ = false;
  mutable std::unique_ptr<JpegBands> bands_;  // while made a band at a time
  mutable std::vector<bool> bandMade_;
  DirtyRegion dirty_;
};

class PosixDisplay : public Display {
 public:
  // Headless: SDL's dummy video driver; a window exists but nothing reaches a screen.
  explicit PosixDisplay(bool headless);
  ~PosixDisplay() override;
  PosixDisplay(const PosixDisplay&) = delete;
  PosixDisplay& operator=(const PosixDisplay&) = delete;

  // Starts SDL's video; OpenWindow does it too. False with `error` when there is no display.
  bool StartVideo(std::string* error);

  bool OpenWindow(int left, int top, int width, int height, const std::string& caption,
                  std::string* error) override;
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

  void Present(const Surface& back, bool full) override;
  void Flush() override;
  // Flush, but only once a frame has passed since the last upload.
  void FlushIfDue();
  uint64_t PresentCalls() const override { return presentCalls_; }
  uint64_t Uploads() const override { return uploads_; }

  bool SavePng(const Surface& s, const std::string& hostPath, std::string* error) override;

  // What the window shows (0x00RRGGBB), for tests and checks of the presentation.
  uint32_t WindowPixelRGB(int x, int y) const;
  SDL_Window* window() const { return window_; }
  bool headless() const { return headless_; }

  // Puts the pointer at a screen position. Headless, this is only remembered: the double-click
  // handler reads the cursor position, and injected pointer events have no real pointer.
  void MoveCursor(int screenX, int screenY);

  // Test hook: with false, every drawing is done at once instead of when its pixels are needed.
  void SetDeferDrawing(bool defer);

  // Where DecodeJpegs remembers the pictures it found intact (PictureCheckCache); none: empty.
  void SetPictureCheckCache(const std::string& file);

  // Shortest time between two uploads; changes in between wait for the next Present or Flush.
  static constexpr uint64_t kFrameMs = 16;

 private:
  friend struct DrawQueue;
  struct Glyph;
  struct Face;
  struct PendingText;
  struct PendingOp;

  void Upload();
  Face& FaceOf(TTF_Font* font);
  const Glyph* GlyphOf(Face& face, uint32_t codePoint);
  const Glyph* CachedGlyph(Face& face, uint32_t codePoint);
  // Width and glyphs of text laid out from cached glyphs; false where the text needs the
  // library's shaping (then both measuring and drawing use it).
  bool LayOut(Face& face, const std::string& utf8, int* width, std::vector<const Glyph*>* glyphs);
  void Render(SDL_Surface* target, const PendingText& text);
  void Draw(SDL_Surface* target, PendingOp& op);
  void Enqueue(SDL_Surface* s, PendingOp op);
  void Settle(SDL_Surface* s);  // does what is pending on `s`, in order

  bool headless_;
  bool videoStarted_ = false;
  SDL_Window* window_ = nullptr;
  int windowLeft_ = 0;
  int windowTop_ = 0;
  int cursorX_ = 0;
  int cursorY_ = 0;
  FontCache fonts_;
  std::unordered_map<TTF_Font*, std::unique_ptr<Face>> faces_;
  Face* lastFace_ = nullptr;  // text comes in runs of one face
  struct Measured {
    TTF_Font* font = nullptr;
    std::string text;
    TextSize size;
  };
  std::array<Measured, 4> measured_;  // the last answers of MeasureText
  size_t nextMeasured_ = 0;
  std::shared_ptr<DrawQueue> queue_;
  bool deferDrawing_ = true;
  std::unique_ptr<PictureCheckCache> checked_;
  static constexpr size_t kMaxPendingOps = 512;

  uint64_t presentCalls_ = 0;
  uint64_t uploads_ = 0;
  uint64_t lastUploadMs_ = 0;
  bool uploadedOnce_ = false;
  std::shared_ptr<SDL_Surface> pending_;  // the back buffer with changes not yet uploaded
  DirtyRegion pendingRegion_;
};

}  // namespace qv
