// A skin picture checked with its codec but not decoded yet: its pixels are made when first
// needed. A skin has dozens of full-window pictures and a session shows a few of them; of the
// pressed and disabled looks it shows a few buttons, so where the data was found intact and has
// bands (PictureCodec::FindBands) only the rows asked for are made.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/common/PictureCodec.h"

namespace qv {

class LazyPicture {
 public:
  struct Buffer {
    uint32_t* pixels = nullptr;
    int pitch = 0;  // bytes a row
  };
  // A zeroed buffer for the whole picture, which the caller owns; {} when there is no memory.
  using Allocate = std::function<Buffer()>;

  LazyPicture(int width, int height, std::vector<uint8_t> data,
              std::shared_ptr<const PictureCodec> codec, bool intact);

  // Makes rows [top, bottom) where not made yet, into the buffer `allocate` gave the first time.
  // False when the picture cannot be made after all (no memory): its buffer is to be dropped.
  bool Make(int top, int bottom, const Allocate& allocate);
  bool Whole() const { return data_.empty(); }
  // Rows made so far (all of them once it is whole and was made), for tests.
  int MadeRows() const;

 private:
  bool MakeBands(int first, int last);
  void Finish();

  int width_ = 0;
  int height_ = 0;
  std::vector<uint8_t> data_;  // not decoded yet, or not all of it
  std::shared_ptr<const PictureCodec> codec_;
  bool intact_ = false;
  Buffer buffer_;
  bool failed_ = false;
  std::unique_ptr<PictureBands> bands_;  // while made a band at a time
  std::vector<bool> bandMade_;
};

}  // namespace qv
