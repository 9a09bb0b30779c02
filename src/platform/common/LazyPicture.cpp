#include "platform/common/LazyPicture.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <utility>

namespace qv {

LazyPicture::LazyPicture(int width, int height, std::vector<uint8_t> data,
                         std::shared_ptr<const PictureCodec> codec, bool intact)
    : width_(width),
      height_(height),
      data_(std::move(data)),
      codec_(std::move(codec)),
      intact_(intact) {}

bool LazyPicture::Make(int top, int bottom, const Allocate& allocate) {
  if (failed_) return false;
  if (data_.empty()) return true;
  if (!buffer_.pixels) {
    // The data was checked when the picture was made; should memory run out now, the picture
    // stays empty and nothing is drawn from it.
    buffer_ = allocate();
    if (!buffer_.pixels) {
      failed_ = true;
      data_ = {};
      return false;
    }
    std::unique_ptr<PictureBands> bands;
    if (intact_) bands = codec_->FindBands(data_.data(), data_.size());
    if (bands && bands->count > 0 && bands->bandRows > 0 && bands->width == width_ &&
        bands->height == height_) {
      bandMade_.assign(size_t(bands->count), false);
      bands_ = std::move(bands);
    }
  }
  if (!bands_) {
    // Onto zeros: what a damaged file leaves out is black.
    if (codec_->Decode(data_.data(), data_.size(), buffer_.pixels, buffer_.pitch, nullptr) ==
        PictureResult::Failed)
      failed_ = true;
    Finish();
    return !failed_;
  }
  const int rows = bands_->bandRows;
  const int first = std::clamp(top, 0, height_) / rows;
  const int last = (std::clamp(bottom, 0, height_) + rows - 1) / rows;
  for (int k = first; k < last;) {
    if (bandMade_[k]) {
      ++k;
      continue;
    }
    int end = k + 1;
    while (end < last && !bandMade_[end]) ++end;
    if (!MakeBands(k, end)) {
      // Should the bands not decode as the whole did when checked, the whole decides.
      codec_->Decode(data_.data(), data_.size(), buffer_.pixels, buffer_.pitch, nullptr);
      bandMade_.assign(bandMade_.size(), true);
      break;
    }
    std::fill(bandMade_.begin() + k, bandMade_.begin() + end, true);
    k = end;
  }
  if (std::all_of(bandMade_.begin(), bandMade_.end(), [](bool made) { return made; })) Finish();
  return true;
}

void LazyPicture::Finish() {
  data_ = {};
  bands_.reset();
  bandMade_ = {};
}

bool LazyPicture::MakeBands(int first, int last) {
  // Out of memory for a band's data: the whole decides, as for any other failed band.
  auto decode = [&](int a, int b) noexcept {
    try {
      return codec_->DecodeBands(data_.data(), data_.size(), *bands_, a, b, buffer_.pixels,
                                 buffer_.pitch, nullptr) == PictureResult::Ok;
    } catch (...) {
      return false;
    }
  };
  // A whole picture on two processors: the lower half on a thread of its own.
  const int middle = (first + last) / 2;
  bool lower = false;
  std::thread helper;
  if (last - first >= 16 && std::thread::hardware_concurrency() > 1) {
    try {
      helper = std::thread([&] { lower = decode(middle, last); });
    } catch (const std::system_error&) {
      // No thread to spare: one after the other.
    }
  }
  if (!helper.joinable()) return decode(first, last);
  const bool upper = decode(first, middle);
  helper.join();
  return upper && lower;
}

int LazyPicture::MadeRows() const {
  if (failed_) return 0;
  if (data_.empty()) return height_;
  if (!bands_) return 0;
  int made = 0;
  for (size_t k = 0; k < bandMade_.size(); ++k)
    if (bandMade_[k])
      made += std::min(bands_->bandRows, height_ - static_cast<int>(k) * bands_->bandRows);
  return made;
}

}  // namespace qv
