#include "core/Convert.h"

#include <charconv>
#include <cmath>

#include "core/ProfileString.h"

namespace qv {

double RoundHalfEven(double v) {
  const double f = std::floor(v);
  const double diff = v - f;
  if (diff < 0.5) return f;
  if (diff > 0.5) return f + 1.0;
  return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}

bool ParseDecimal(const std::string& text, double* value) {
  const std::string t = Trim(text);
  if (t.empty()) return false;
  size_t i = 0;
  if (t[i] == '+' || t[i] == '-') ++i;
  bool digits = false;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
    ++i;
    digits = true;
  }
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
      ++i;
      digits = true;
    }
  }
  if (!digits || i != t.size()) return false;
  // from_chars reads "." whatever the user's locale (strtod would stop at it in de_DE).
  const size_t from = t[0] == '+' ? 1 : 0;
  double v = 0;
  const auto [end, error] =
      std::from_chars(t.data() + from, t.data() + t.size(), v, std::chars_format::fixed);
  if (error != std::errc() || end != t.data() + t.size() || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

bool ParseInt16(const std::string& text, int16_t* value) {
  double d;
  if (!ParseDecimal(text, &d)) return false;
  d = RoundHalfEven(d);
  if (d < -32768.0 || d > 32767.0) return false;
  *value = static_cast<int16_t>(d);
  return true;
}

bool ParseBool(const std::string& text, bool* value) {
  const std::string t = LowerCase(Trim(text));
  if (t == "true") {
    *value = true;
    return true;
  }
  if (t == "false") {
    *value = false;
    return true;
  }
  double d;
  if (!ParseDecimal(t, &d)) return false;
  *value = d != 0.0;
  return true;
}

std::string PlainDecimal(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  const double rounded = RoundHalfEven(value * scale) / scale;
  // to_chars writes "." whatever the user's locale, as the figures' forms require.
  char buf[400];
  const auto [end, error] =
      std::to_chars(buf, buf + sizeof buf, rounded, std::chars_format::fixed, decimals);
  if (error != std::errc()) return "0";
  std::string text(buf, end);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  return text;
}

}  // namespace qv
