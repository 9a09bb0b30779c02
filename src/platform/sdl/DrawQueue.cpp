#include "platform/sdl/DrawQueue.h"

#include <algorithm>

#include "platform/sdl/GlyphCache.h"
#include "platform/sdl/SdlSurface.h"

namespace qv {

void DrawQueue::Draw(SDL_Surface* target, PendingOp& op) {
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
      glyphs_.Render(target, op.text.x, op.text.y, op.text.utf8, op.text.font, op.text.color);
      break;
  }
}

void DrawQueue::Enqueue(SDL_Surface* s, PendingOp op) {
  // What is about to change must first be read by the drawings still waiting to copy from it.
  for (auto it = pending_.begin(); it != pending_.end();) {
    SDL_Surface* other = it->first;
    const bool reads =
        other != s && std::any_of(it->second.begin(), it->second.end(),
                                  [s](const PendingOp& o) { return o.from.get() == s; });
    ++it;
    if (reads) {
      Settle(other);
      it = pending_.begin();  // settling changed the map
    }
  }
  if (!defer_) {
    Settle(s);
    Draw(s, op);
    return;
  }
  std::vector<PendingOp>& ops = pending_[s];
  if (op.opaque && !op.box.Empty()) {
    ops.erase(std::remove_if(ops.begin(), ops.end(),
                             [&](const PendingOp& o) { return Contains(op.box, o.box); }),
              ops.end());
  }
  ops.push_back(std::move(op));
  if (ops.size() >= kMaxPendingOps) Settle(s);
}

void DrawQueue::Settle(SDL_Surface* s) {
  auto found = pending_.find(s);
  if (found == pending_.end()) return;
  std::vector<PendingOp> ops = std::move(found->second);
  pending_.erase(found);
  for (PendingOp& op : ops) Draw(s, op);
}

void DrawQueue::SettleAll() {
  while (!pending_.empty()) Settle(pending_.begin()->first);
}

}  // namespace qv
