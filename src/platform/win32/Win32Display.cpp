#include "platform/win32/Win32Display.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <utility>

#include "platform/common/CheckedPictures.h"
#include "platform/common/LineMetrics.h"
#include "platform/common/NearestStretch.h"
#include "platform/win32/WicPictureCodec.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Surface.h"

namespace qv {
namespace {

constexpr wchar_t kWindowClass[] = L"QuorvinWindow";

// Text the core hands over is UTF-8; a broken sequence shows as U+FFFD rather than as nothing.
std::wstring WideOf(const std::string& utf8) {
  std::wstring wide;
  if (utf8.empty() || ToWide(utf8, &wide)) return wide;
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  wide.resize(size_t(std::max(n, 0)));
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), n);
  return wide;
}

uint32_t PixelOf(Color c) {
  return (c & 0xFF) << 16 | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

}  // namespace

uint64_t Win32Display::NowMs() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    return QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? f.QuadPart : 0;
  }();
  LARGE_INTEGER now;
  if (!frequency || !QueryPerformanceCounter(&now)) return GetTickCount64();
  return uint64_t(now.QuadPart / frequency * 1000 + now.QuadPart % frequency * 1000 / frequency);
}

Win32Display::Win32Display(Win32DisplayOptions options)
    : options_(std::move(options)),
      counts_(options_.counts ? *options_.counts : ownCounts_),
      memory_(CreateCompatibleDC(nullptr)) {
  if (!options_.codec) options_.codec = std::make_shared<WicPictureCodec>();
  if (options_.pictureChecks)
    checked_ = std::make_unique<PictureCheckCache>(options_.pictureChecks,
                                                   options_.codec->CheckIdentity());
}

Win32Display::~Win32Display() {
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  for (auto& entry : fonts_)
    if (entry.second.font) DeleteObject(entry.second.font);
  if (memory_) DeleteDC(memory_);
}

LRESULT CALLBACK Win32Display::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    static_cast<Win32Display*>(create->lpCreateParams)->window_ = hwnd;
  }
  auto* self = reinterpret_cast<Win32Display*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->OnMessage(message, wParam, lParam);
}

LRESULT Win32Display::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) Paint();
  if (hook_ && hook_(message, wParam, lParam)) return 0;
  if (message == WM_PAINT) return 0;
  // The window is only ever closed by the program: a close request is an event.
  if (message == WM_CLOSE) return 0;
  if (message == WM_ERASEBKGND) return 1;  // the back buffer covers every pixel
  return DefWindowProcW(window_, message, wParam, lParam);
}

void Win32Display::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window_, &paint);
  if (!dc) return;
  if (shown_ && shown_->ok()) {
    const RECT& r = paint.rcPaint;
    HGDIOBJ old = SelectObject(memory_, shown_->bitmap());
    BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, memory_, r.left, r.top, SRCCOPY);
    SelectObject(memory_, old);
  }
  EndPaint(window_, &paint);
}

Status Win32Display::OpenWindow(int left, int top, int width, int height,
                                const std::string& caption) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  windowLeft_ = left;
  windowTop_ = top;
  auto shown = std::make_unique<Dib>(width, height);
  if (!shown->ok())
    return Status::Error("no memory for a window of " + std::to_string(width) + " x " +
                         std::to_string(height));
  // What was shown stays where the new size still has room for it.
  if (shown_ && shown_->ok()) {
    const PixelRows from = shown_->rows();
    StretchPixels(from, Rect{0, 0, from.width, from.height}, shown->rows(),
                  Rect{0, 0, from.width, from.height});
  }
  shown_ = std::move(shown);
  if (options_.headless) return Status::Ok();
  std::wstring title = WideOf(caption);
  if (window_) {
    SetWindowTextW(window_, title.c_str());
    SetWindowPos(window_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    return Status::Ok();
  }
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  if (!GetClassInfoExW(instance, kWindowClass, &windowClass)) {
    windowClass = WNDCLASSEXW{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = &Win32Display::WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&windowClass))
      return Status::Error("cannot register the window class: " + SystemMessage(GetLastError()));
  }
  window_ = CreateWindowExW(0, kWindowClass, title.c_str(), WS_POPUP, left, top, width, height,
                            nullptr, nullptr, instance, this);
  if (!window_) return Status::Error(SystemMessage(GetLastError()));
  return Status::Ok();
}

void Win32Display::ShowWindow() {
  if (!window_) return;
  ::ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOWNORMAL);
  // The settings decide where the window is, whatever the system chose on showing it.
  SetWindowPos(window_, nullptr, windowLeft_, windowTop_, 0, 0,
               SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
  UpdateWindow(window_);
}

void Win32Display::MinimizeWindow() {
  if (window_) ::ShowWindow(window_, SW_MINIMIZE);
}

void Win32Display::WindowPosition(int* left, int* top) const {
  *left = windowLeft_;
  *top = windowTop_;
  RECT r;
  if (window_ && !IsIconic(window_) && GetWindowRect(window_, &r)) {
    *left = r.left;
    *top = r.top;
  }
}

void Win32Display::DisplaySize(int* width, int* height) const {
  *width = 0;
  *height = 0;
  HMONITOR monitor = window_ ? MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY)
                             : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (monitor && GetMonitorInfoW(monitor, &info)) {
    *width = info.rcMonitor.right - info.rcMonitor.left;
    *height = info.rcMonitor.bottom - info.rcMonitor.top;
    return;
  }
  *width = GetSystemMetrics(SM_CXSCREEN);
  *height = GetSystemMetrics(SM_CYSCREEN);
}

void Win32Display::CursorPosition(int* x, int* y) const {
  *x = cursorX_;
  *y = cursorY_;
  POINT p;
  if (!options_.headless && GetCursorPos(&p)) {
    *x = p.x;
    *y = p.y;
  }
}

void Win32Display::MoveCursor(int screenX, int screenY) {
  cursorX_ = screenX;
  cursorY_ = screenY;
  if (!options_.headless) SetCursorPos(screenX, screenY);
}

SurfacePtr Win32Display::CreateSurface(int width, int height) {
  return std::make_shared<Win32Surface>(width, height);
}

namespace {

DecodedPicture LazyPictureOf(DecodedPixels checked, std::vector<uint8_t> data,
                             const std::shared_ptr<const PictureCodec>& codec) {
  return PictureOf(std::move(checked), [&](int width, int height, bool intact) {
    return std::make_shared<Win32Surface>(width, height, std::move(data), codec, intact);
  });
}

}  // namespace

DecodedPicture Win32Display::DecodeJpeg(const std::vector<uint8_t>& data) {
  return LazyPictureOf(CheckPicture(*options_.codec, checked_.get(), data), data, options_.codec);
}

void Win32Display::DecodeJpegs(std::vector<std::vector<uint8_t>> data,
                               const std::function<void(size_t, DecodedPicture)>& done) {
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  CheckPictures(*options_.codec, checked_.get(), std::move(data), threads,
                [&](size_t k, DecodedPixels checked, std::vector<uint8_t> bytes) {
                  done(k, LazyPictureOf(std::move(checked), std::move(bytes), options_.codec));
                });
}

void Win32Display::StretchCopy(Surface& dst, const Rect& dstRect, const Surface& src,
                               const Rect& srcRect) {
  Win32Surface* d = AsWin32(dst);
  const Win32Surface* s = AsWin32(src);
  if (!d || !s || dstRect.Empty() || srcRect.Empty()) return;
  // A row more on each side: stretching may look at the neighbours of the edge rows.
  const std::shared_ptr<Dib> from = s->dibRows(srcRect.y - 1, srcRect.y + srcRect.h + 1);
  const std::shared_ptr<Dib>& to = d->dib();
  if (!from || !to) return;
  if (from == to) {
    // A copy within one surface could read pixels it has already overwritten.
    const PixelRows rows = from->rows();
    std::vector<uint32_t> copy(size_t(rows.width) * rows.height);
    std::memcpy(copy.data(), rows.pixels, copy.size() * 4);
    StretchPixels(PixelRows{copy.data(), rows.width, rows.height, rows.width * 4}, srcRect, rows,
                  dstRect);
  } else {
    StretchPixels(from->rows(), srcRect, to->rows(), dstRect);
  }
  d->MarkDirty(dstRect);
}

void Win32Display::Fill(Surface& dst, const Rect& r, Color c) {
  Win32Surface* d = AsWin32(dst);
  if (!d || r.Empty()) return;
  const std::shared_ptr<Dib>& dib = d->dib();
  if (!dib) return;
  const PixelRows rows = dib->rows();
  const Rect box = Intersect(r, Rect{0, 0, rows.width, rows.height});
  if (box.Empty()) return;
  const uint32_t pixel = PixelOf(c);
  for (int y = box.y; y < box.y + box.h; ++y) {
    uint32_t* row = rows.pixels + size_t(y) * rows.width + box.x;
    std::fill(row, row + box.w, pixel);
  }
  d->MarkDirty(box);
}

namespace {

// A big-endian number of a table of the font selected into `dc`.
bool FontTableNumber(HDC dc, DWORD table, DWORD offset, bool isSigned, int* value) {
  uint8_t bytes[2];
  if (GetFontData(dc, table, offset, bytes, 2) != 2) return false;
  const int raw = bytes[0] << 8 | bytes[1];
  *value = isSigned && raw >= 0x8000 ? raw - 0x10000 : raw;
  return true;
}

constexpr DWORD Tag(char a, char b, char c, char d) {
  return DWORD(uint8_t(a)) | DWORD(uint8_t(b)) << 8 | DWORD(uint8_t(c)) << 16 |
         DWORD(uint8_t(d)) << 24;
}

}  // namespace

const Win32Display::Font& Win32Display::FontOf(const FontSpec& wanted) {
  static const Font kNone{};
  if (wanted.size <= 0 || !memory_) return kNone;
  auto key = std::make_tuple(wanted.name, wanted.size, wanted.bold, wanted.italic);
  auto found = fonts_.find(key);
  if (found != fonts_.end()) return found->second;
  std::wstring name = WideOf(wanted.name);
  name.resize(std::min<size_t>(name.size(), LF_FACESIZE - 1));
  Font& font = fonts_[key];  // failures too, so that a missing font is asked for once
  // Points at 96 dots per inch, as the character's em height (negative: not the cell's).
  font.font = CreateFontW(-MulDiv(wanted.size, 96, 72), 0, 0, 0, wanted.bold ? FW_BOLD : FW_NORMAL,
                          wanted.italic ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                          OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                          DEFAULT_PITCH | FF_DONTCARE, name.c_str());
  if (!font.font) return font;
  HGDIOBJ old = SelectObject(memory_, font.font);
  // GDI rounds a line's ascent to the nearest pixel where SDL_ttf rounds it up: from the face's
  // own metrics the baseline lands on the row the Linux display puts it on.
  int ascender = 0, descender = 0, unitsPerEm = 0;
  TEXTMETRICW metrics{};
  const bool gdi = GetTextMetricsW(memory_, &metrics);
  font.ascent = gdi ? metrics.tmAscent : 0;
  font.height = gdi ? metrics.tmHeight : 0;
  if (FontTableNumber(memory_, Tag('h', 'h', 'e', 'a'), 4, true, &ascender) &&
      FontTableNumber(memory_, Tag('h', 'h', 'e', 'a'), 6, true, &descender) &&
      FontTableNumber(memory_, Tag('h', 'e', 'a', 'd'), 18, false, &unitsPerEm) && unitsPerEm > 0 &&
      ascender > descender) {
    const LineMetrics line = ScaledLineMetrics(ascender, descender, unitsPerEm, wanted.size);
    font.ascent = line.ascent;
    // SDL_ttf's box grows where glyphs reach below the line; GDI's descent covers them.
    font.height = std::max(line.height, line.ascent + (gdi ? int(metrics.tmDescent) : 0));
  }
  SelectObject(memory_, old);
  return font;
}

TextSize Win32Display::MeasureText(const FontSpec& wanted, const std::string& utf8) {
  const Font& font = FontOf(wanted);
  if (!font.font) return TextSize{};
  const std::wstring wide = WideOf(utf8);
  HGDIOBJ old = SelectObject(memory_, font.font);
  SIZE size{};
  const BOOL ok = GetTextExtentPoint32W(memory_, wide.c_str(), int(wide.size()), &size);
  SelectObject(memory_, old);
  return ok ? TextSize{int(size.cx), font.height} : TextSize{};
}

void Win32Display::DrawText(Surface& dst, int x, int y, const std::string& utf8,
                            const FontSpec& wanted, Color c) {
  Win32Surface* d = AsWin32(dst);
  if (!d || utf8.empty()) return;
  const Font& font = FontOf(wanted);
  if (!font.font) return;
  const TextSize size = MeasureText(wanted, utf8);
  const Rect box = Intersect(Rect{x, y, size.w, size.h}, Rect{0, 0, d->Width(), d->Height()});
  if (box.Empty()) return;
  const std::shared_ptr<Dib>& dib = d->dib();
  if (!dib) return;
  const std::wstring wide = WideOf(utf8);
  HGDIOBJ oldBitmap = SelectObject(memory_, dib->bitmap());
  HGDIOBJ oldFont = SelectObject(memory_, font.font);
  SetBkMode(memory_, TRANSPARENT);
  SetTextColor(memory_, RGB(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
  SetTextAlign(memory_, TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
  TextOutW(memory_, x, y + font.ascent, wide.c_str(), int(wide.size()));
  SelectObject(memory_, oldFont);
  SelectObject(memory_, oldBitmap);
  // The pixels are read directly next: GDI must be done with them.
  GdiFlush();
  // Slanted and overhanging glyphs reach past the advance GDI measures.
  const int margin = size.h / 4 + 1;
  d->MarkDirty(Rect{x - margin, y, size.w + 2 * margin, size.h});
}

void Win32Display::Present(Surface& back, bool full) {
  ++counts_.presents;
  Win32Surface* b = AsWin32(back);
  if (!b || !b->dib()) return;
  if (full) {
    b->ClearDirty();
    b->MarkDirty(Rect{0, 0, b->Width(), b->Height()});
  }
  if (b->Dirty().Empty()) return;
  if (pending_ && pending_ != b->dib()) Upload();
  pending_ = b->dib();
  pendingRegion_.Add(b->Dirty());
  b->ClearDirty();
  if (pacing_.Due(NowMs())) Upload();
}

void Win32Display::Flush() {
  if (pending_) Upload();
}

void Win32Display::FlushIfDue() {
  if (pending_ && pacing_.Due(NowMs())) Upload();
}

void Win32Display::Upload() {
  std::shared_ptr<Dib> from = std::move(pending_);
  const DirtyRegion region = std::exchange(pendingRegion_, DirtyRegion{});
  pending_.reset();
  if (!from || !shown_ || !shown_->ok()) return;
  const PixelRows to = shown_->rows();
  std::vector<Rect> copied;
  for (const Rect& r : region.rects) {
    const Rect box = Intersect(Intersect(r, Rect{0, 0, to.width, to.height}),
                               Rect{0, 0, from->rows().width, from->rows().height});
    if (box.Empty()) continue;
    StretchPixels(from->rows(), box, to, box);
    copied.push_back(box);
  }
  if (copied.empty()) return;
  if (window_) {
    HDC dc = GetDC(window_);
    if (dc) {
      HGDIOBJ old = SelectObject(memory_, shown_->bitmap());
      for (const Rect& r : copied) BitBlt(dc, r.x, r.y, r.w, r.h, memory_, r.x, r.y, SRCCOPY);
      SelectObject(memory_, old);
      ReleaseDC(window_, dc);
    }
  }
  ++counts_.uploads;
  pacing_.Uploaded(NowMs());
}

uint32_t Win32Display::WindowPixelRGB(int x, int y) const {
  if (!shown_ || !shown_->ok()) return 0;
  const PixelRows rows = shown_->rows();
  if (x < 0 || y < 0 || x >= rows.width || y >= rows.height) return 0;
  if (window_) {
    // What reached the window, not what the display meant to show.
    HDC dc = GetDC(window_);
    const COLORREF c = dc ? GetPixel(dc, x, y) : CLR_INVALID;
    if (dc) ReleaseDC(window_, dc);
    if (c == CLR_INVALID) return 0;
    return uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c);
  }
  return rows.pixels[size_t(y) * rows.width + x] & 0xFFFFFF;
}

}  // namespace qv
