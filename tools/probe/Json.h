// A small JSON document builder for the probe's state dump: object keys keep their insertion
// order, and the text is written with stable formatting so that dumps can be compared.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace probe {

class Json {
 public:
  enum class Kind { Null, Bool, Integer, Float, Double, String, Array, Object };

  Json() = default;
  Json(std::nullptr_t) {}
  Json(bool b) : kind_(Kind::Bool), bool_(b) {}
  template <typename T>
  requires(std::is_integral_v<T> && !std::is_same_v<T, bool>) Json(T v)
      : kind_(Kind::Integer), int_(static_cast<int64_t>(v)) {}
  Json(float v) : kind_(Kind::Float), double_(v) {}
  Json(double v) : kind_(Kind::Double), double_(v) {}
  Json(const char* s) : kind_(Kind::String), string_(s) {}
  Json(std::string s) : kind_(Kind::String), string_(std::move(s)) {}

  static Json Array() { return Json(Kind::Array); }
  static Json Object() { return Json(Kind::Object); }

  // Appends to an array.
  Json& Add(Json value);
  // Appends a member to an object (keys are not checked for duplicates).
  Json& Set(std::string key, Json value);

  Kind kind() const { return kind_; }

  // Two-space indentation; arrays that hold no array or object stay on one line.
  std::string Dump() const;

 private:
  explicit Json(Kind k) : kind_(k) {}
  void Write(std::string* out, int indent) const;
  bool Flat() const;

  Kind kind_ = Kind::Null;
  bool bool_ = false;
  int64_t int_ = 0;
  double double_ = 0;
  std::string string_;
  std::vector<Json> items_;
  std::vector<std::pair<std::string, Json>> members_;
};

// A JSON string literal. UTF-8 is kept as it is; control characters are escaped, and bytes that
// are no valid UTF-8 become U+FFFD so that the document stays valid.
std::string JsonQuote(const std::string& text);

// Shortest text that reads back to the same value; integral values keep a ".0"; not finite: null.
std::string JsonFloat(float v);
std::string JsonDouble(double v);

}  // namespace probe
