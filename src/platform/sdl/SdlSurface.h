// Surfaces of the Linux display: SDL software surfaces in one pixel format (XRGB8888), and skin
// pictures whose pixels are decoded when first needed, a band of rows at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Display.h"
#include "platform/common/DirtyRegion.h"
#include "platform/common/LazyPicture.h"
#include "platform/common/PictureCodec.h"
#include "platform/common/PictureDecoder.h"

struct SDL_Surface;

namespace qv {

class DrawQueue;

Rect Bounds(const SDL_Surface* s);
// 0x00RRGGBB of a pixel of any 8..32-bit surface; 0 outside it.
uint32_t ReadPixel(SDL_Surface* s, int x, int y);
// An SDL surface of the display's format over `pixels` (width * 4 bytes a row), or null.
SDL_Surface* SurfaceOver(void* pixels, int width, int height);

// The changed rectangle since the surface was last presented is kept with it.
class SdlSurface : public Surface {
 public:
  // `queue` holds drawings on this surface not yet done; reads do them first. `pixels`, when
  // given, is the buffer `s` was made on; it is freed with the surface.
  explicit SdlSurface(SDL_Surface* s, std::weak_ptr<DrawQueue> queue = {},
                      std::shared_ptr<void> pixels = nullptr);
  // A picture whose data was checked with `codec` but not decoded yet (LazyPicture).
  SdlSurface(int width, int height, std::vector<uint8_t> data,
             std::shared_ptr<const PictureCodec> codec, std::weak_ptr<DrawQueue> queue,
             bool intact = false);
  int Width() const override;
  int Height() const override;
  uint32_t PixelRGB(int x, int y) const override;

  SDL_Surface* sdl() const { return shared().get(); }
  // Shared so that a pending presentation keeps the pixels alive.
  const std::shared_ptr<SDL_Surface>& shared() const { return sharedRows(0, height_); }
  // The same where only rows [top, bottom) will be read.
  const std::shared_ptr<SDL_Surface>& sharedRows(int top, int bottom) const {
    if (picture_ && !picture_->Whole()) MakePixels(top, bottom);
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

  mutable std::shared_ptr<SDL_Surface> surface_;
  std::weak_ptr<DrawQueue> queue_;
  int width_ = 0;
  int height_ = 0;
  mutable std::unique_ptr<LazyPicture> picture_;
  DirtyRegion dirty_;
};

SdlSurface* AsSdl(Surface& s);
const SdlSurface* AsSdl(const Surface& s);

// A checked picture whose pixels are decoded when first needed.
DecodedPicture DeferredPictureOf(DecodedPixels checked, std::vector<uint8_t> data,
                                 const std::shared_ptr<const PictureCodec>& codec,
                                 const std::shared_ptr<DrawQueue>& queue);

}  // namespace qv
