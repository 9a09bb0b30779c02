// The Windows display: a popup window, DIB sections as surfaces, pictures read with the codec
// it is given (WIC by default), GDI text, and coalesced presentation of the back buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "platform/Display.h"
#include "platform/common/DirtyRegion.h"
#include "platform/common/PictureCheckCache.h"
#include "platform/common/PictureCodec.h"
#include "platform/win32/WinApi.h"

namespace qv {

class Dib;

struct Win32DisplayOptions {
  bool headless = false;  // no window ever: surfaces, pictures and text only (probe, tests)
  std::shared_ptr<const PictureCodec> codec{};                // none: a WicPictureCodec
  std::shared_ptr<PictureCheckCache::Store> pictureChecks{};  // none: nowhere
  // Counted here when given.
  PresentationCounts* counts = nullptr;
};

class Win32Display : public Display {
 public:
  explicit Win32Display(Win32DisplayOptions options = {});
  ~Win32Display() override;
  Win32Display(const Win32Display&) = delete;
  Win32Display& operator=(const Win32Display&) = delete;

  Status OpenWindow(int left, int top, int width, int height, const std::string& caption) override;
  void ShowWindow() override;
  void MinimizeWindow() override;
  void WindowPosition(int* left, int* top) const override;
  void DisplaySize(int* width, int* height) const override;
  void CursorPosition(int* x, int* y) const override;

  SurfacePtr CreateSurface(int width, int height) override;
  DecodedPicture DecodeJpeg(const std::vector<uint8_t>& data) override;
  // Checks ahead on one worker thread per processor; pixels are made when first needed.
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

  bool headless() const { return options_.headless; }
  // Puts the pointer at a screen position. Headless, this is only remembered: the double-click
  // handler reads the cursor position, and injected pointer events have no real pointer.
  void MoveCursor(int screenX, int screenY);
  // What the window shows (0x00RRGGBB), for tests; headless, what it would show.
  uint32_t WindowPixelRGB(int x, int y) const;
  HWND window() const { return window_; }
  // Milliseconds of a steady clock, to the millisecond (GetTickCount64 steps by 16 on Windows).
  static uint64_t NowMs();

  // Messages of the window after the display's own handling (painting); true when handled
  // (the window procedure then returns 0). The event source listens here.
  using MessageHook = std::function<bool(UINT message, WPARAM wParam, LPARAM lParam)>;
  void SetMessageHook(MessageHook hook) { hook_ = std::move(hook); }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void Paint();
  void Upload();
  // A font with where its lines sit (as SDL_ttf would put them); null font where none exists.
  struct Font {
    HFONT font = nullptr;
    int ascent = 0;
    int height = 0;
  };
  const Font& FontOf(const FontSpec& wanted);

  Win32DisplayOptions options_;
  PresentationCounts ownCounts_;  // where none are asked for
  PresentationCounts& counts_;
  HWND window_ = nullptr;
  int windowLeft_ = 0;
  int windowTop_ = 0;
  int cursorX_ = 0;
  int cursorY_ = 0;
  HDC memory_ = nullptr;  // GDI draws text on surfaces here, and the window is painted from it
  std::map<std::tuple<std::string, int, bool, bool>, Font> fonts_;
  std::unique_ptr<PictureCheckCache> checked_;
  MessageHook hook_;

  UploadPacing pacing_;
  std::shared_ptr<Dib> pending_;  // the back buffer with changes not yet uploaded
  DirtyRegion pendingRegion_;
  std::unique_ptr<Dib> shown_;  // what the window shows, for repainting it
};

}  // namespace qv
