// The Windows display and event source: pixels of surfaces, GDI text, pictures through WIC, a
// real window under the run's Xvfb, and the window's messages as events.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "platform/win32/WicPictureCodec.h"
#include "platform/win32/Win32Display.h"
#include "platform/win32/Win32Events.h"
#include "platform/win32/Win32Surface.h"

namespace qv {
namespace {

std::vector<uint8_t> SourceFile(const std::string& path) {
  std::ifstream in(std::string(QV_SOURCE_DIR) + "/" + path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Layout colours are red + 256 green + 65536 blue; pixels read back as 0xRRGGBB.
constexpr Color kRed = 0x0000FF, kBlue = 0xFF0000, kGreen = 0x00FF00;

TEST(Win32DisplayTest, FillOutlineAndCopiesGiveTheExpectedPixels) {
  Win32Display display({.headless = true});
  SurfacePtr src = display.CreateSurface(8, 4);
  for (int x = 0; x < 8; ++x) display.Fill(*src, Rect{x, 0, 1, 4}, Color(x * 20 + 65536 * 7));
  EXPECT_EQ(src->PixelRGB(3, 2), 0x3C0007u);

  SurfacePtr dst = display.CreateSurface(20, 12);
  display.Fill(*dst, Rect{-5, -5, 8, 8}, kRed);  // clipped at the top-left corner
  EXPECT_EQ(dst->PixelRGB(0, 0), 0xFF0000u);
  EXPECT_EQ(dst->PixelRGB(2, 2), 0xFF0000u);
  EXPECT_EQ(dst->PixelRGB(3, 3), 0u);
  display.Outline(*dst, Rect{10, 6, 20, 20}, kBlue);  // right and bottom off the surface
  EXPECT_EQ(dst->PixelRGB(10, 6), 0x0000FFu);
  EXPECT_EQ(dst->PixelRGB(19, 6), 0x0000FFu);
  EXPECT_EQ(dst->PixelRGB(10, 11), 0x0000FFu);
  EXPECT_EQ(dst->PixelRGB(12, 8), 0u);

  // One to one is exact; three columns onto seven pick 0 0 1 1 1 2 2 (SDL's stretch does).
  display.StretchCopy(*dst, Rect{0, 4, 8, 1}, *src, Rect{0, 1, 8, 1});
  for (int x = 0; x < 8; ++x) EXPECT_EQ(dst->PixelRGB(x, 4), src->PixelRGB(x, 0));
  display.StretchCopy(*dst, Rect{0, 5, 7, 1}, *src, Rect{2, 0, 3, 1});
  const int picks[7] = {0, 0, 1, 1, 1, 2, 2};
  for (int x = 0; x < 7; ++x) EXPECT_EQ(dst->PixelRGB(x, 5), src->PixelRGB(2 + picks[x], 0)) << x;

  // Within one surface the source is read as it was before the copy.
  display.StretchCopy(*src, Rect{1, 0, 7, 1}, *src, Rect{0, 0, 7, 1});
  for (int x = 1; x < 8; ++x) EXPECT_EQ(src->PixelRGB(x, 0), src->PixelRGB(x - 1, 1));
  // Off the surfaces or empty: nothing, no crash.
  display.StretchCopy(*dst, Rect{0, 0, 5, 5}, *src, Rect{100, 100, 5, 5});
  display.StretchCopy(*dst, Rect{0, 0, -5, 5}, *src, Rect{0, 0, 5, 5});
  EXPECT_EQ(dst->PixelRGB(0, 0), 0xFF0000u);
}

// Pixels of `s` within `box` that differ from `background`, and whether any outside it does.
int Inked(const Surface& s, const Rect& box, uint32_t background, bool* outside) {
  int inked = 0;
  *outside = false;
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) {
      if (s.PixelRGB(x, y) == background) continue;
      const bool in = x >= box.x && y >= box.y && x < box.x + box.w && y < box.y + box.h;
      inked += in;
      *outside |= !in;
    }
  return inked;
}

TEST(Win32DisplayTest, TextIsDrawnInItsColourInsideItsMeasuredBox) {
  Win32Display display({.headless = true});
  const FontSpec plain{"arial", 14, false, false};
  const TextSize size = display.MeasureText(plain, "Quorvin 42");
  ASSERT_GT(size.w, 40);
  ASSERT_GT(size.h, 10);
  FontSpec bold = plain;
  bold.bold = true;
  EXPECT_GT(display.MeasureText(bold, "Quorvin 42").w, size.w);

  SurfacePtr s = display.CreateSurface(200, 60);
  display.Fill(*s, Rect{0, 0, 200, 60}, 0xFFFFFF);
  display.DrawText(*s, 10, 12, "Quorvin 42", plain, kRed);
  bool outside = true;
  EXPECT_GT(Inked(*s, Rect{10, 12, size.w, size.h}, 0xFFFFFF, &outside), 30);
  EXPECT_FALSE(outside);
  // Anti-aliased edges blend into white; the strokes themselves are the asked red.
  int red = 0;
  for (int y = 12; y < 12 + size.h; ++y)
    for (int x = 10; x < 10 + size.w; ++x) red += s->PixelRGB(x, y) == 0xFF0000u;
  EXPECT_GT(red, 10);

  // A face the machine lacks falls back to another; UTF-8 beyond ASCII and broken UTF-8 draw.
  SurfacePtr t = display.CreateSurface(200, 60);
  const FontSpec unknown{"no such face at all", 14, false, true};
  display.DrawText(*t, 2, 2, "Größe \xff", unknown, kGreen);
  EXPECT_GT(Inked(*t, Rect{0, 0, 200, 60}, 0, &outside), 10);
  // Partly or wholly off the surface: clipped, no crash.
  display.DrawText(*t, -30, 50, "Quorvin", plain, kBlue);
  display.DrawText(*t, 500, 500, "Quorvin", plain, kBlue);
  EXPECT_EQ(display.MeasureText(FontSpec{"arial", 0}, "x").w, 0);
}

TEST(Win32DisplayTest, PicturesAreMadeWhenReadAndDamagedOnesAreRefused) {
  const std::vector<uint8_t> jpeg = SourceFile("tests/fuzz/corpus/jpeg_fuzz/icon.jpg");
  ASSERT_GT(jpeg.size(), 1000u);
  Win32Display display({.headless = true});
  DecodedPicture picture = display.DecodeJpeg(jpeg);
  ASSERT_TRUE(picture.surface) << picture.error;
  auto* surface = AsWin32(*picture.surface);
  ASSERT_TRUE(surface);
  EXPECT_EQ(surface->MadeRows(), 0);
  std::vector<uint32_t> whole(48 * 48);
  ASSERT_EQ(WicPictureCodec().Decode(jpeg.data(), jpeg.size(), whole.data(), 48 * 4, nullptr),
            PictureResult::Ok);
  for (int y = 0; y < 48; y += 5)
    for (int x = 0; x < 48; x += 3) ASSERT_EQ(picture.surface->PixelRGB(x, y), whole[y * 48 + x]);
  EXPECT_EQ(surface->MadeRows(), 48);

  std::vector<std::vector<uint8_t>> damaged = {
      std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + jpeg.size() / 2),
      std::vector<uint8_t>(300, 0xA5),
      {}};
  display.DecodeJpegs(damaged, [](size_t k, DecodedPicture p) {
    EXPECT_FALSE(p.surface) << k;
    EXPECT_FALSE(p.error.empty()) << k;
  });
}

// Events until `count` non-repaint ones arrived, or the bound of clock ticks passed.
std::vector<Event> Collect(Win32Events& events, size_t count) {
  std::vector<Event> got;
  events.SetTimer(kClockTimer, 20, true);
  for (int ticks = 0; got.size() < count && ticks < 500;) {
    Event e;
    events.WaitEvent(&e);
    if (e.type == EventType::TimerTick && e.timer == kClockTimer)
      ++ticks;
    else if (e.type != EventType::Repaint)
      got.push_back(e);
  }
  events.SetTimer(kClockTimer, 20, false);
  return got;
}

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(display_.OpenWindow(100, 80, 200, 150, "Quorvin").ok());
    display_.ShowWindow();
    ASSERT_TRUE(display_.window());
  }
  PresentationCounts counts_;
  Win32Display display_{{.counts = &counts_}};
  Win32Events events_{display_};
};

TEST_F(Win32WindowTest, ShowsThePresentedBackBufferOneChangedRectangleAtATime) {
  int left = 0, top = 0;
  display_.WindowPosition(&left, &top);
  EXPECT_EQ(left, 100);
  EXPECT_EQ(top, 80);
  SurfacePtr back = display_.CreateSurface(200, 150);
  display_.Fill(*back, Rect{0, 0, 200, 150}, kBlue);
  display_.Present(*back, true);
  display_.Flush();
  EXPECT_EQ(display_.WindowPixelRGB(5, 5), 0x0000FFu);
  EXPECT_EQ(display_.WindowPixelRGB(199, 149), 0x0000FFu);

  // A mark put on the window behind the display's back stays where nothing changed.
  HDC dc = GetDC(display_.window());
  RECT mark{150, 100, 160, 110};
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  FillRect(dc, &mark, white);
  DeleteObject(white);
  ReleaseDC(display_.window(), dc);
  ASSERT_EQ(display_.WindowPixelRGB(155, 105), 0xFFFFFFu);
  const uint64_t uploads = counts_.uploads;
  display_.Fill(*back, Rect{10, 10, 20, 20}, kGreen);
  display_.Present(*back, false);
  display_.Flush();
  EXPECT_EQ(counts_.uploads, uploads + 1);
  EXPECT_EQ(display_.WindowPixelRGB(15, 15), 0x00FF00u);
  EXPECT_EQ(display_.WindowPixelRGB(155, 105), 0xFFFFFFu);
  // Drawn but not presented: the window keeps what was presented.
  display_.Fill(*back, Rect{40, 40, 10, 10}, kRed);
  display_.Flush();
  EXPECT_EQ(display_.WindowPixelRGB(45, 45), 0x0000FFu);

  // A repaint of the window restores what was presented, and becomes a Repaint event.
  InvalidateRect(display_.window(), nullptr, FALSE);
  bool repainted = false;
  Event e;
  for (int k = 0; k < 1000 && !repainted; ++k)
    while (events_.PollEvent(&e)) repainted |= e.type == EventType::Repaint;
  EXPECT_TRUE(repainted);
  EXPECT_EQ(display_.WindowPixelRGB(155, 105), 0x0000FFu);
  EXPECT_EQ(display_.WindowPixelRGB(45, 45), 0x0000FFu);
}

TEST_F(Win32WindowTest, MouseMessagesBecomeEventsInTheOrderWindowsSendsThem) {
  HWND w = display_.window();
  PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(12, 34));
  PostMessageW(w, WM_LBUTTONUP, MK_SHIFT, MAKELPARAM(12, 34));
  PostMessageW(w, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(13, 35));
  PostMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(13, 35));
  PostMessageW(w, WM_RBUTTONDOWN, MK_RBUTTON | MK_CONTROL, MAKELPARAM(-5, 7));
  PostMessageW(w, WM_RBUTTONUP, MK_CONTROL, MAKELPARAM(-5, 7));
  PostMessageW(w, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(1, 2));
  PostMessageW(w, WM_CLOSE, 0, 0);
  const std::vector<Event> got = Collect(events_, 8);
  ASSERT_EQ(got.size(), 8u);
  const EventType types[8] = {
      EventType::PointerDown, EventType::PointerUp, EventType::DoubleClick, EventType::PointerUp,
      EventType::PointerDown, EventType::PointerUp, EventType::PointerDown, EventType::Quit};
  const int buttons[7] = {1, 1, 1, 1, 2, 2, 4};
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(got[k].type, types[k]) << k;
    if (k < 7) {
      EXPECT_EQ(got[k].button, buttons[k]) << k;
    }
  }
  EXPECT_EQ(got[0].shift, 1);
  EXPECT_EQ(got[0].x, 12.0f);
  EXPECT_EQ(got[0].y, 34.0f);
  EXPECT_EQ(got[2].x, 13.0f);
  EXPECT_EQ(got[2].shift, 0);
  EXPECT_EQ(got[4].shift, 2);
  EXPECT_EQ(got[4].x, -5.0f);
  EXPECT_TRUE(IsWindow(w));  // a close request is the program's to answer

  PostQuitMessage(0);
  const std::vector<Event> quit = Collect(events_, 1);
  ASSERT_EQ(quit.size(), 1u);
  EXPECT_EQ(quit[0].type, EventType::Quit);
}

TEST_F(Win32WindowTest, AnEnabledTimerTicksAndADisabledOneNever) {
  events_.SetTimer(kCpuTimer, 5, true);
  events_.SetTimer(kClockTimer, 5, true);
  events_.SetTimer(kClockTimer, 5, false);
  EXPECT_TRUE(events_.TimerEnabled(kCpuTimer));
  EXPECT_FALSE(events_.TimerEnabled(kClockTimer));
  int cpu = 0, clock = 0;
  for (int k = 0; k < 100000 && cpu < 3; ++k) {
    Event e;
    events_.WaitEvent(&e);
    if (e.type == EventType::TimerTick) (e.timer == kCpuTimer ? cpu : clock)++;
  }
  EXPECT_EQ(cpu, 3);
  EXPECT_EQ(clock, 0);
}

TEST(Win32EventsTest, HeadlessWaitWithoutTimersEndsAndPushedPointerMovesTheCursor) {
  Win32Display display({.headless = true});
  ASSERT_TRUE(display.OpenWindow(30, 40, 100, 100, "Quorvin").ok());
  EXPECT_FALSE(display.window());
  Win32Events events(display);
  Event down;
  down.type = EventType::PointerDown;
  down.x = 5;
  down.y = 6;
  events.PushEvent(down);
  int x = 0, y = 0;
  display.CursorPosition(&x, &y);
  EXPECT_EQ(x, 35);
  EXPECT_EQ(y, 46);
  Event e;
  events.WaitEvent(&e);
  EXPECT_EQ(e.type, EventType::PointerDown);
  events.WaitEvent(&e);
  EXPECT_EQ(e.type, EventType::Quit);
}

}  // namespace
}  // namespace qv
