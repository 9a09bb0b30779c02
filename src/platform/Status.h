// How the platform answers a request that can fail: either done, or failed with the reason in
// words that may be shown to the user.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace qv {

class Status {
 public:
  static Status Ok() { return Status(); }
  // An empty message still fails; it just has nothing to tell.
  static Status Error(std::string message) { return Status(std::move(message)); }

  bool ok() const { return ok_; }
  // Empty when ok.
  const std::string& message() const { return message_; }

 private:
  Status() = default;
  explicit Status(std::string message) : ok_(false), message_(std::move(message)) {}

  bool ok_ = true;
  std::string message_;
};

// A value, or the failed Status that says why there is none.
template <typename T>
class Result {
 public:
  Result(T value) : value_(std::move(value)), status_(Status::Ok()) {}  // NOLINT: implicit
  // `failed` must not be ok; an ok one given here still counts as a failure without a reason.
  Result(Status failed)  // NOLINT: implicit
      : status_(failed.ok() ? Status::Error("") : std::move(failed)) {}

  bool ok() const { return value_.has_value(); }
  const Status& status() const { return status_; }
  const std::string& message() const { return status_.message(); }

  // Only when ok.
  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T value_or(T fallback) const& { return value_ ? *value_ : std::move(fallback); }
  T value_or(T fallback) && { return value_ ? std::move(*value_) : std::move(fallback); }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace qv
