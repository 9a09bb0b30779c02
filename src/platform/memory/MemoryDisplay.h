// The tests' display: plain pixel buffers, no window, and a text metric that does not depend on
// the machine's fonts (every character 8 pixels wide, every text 16 pixels high).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Display.h"
#include "platform/common/PictureCodec.h"

namespace qv {

class MemorySurface : public Surface {
 public:
  MemorySurface(int width, int height);
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  uint32_t PixelRGB(int x, int y) const override;

  // 0x00RRGGBB words, row by row.
  std::vector<uint32_t>& pixels() { return pixels_; }
  const std::vector<uint32_t>& pixels() const { return pixels_; }

 private:
  int width_;
  int height_;
  std::vector<uint32_t> pixels_;
};

class MemoryDisplay : public Display {
 public:
  static constexpr int kCharAdvance = 8;
  static constexpr int kTextHeight = 16;

  // Pictures are read with `codec`; without one, in the tests' own format (TestPicture.h).
  explicit MemoryDisplay(std::shared_ptr<const PictureCodec> codec = nullptr);

  bool OpenWindow(int left, int top, int width, int height, const std::string& caption,
                  std::string* error) override;
  void ShowWindow() override {
    shown_ = true;
    minimized_ = false;
  }
  void MinimizeWindow() override { minimized_ = true; }
  void WindowPosition(int* left, int* top) const override;
  void DisplaySize(int* width, int* height) const override;
  void CursorPosition(int* x, int* y) const override;

  SurfacePtr CreateSurface(int width, int height) override;
  DecodedPicture DecodeJpeg(const std::vector<uint8_t>& data) override;

  void StretchCopy(Surface& dst, const Rect& dstRect, const Surface& src,
                   const Rect& srcRect) override;
  void Fill(Surface& dst, const Rect& r, Color c) override;
  // Counts code points; bytes that are no valid UTF-8 count one each.
  TextSize MeasureText(const FontSpec& font, const std::string& utf8) override;
  // Each character that is not blank becomes a 6 x 12 block at (x + 8 i + 1, y + 2).
  void DrawText(Surface& dst, int x, int y, const std::string& utf8, const FontSpec& font,
                Color c) override;

  // Every presentation is one upload.
  void Present(Surface& back, bool full) override;
  void Flush() override {}
  uint64_t PresentCalls() const { return presentCalls_; }

  // Test controls and observations.
  void SetDisplaySize(int width, int height) {
    displayWidth_ = width;
    displayHeight_ = height;
  }
  void SetCursorPosition(int x, int y) {
    cursorX_ = x;
    cursorY_ = y;
  }
  bool WindowOpen() const { return open_; }
  bool Shown() const { return shown_; }
  bool Minimized() const { return minimized_; }
  int WindowWidth() const { return windowWidth_; }
  int WindowHeight() const { return windowHeight_; }
  const std::string& Caption() const { return caption_; }
  // The surface last presented, and whether that presentation asked for the whole window.
  const Surface* LastPresented() const { return lastPresented_; }
  bool LastPresentFull() const { return lastPresentFull_; }
  uint64_t FullPresents() const { return fullPresents_; }

 private:
  std::shared_ptr<const PictureCodec> codec_;
  bool open_ = false;
  bool shown_ = false;
  bool minimized_ = false;
  int windowLeft_ = 0;
  int windowTop_ = 0;
  int windowWidth_ = 0;
  int windowHeight_ = 0;
  std::string caption_;
  int displayWidth_ = 1280;
  int displayHeight_ = 1024;
  int cursorX_ = 0;
  int cursorY_ = 0;
  uint64_t presentCalls_ = 0;
  uint64_t fullPresents_ = 0;
  const Surface* lastPresented_ = nullptr;
  bool lastPresentFull_ = false;
};

}  // namespace qv
