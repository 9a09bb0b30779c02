#include "probe/Json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/common/Utf8.h"

namespace probe {

Json& Json::Add(Json value) {
  items_.push_back(std::move(value));
  return items_.back();
}

Json& Json::Set(std::string key, Json value) {
  members_.emplace_back(std::move(key), std::move(value));
  return members_.back().second;
}

namespace {

template <typename T>
std::string ShortestFloat(T v) {
  if (!std::isfinite(v)) return "null";
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  std::string s(buf, r.ptr);
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

}  // namespace

std::string JsonQuote(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t len = qv::Utf8Sequence(text, i);
    if (len == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (len > 1) {
      out.append(text, i, len);
      i += len;
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  out += '"';
  return out;
}

std::string JsonFloat(float v) {
  return ShortestFloat(v);
}
std::string JsonDouble(double v) {
  return ShortestFloat(v);
}

bool Json::Flat() const {
  for (const Json& item : items_)
    if (item.kind_ == Kind::Array || item.kind_ == Kind::Object) return false;
  return true;
}

void Json::Write(std::string* out, int indent) const {
  const std::string pad(static_cast<size_t>(indent) * 2, ' ');
  const std::string inner(static_cast<size_t>(indent + 1) * 2, ' ');
  switch (kind_) {
    case Kind::Null:
      *out += "null";
      break;
    case Kind::Bool:
      *out += bool_ ? "true" : "false";
      break;
    case Kind::Integer:
      *out += std::to_string(int_);
      break;
    case Kind::Float:
      *out += JsonFloat(static_cast<float>(double_));
      break;
    case Kind::Double:
      *out += JsonDouble(double_);
      break;
    case Kind::String:
      *out += JsonQuote(string_);
      break;
    case Kind::Array:
      if (items_.empty()) {
        *out += "[]";
      } else if (Flat()) {
        *out += '[';
        for (size_t i = 0; i < items_.size(); ++i) {
          if (i) *out += ", ";
          items_[i].Write(out, indent + 1);
        }
        *out += ']';
      } else {
        *out += "[\n";
        for (size_t i = 0; i < items_.size(); ++i) {
          *out += inner;
          items_[i].Write(out, indent + 1);
          *out += i + 1 < items_.size() ? ",\n" : "\n";
        }
        *out += pad + "]";
      }
      break;
    case Kind::Object:
      if (members_.empty()) {
        *out += "{}";
        break;
      }
      *out += "{\n";
      for (size_t i = 0; i < members_.size(); ++i) {
        *out += inner + JsonQuote(members_[i].first) + ": ";
        members_[i].second.Write(out, indent + 1);
        *out += i + 1 < members_.size() ? ",\n" : "\n";
      }
      *out += pad + "}";
      break;
  }
}

std::string Json::Dump() const {
  std::string out;
  Write(&out, 0);
  out += '\n';
  return out;
}

}  // namespace probe
