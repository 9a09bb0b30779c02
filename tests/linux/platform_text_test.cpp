// Text on the SDL display: measured widths hold what is drawn, and drawing done only when its
// pixels are needed gives the same pictures as text rendered at once.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/linux/LinuxPlatform.h"
#include "platform/sdl/SdlDisplay.h"

namespace qv {
namespace {

const FontSpec kRegular{"arial", 12, false, false};
const FontSpec kBold{"arial", 16, true, false};
const FontSpec kItalic{"times new roman", 11, false, true};

// Each script draws on `back` (and may use `other`), with a patterned picture to copy from.
struct Scene {
  Display& d;
  Surface& back;
  Surface& other;
  Surface& picture;
};
using Script = std::function<void(Scene&)>;

struct Drawn {
  std::vector<uint32_t> back, other, window;
};

Drawn Run(bool defer, const Script& script) {
  SdlDisplay d(LinuxDisplayOptions({.headless = true, .deferDrawing = defer}));
  const Status opened = d.OpenWindow(0, 0, 240, 120, "Quorvin");
  EXPECT_TRUE(opened.ok()) << opened.message();
  SurfacePtr back = d.CreateSurface(240, 120);
  SurfacePtr other = d.CreateSurface(240, 120);
  SurfacePtr picture = d.CreateSurface(64, 64);
  for (int i = 0; i < 64; i += 8) d.Fill(*picture, Rect{i, 0, 4, 64}, Color(0x203040 + i * 3));
  d.Fill(*back, Rect{0, 0, 240, 120}, 0x102030);
  Scene scene{d, *back, *other, *picture};
  script(scene);
  // Only what was drawn is uploaded: the window must still come out as the back buffer.
  d.Present(*back, false);
  d.Flush();
  Drawn out;
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 240; ++x) {
      out.window.push_back(d.WindowPixelRGB(x, y));
      out.back.push_back(back->PixelRGB(x, y));
      out.other.push_back(other->PixelRGB(x, y));
    }
  }
  return out;
}

void ExpectSamePictures(const Script& script) {
  Drawn now = Run(false, script);
  Drawn later = Run(true, script);
  EXPECT_EQ(now.window, now.back);
  EXPECT_EQ(now.back, later.back);
  EXPECT_EQ(now.other, later.other);
  EXPECT_EQ(now.window, later.window);
}

int LitPixels(const std::vector<uint32_t>& pixels, uint32_t background) {
  int n = 0;
  for (uint32_t p : pixels) n += p != background;
  return n;
}

TEST(DeferredDrawing, CoveredOverlappedAndDisjointTextLookAsDrawnAtOnce) {
  // Covering: a rewritten text box, as a status line shows name after name.
  ExpectSamePictures([](Scene& s) {
    for (int i = 0; i < 50; ++i) {
      s.d.StretchCopy(s.back, Rect{10, 10, 200, 24}, s.picture, Rect{0, 0, 200, 24});
      s.d.DrawText(s.back, 14, 12, "C:\\Music\\Album " + std::to_string(i), kRegular, 0xFFFFFF);
    }
  });
  // Overlapping: a fill through the middle of a text, text over text, an outline across both.
  ExpectSamePictures([](Scene& s) {
    s.d.DrawText(s.back, 5, 5, "Overlapping text", kBold, 0x00FFFF);
    s.d.Fill(s.back, Rect{30, 0, 20, 40}, 0x404040);
    s.d.DrawText(s.back, 12, 9, "Second line", kItalic, 0xFF00FF);
    s.d.Outline(s.back, Rect{0, 8, 120, 10}, 0x00FF00);
    s.d.DrawText(s.back, 20, 12, "Third", kRegular, 0x80FF80);
  });
  // Disjoint: texts and fills side by side, one text partly outside the surface.
  ExpectSamePictures([](Scene& s) {
    s.d.DrawText(s.back, 5, 5, "Left", kRegular, 0xFFFFFF);
    s.d.Fill(s.back, Rect{100, 0, 30, 30}, 0x808080);
    s.d.DrawText(s.back, 200, 100, "Off the edge", kBold, 0xFFFF00);
    s.d.DrawText(s.back, -10, 60, "Cut on the left", kRegular, 0xFFFFFF);
    s.d.Fill(s.back, Rect{0, 90, 50, 10}, 0x404040);
  });
}

TEST(DeferredDrawing, CopiesReadPendingTextAndClippedCopiesKeepIt) {
  ExpectSamePictures([](Scene& s) {
    // Copies from a surface with pending text, scaled and within the surface itself.
    s.d.DrawText(s.other, 2, 2, "Source text", kBold, 0xFFFFFF);
    s.d.StretchCopy(s.back, Rect{0, 0, 120, 30}, s.other, Rect{0, 0, 120, 30});
    s.d.StretchCopy(s.back, Rect{0, 40, 240, 60}, s.other, Rect{0, 0, 120, 30});
    s.d.DrawText(s.back, 10, 100, "Moved", kRegular, 0xFF8000);
    s.d.StretchCopy(s.back, Rect{100, 95, 60, 20}, s.back, Rect{5, 95, 60, 20});
    // A copy whose source reaches past the picture writes less than its rectangle: the text
    // under the part left out stays.
    s.d.DrawText(s.back, 150, 5, "Kept", kBold, 0xFFFFFF);
    s.d.StretchCopy(s.back, Rect{120, 0, 100, 40}, s.picture, Rect{10, 40, 100, 40});
    s.d.DrawText(s.back, 150, 50, "Kept too", kRegular, 0xFFFFFF);
    s.d.StretchCopy(s.back, Rect{120, 45, 120, 30}, s.picture, Rect{-30, 0, 120, 30});
  });
}

TEST(DeferredDrawing, RandomDrawingLooksAsDrawnAtOnce) {
  const char* const words[] = {"a",
                               "Wave",
                               "C:\\Backup\\Disc 07\\Track 12.mp3",
                               "100%",
                               "\xc3\x9c"
                               "bersicht",
                               "j.f.T.Y"};
  const FontSpec fonts[] = {kRegular, kBold, kItalic};
  for (unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
    SCOPED_TRACE(seed);
    ExpectSamePictures([&](Scene& s) {
      std::mt19937 rnd(seed);
      auto pick = [&](int n) { return int(rnd() % unsigned(n)); };
      for (int i = 0; i < 300; ++i) {
        Surface& target = pick(5) == 0 ? s.other : s.back;
        Rect r{pick(260) - 10, pick(140) - 10, pick(90) + 1, pick(40) + 1};
        switch (pick(7)) {
          case 0:
          case 1:
            s.d.DrawText(target, r.x, r.y, words[pick(6)], fonts[pick(3)], Color(rnd() & 0xFFFFFF));
            break;
          case 2:
            s.d.Fill(target, r, Color(rnd() & 0xFFFFFF));
            break;
          case 3:
            s.d.Outline(target, r, Color(rnd() & 0xFFFFFF));
            break;
          case 4:
            s.d.StretchCopy(target, r, s.picture, Rect{pick(40), pick(40), r.w, r.h});
            break;
          case 5:
            // The picture changes after copies from it may still be waiting.
            s.d.Fill(s.picture, Rect{pick(64), pick(64), pick(16) + 1, pick(16) + 1},
                     Color(rnd() & 0xFFFFFF));
            break;
          default:
            s.d.StretchCopy(target, r, pick(2) ? s.other : s.back,
                            Rect{pick(200), pick(100), pick(60) + 1, pick(30) + 1});
        }
        if (pick(20) == 0) s.d.Present(s.back, false);
      }
    });
  }
}

TEST(DeferredDrawing, ManySmallChangesFarApartAllReachTheWindow) {
  ExpectSamePictures([](Scene& s) {
    for (int i = 0; i < 40; ++i) {
      s.d.Fill(s.back, Rect{(i * 37) % 230, (i * 53) % 110, 2, 2}, Color(0x10000 * i + 0x40));
      if (i % 13 == 0) s.d.Present(s.back, false);
    }
  });
}

TEST(DeferredDrawing, SurfacesKeepTheirTextAndNeverInheritAnother) {
  SurfacePtr kept;
  {
    SdlDisplay d(LinuxDisplayOptions({.headless = true}));
    kept = d.CreateSurface(100, 30);
    d.DrawText(*kept, 2, 2, "Stays", kBold, 0xFFFFFF);
    for (int i = 0; i < 20; ++i) {
      // Pending text on a surface that goes must not land on one made later at its address.
      SurfacePtr gone = d.CreateSurface(100, 30);
      d.DrawText(*gone, 2, 2, "Gone", kBold, 0xFFFFFF);
      gone.reset();
      SurfacePtr fresh = d.CreateSurface(100, 30);
      std::vector<uint32_t> pixels;
      for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 100; ++x) pixels.push_back(fresh->PixelRGB(x, y));
      ASSERT_EQ(LitPixels(pixels, 0), 0);
    }
  }
  // The display has gone; the text drawn before is in the surface.
  std::vector<uint32_t> pixels;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 100; ++x) pixels.push_back(kept->PixelRGB(x, y));
  EXPECT_GT(LitPixels(pixels, 0), 50);
}

TEST(TextMetrics, DrawnTextStaysInsideItsMeasuredBox) {
  const std::string texts[] = {
      "C:\\tmp\\Album 003\\Disc 12\\Track 05.mp3",
      "WAVE AVA Type fi ffi jjj ...",
      "T.Y.V.A.W.",
      "\xc3\x9c"
      "berpr\xc3\xbc"
      "fung \xc3\x84"
      "pfel \xc3\x9f",                                    // accents above the caps
      "\xd9\x85\xd8\xb1\xd8\xad\xd8\xa8\xd8\xa7 Arabic",  // needs shaping
      "e\xcc\x81t\xcc\x81"
      "e combined",               // combining accents
      "\xff\xfe(broken\xe2\x82",  // not UTF-8
      "tab\there",
  };
  const size_t inked = 4;  // the texts before this one have ink in every font used
  SdlDisplay d(LinuxDisplayOptions({.headless = true}));
  for (const FontSpec& font : {kRegular, kBold, kItalic, FontSpec{"arial", 8, false, false}}) {
    for (size_t k = 0; k < std::size(texts); ++k) {
      const std::string& text = texts[k];
      SCOPED_TRACE(font.name + " " + std::to_string(font.size) + ": " + text);
      TextSize size = d.MeasureText(font, text);
      ASSERT_GT(size.w, 0);
      ASSERT_GT(size.h, 0);
      // Right-aligned against the surface's edge, as a right-aligned text box places it.
      SurfacePtr s = d.CreateSurface(size.w + 40, size.h + 40);
      const int x = s->Width() - 20 - size.w, y = 20;
      d.DrawText(*s, x, y, text, font, 0xFFFFFF);
      int lit = 0, outside = 0, leftmost = s->Width(), rightmost = -1;
      for (int py = 0; py < s->Height(); ++py) {
        for (int px = 0; px < s->Width(); ++px) {
          if (s->PixelRGB(px, py) == 0) continue;
          bool inside = px >= x && px < x + size.w && py >= y && py < y + size.h;
          (inside ? lit : outside)++;
          leftmost = std::min(leftmost, px);
          rightmost = std::max(rightmost, px);
        }
      }
      EXPECT_GT(lit, 20);
      EXPECT_EQ(outside, 0);
      if (k < inked) {
        // No wide margin either: the box is the text's, not an estimate.
        EXPECT_LE(leftmost - x, 3);
        EXPECT_LE(x + size.w - 1 - rightmost, 4);
      }
    }
  }
}

TEST(TextMetrics, AWidthIsTheSameAloneAndInAShortenedLine) {
  // Shortening measures many cuts of one text; each cut must measure as it is drawn alone.
  SdlDisplay d(LinuxDisplayOptions({.headless = true}));
  const std::string text = "C:\\Backup\\Music\\Album 003\\Disc 12\\Track 05.mp3";
  for (size_t cut = 0; cut < text.size(); ++cut) {
    const std::string t = text.substr(cut) + "...";
    TextSize once = d.MeasureText(kRegular, t);
    TextSize again = d.MeasureText(kRegular, t);
    EXPECT_EQ(once.w, again.w);
    if (cut > 0) {
      EXPECT_LE(once.w, d.MeasureText(kRegular, text.substr(cut - 1) + "...").w);
    }
  }
}

}  // namespace
}  // namespace qv
