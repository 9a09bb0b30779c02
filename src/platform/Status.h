// Results that carry their reason: a failure says why, where it happens, instead of a flag whose
// reason is asked for later.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace qv {

class Status {
 public:
  static Status Ok() { return Status(); }
  static Status Error(std::string message) {
    Status s;
    s.failed_ = true;
    s.message_ = std::move(message);
    return s;
  }
  bool ok() const { return !failed_; }
  const std::string& message() const { return message_; }
  explicit operator bool() const { return ok(); }

 private:
  bool failed_ = false;
  std::string message_;
};

// A value, or the failure that kept it from being had.
template <class T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}             // NOLINT: a value converts
  Result(Status status) : status_(std::move(status)) {      // NOLINT: so does a failure
    if (status_.ok()) status_ = Status::Error("no value");  // an Ok status holds nothing
  }
  bool ok() const { return status_.ok(); }
  // Only when ok().
  const T& value() const { return *value_; }
  T& value() { return *value_; }
  const Status& status() const { return status_; }
  explicit operator bool() const { return ok(); }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace qv
