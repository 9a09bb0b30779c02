#include "platform/common/PictureDecoder.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

namespace qv {

DecodedPixels DecodePixels(const PictureCodec& codec, const std::vector<uint8_t>& data) {
  DecodedPixels out;
  int width = 0, height = 0;
  if (!codec.Dimensions(data.data(), data.size(), &width, &height, &out.message)) return out;
  // Not zeroed: a complete picture has every pixel written, and a second pass over each
  // picture's megabytes would show when a screen is first drawn.
  std::unique_ptr<uint32_t[]> pixels(new (std::nothrow) uint32_t[size_t(width) * height]);
  if (!pixels) {
    out.message = "Out of memory";
    return out;
  }
  out.result = codec.Decode(data.data(), data.size(), pixels.get(), width * 4, &out.message);
  if (out.result == PictureResult::Partial) {
    // A damaged file can stop the decoder before it wrote every pixel (a progressive one before
    // it wrote any): decode again onto zeros, so that what it left out is black, not old memory.
    std::fill_n(pixels.get(), size_t(width) * height, 0u);
    out.result = codec.Decode(data.data(), data.size(), pixels.get(), width * 4, &out.message);
  }
  if (out.result == PictureResult::Failed) return out;
  out.width = width;
  out.height = height;
  out.pixels = std::move(pixels);
  return out;
}

DecodedPixels CheckPixels(const PictureCodec& codec, const std::vector<uint8_t>& data,
                          bool knownIntact) {
  DecodedPixels out;
  int width = 0, height = 0;
  if (!codec.Dimensions(data.data(), data.size(), &width, &height, &out.message)) return out;
  out.result =
      knownIntact ? PictureResult::Ok : codec.Check(data.data(), data.size(), &out.message);
  if (out.result == PictureResult::Failed) return out;
  out.width = width;
  out.height = height;
  return out;
}

namespace {

// The workers take pictures in index order from `next_` and leave each result in its slot,
// where the calling thread picks it up in turn.
class Batch {
 public:
  Batch(size_t count, const std::function<DecodedPixels(size_t)>& job) : job_(job), slots_(count) {}
  ~Batch() {
    stop_.store(true);
    for (std::thread& t : workers_) t.join();
  }
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

  // Returns how many workers run; fewer than asked when the system refuses more threads.
  size_t Start(unsigned threads) {
    workers_.reserve(threads);
    for (unsigned i = 0; i < threads; ++i) {
      try {
        workers_.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {
        break;
      }
    }
    return workers_.size();
  }

  DecodedPixels Take(size_t k) {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return slots_[k].finished; });
    Slot& slot = slots_[k];
    if (slot.failure) std::rethrow_exception(slot.failure);
    return std::move(slot.pixels);
  }

 private:
  struct Slot {
    bool finished = false;
    DecodedPixels pixels;
    std::exception_ptr failure;  // an exception would end the process on a worker
  };

  void Work() {
    while (!stop_.load()) {
      const size_t k = next_.fetch_add(1);
      if (k >= slots_.size()) return;
      Slot slot;
      try {
        slot.pixels = job_(k);
      } catch (...) {
        slot.failure = std::current_exception();
      }
      slot.finished = true;
      {
        std::lock_guard lock(mutex_);
        slots_[k] = std::move(slot);
      }
      ready_.notify_one();
    }
  }

  const std::function<DecodedPixels(size_t)>& job_;
  std::atomic<size_t> next_{0};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<Slot> slots_;
  std::vector<std::thread> workers_;
};

}  // namespace

void DecodeInOrder(const PictureCodec& codec, const std::vector<std::vector<uint8_t>>& data,
                   unsigned threads, const std::function<void(size_t, DecodedPixels)>& done,
                   bool checkOnly, const std::vector<bool>* knownIntact) {
  const size_t n = data.size();
  if (n == 0) return;
  const std::function<DecodedPixels(size_t)> job = [&](size_t k) {
    if (!checkOnly) return DecodePixels(codec, data[k]);
    return CheckPixels(codec, data[k], knownIntact && k < knownIntact->size() && (*knownIntact)[k]);
  };
  Batch batch(n, job);
  if (batch.Start(static_cast<unsigned>(std::min<size_t>(threads, n))) == 0) {
    for (size_t k = 0; k < n; ++k) done(k, job(k));
    return;
  }
  // An exception from `done` or from a worker leaves through ~Batch, which joins the workers.
  for (size_t k = 0; k < n; ++k) done(k, batch.Take(k));
}

}  // namespace qv
