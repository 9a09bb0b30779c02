#include "platform/linux/LocaleClock.h"

#include <langinfo.h>
#include <time.h>

#include <cctype>
#include <vector>

namespace qv {

namespace {

struct Token {
  bool conversion;
  std::string text;  // "%-d", "%OB", or literal text
  char kind = 0;     // conversion letter
};

std::vector<Token> Tokenize(const std::string& format) {
  std::vector<Token> tokens;
  for (size_t i = 0; i < format.size();) {
    if (format[i] == '%' && i + 1 < format.size()) {
      size_t j = i + 1;
      while (j < format.size() && std::string("_-0^#").find(format[j]) != std::string::npos) ++j;
      while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j]))) ++j;
      if (j < format.size() && (format[j] == 'E' || format[j] == 'O')) ++j;
      if (j >= format.size()) break;
      tokens.push_back({true, format.substr(i, j + 1 - i), format[j]});
      i = j + 1;
      continue;
    }
    size_t j = i;
    while (j < format.size() && format[j] != '%') ++j;
    if (j == i) j = i + 1;
    if (!tokens.empty() && !tokens.back().conversion)
      tokens.back().text += format.substr(i, j - i);
    else
      tokens.push_back({false, format.substr(i, j - i)});
    i = j;
  }
  return tokens;
}

std::string Join(const std::vector<Token>& tokens) {
  std::string s;
  for (const Token& t : tokens) s += t.text;
  return s;
}

// The shorthands spelt out, so that their parts can be taken apart.
std::string Expand(const std::string& format, const std::string& ampm, const std::string& date) {
  std::string out;
  for (const Token& t : Tokenize(format)) {
    if (t.conversion && t.kind == 'T')
      out += "%H:%M:%S";
    else if (t.conversion && t.kind == 'R')
      out += "%H:%M";
    else if (t.conversion && t.kind == 'r')
      out += ampm.empty() ? "%I:%M:%S %p" : ampm;
    else if (t.conversion && t.kind == 'D')
      out += "%m/%d/%y";
    else if (t.conversion && t.kind == 'F')
      out += "%Y-%m-%d";
    else if (t.conversion && t.kind == 'x')
      out += date;
    else
      out += t.text;
  }
  return out;
}

bool IsTimeConversion(char kind) {
  return std::string("HIklMSpPrRTXZzs").find(kind) != std::string::npos;
}

bool IsSeparator(const std::string& text) {
  for (char c : text)
    if (c != ':' && c != '.' && c != ' ') return false;
  return !text.empty();
}

std::string CollapseBlanks(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == ',')) out.pop_back();
  return out;
}

}  // namespace

std::string TimeFormatWithoutSeconds(const std::string& timeFormat) {
  std::vector<Token> tokens = Tokenize(Expand(timeFormat, "", ""));
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (!tokens[i].conversion || tokens[i].kind != 'S') continue;
    if (i > 0 && IsSeparator(tokens[i - 1].text) && !tokens[i - 1].conversion) {
      // "%M:%S %p": the separator goes with the seconds, the blank before %p stays.
      std::string& sep = tokens[i - 1].text;
      const bool blankAfter =
          i + 1 < tokens.size() && !tokens[i + 1].conversion && tokens[i + 1].text[0] == ' ';
      sep = blankAfter || sep.find(' ') == std::string::npos ? "" : " ";
      tokens.erase(tokens.begin() + static_cast<long>(i));
    } else {
      // A unit after the seconds ("%S秒") goes with them, up to a blank.
      tokens.erase(tokens.begin() + static_cast<long>(i));
      if (i < tokens.size() && !tokens[i].conversion) {
        const size_t blank = tokens[i].text.find(' ');
        tokens[i].text = blank == std::string::npos ? "" : tokens[i].text.substr(blank);
      }
    }
    break;
  }
  return CollapseBlanks(Join(tokens));
}

std::string LongDateFormat(const std::string& dateTimeFormat) {
  std::vector<Token> tokens = Tokenize(Expand(dateTimeFormat, "", "%m/%d/%y"));
  std::vector<Token> kept;
  auto dropped = [&](size_t i) {
    return i < tokens.size() && tokens[i].conversion && IsTimeConversion(tokens[i].kind);
  };
  for (size_t i = 0; i < tokens.size(); ++i) {
    Token& t = tokens[i];
    if (dropped(i)) continue;
    if (!t.conversion && i > 0 && dropped(i - 1)) {
      // What follows a time field belongs to it (":", "時"), up to a blank; between two time
      // fields all of it.
      const size_t blank = t.text.find(' ');
      t.text = blank == std::string::npos || dropped(i + 1) ? "" : t.text.substr(blank);
    }
    if (t.conversion && t.kind == 'a') t.text = "%A";
    if (t.conversion && (t.kind == 'b' || t.kind == 'h')) t.text = "%B";
    if (t.conversion && (t.kind == 'e' || t.kind == 'd')) t.text = "%-d";
    kept.push_back(t);
  }
  return CollapseBlanks(Join(kept));
}

LocaleClock::LocaleClock(locale_t locale) : locale_(locale ? locale : duplocale(LC_GLOBAL_LOCALE)) {
  if (!locale_) locale_ = newlocale(LC_ALL_MASK, "C", nullptr);
  auto info = [&](nl_item item, const char* fallback) {
    const char* v = locale_ ? nl_langinfo_l(item, locale_) : nullptr;
    return std::string(v && *v ? v : fallback);
  };
  const std::string ampm = info(T_FMT_AMPM, "%I:%M:%S %p");
  shortDate_ = info(D_FMT, "%m/%d/%y");
  longTime_ = Expand(info(T_FMT, "%H:%M:%S"), ampm, shortDate_);
  shortTime_ = TimeFormatWithoutSeconds(longTime_);
#ifdef _DATE_FMT
  // The form date(1) prints: nearer to how the locale writes a date than D_T_FMT.
  const std::string dateTime = info(_DATE_FMT, info(D_T_FMT, "%a %b %e %H:%M:%S %Y").c_str());
#else
  const std::string dateTime = info(D_T_FMT, "%a %b %e %H:%M:%S %Y");
#endif
  longDate_ = LongDateFormat(Expand(dateTime, ampm, shortDate_));
}

LocaleClock::~LocaleClock() {
  if (locale_) freelocale(locale_);
}

struct tm TmOf(const LocalTime& t) {
  struct tm tm {};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_wday = t.weekday;
  tm.tm_isdst = -1;
  return tm;
}

std::string LocaleClock::Strftime(const std::string& format, const LocalTime& t) const {
  const struct tm tm = TmOf(t);
  char buf[512];
  const size_t n = locale_ ? strftime_l(buf, sizeof buf, format.c_str(), &tm, locale_)
                           : strftime(buf, sizeof buf, format.c_str(), &tm);
  return std::string(buf, n);
}

std::string LocaleClock::MonthName(int month) const {
  LocalTime t;
  t.month = month;
  return Strftime("%OB", t);
}

std::string LocaleClock::WeekdayName(int weekday) const {
  LocalTime t;
  t.weekday = weekday;
  return Strftime("%A", t);
}

std::string LocaleClock::Format(const LocalTime& t, DateTimeForm form) const {
  switch (form) {
    case DateTimeForm::LongTime:
      return Strftime(longTime_, t);
    case DateTimeForm::ShortTime:
      return Strftime(shortTime_, t);
    case DateTimeForm::LongDate:
      return CollapseBlanks(Strftime(longDate_, t));
    case DateTimeForm::ShortDate:
      return Strftime(shortDate_, t);
  }
  return std::string();
}

}  // namespace qv
