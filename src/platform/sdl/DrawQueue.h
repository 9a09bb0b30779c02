// Drawing waiting to be done, per surface. Drawing only records; a later opaque write that hides
// a drawing drops it, so a text box rewritten many times a frame is drawn once. Pixels are made
// when somebody looks at them: a read, a copy from the surface, an upload to the window.
#pragma once

#include <SDL.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Display.h"

typedef struct _TTF_Font TTF_Font;

namespace qv {

class GlyphCache;

struct PendingText {
  int x = 0;
  int y = 0;
  std::string utf8;
  TTF_Font* font = nullptr;
  Color color = 0;
};

// One drawing waiting to be done on a surface.
struct PendingOp {
  enum class Kind { Copy, Fill, Text } kind = Kind::Fill;
  Rect box;             // what it may change, clipped to the surface
  bool opaque = false;  // replaces every pixel of box
  std::shared_ptr<SDL_Surface> from;
  SDL_Rect sr{}, dr{};
  uint32_t pixel = 0;
  PendingText text;
};

class DrawQueue {
 public:
  // With `defer` false every drawing is done at once (tests compare both ways).
  DrawQueue(GlyphCache& glyphs, bool defer) : glyphs_(glyphs), defer_(defer) {}

  void Enqueue(SDL_Surface* s, PendingOp op);
  // Does what is pending on `s`, in order.
  void Settle(SDL_Surface* s);
  void SettleAll();
  // `s` is freed: nothing left to draw, and its address may come back.
  void Forget(SDL_Surface* s) { pending_.erase(s); }

  // A surface nobody looks at must not gather drawings without end.
  static constexpr size_t kMaxPendingOps = 512;

 private:
  void Draw(SDL_Surface* target, PendingOp& op);

  GlyphCache& glyphs_;
  bool defer_;
  std::unordered_map<SDL_Surface*, std::vector<PendingOp>> pending_;
};

}  // namespace qv
