#include "standin/oci/convert.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace standin::oci {

namespace {

bool startsWithNoCase(std::string_view s, size_t pos, std::string_view word) {
  if (s.size() - pos < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(s[pos + i])) != word[i]) return false;
  return true;
}

// Day of the week, 0 = Sunday (proleptic Gregorian calendar).
int weekday(int y, int m, int d) {
  static const int t[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (m < 3) y -= 1;
  int w = (y + y / 4 - y / 100 + y / 400 + t[(m - 1) % 12] + d) % 7;
  return w < 0 ? w + 7 : w;
}

int dayOfYear(int y, int m, int d) {
  static const int before[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return before[(m - 1) % 12] + d + (leap && m > 2 ? 1 : 0);
}

struct Writer {
  char* out;
  size_t cap;
  size_t n = 0;
  void put(char c) {
    if (n < cap) out[n] = c;
    ++n;
  }
  void digits(long v, int width, bool fill) {
    char tmp[24];
    bool neg = v < 0;
    unsigned long u = neg ? 0UL - static_cast<unsigned long>(v) : static_cast<unsigned long>(v);
    int len = 0;
    do {
      tmp[len++] = static_cast<char>('0' + u % 10);
      u /= 10;
    } while (u);
    if (neg) put('-');
    if (!fill)
      for (int i = len; i < width; ++i) put('0');
    while (len) put(tmp[--len]);
  }
  void word(const char* w, size_t take, int letterCase, size_t padTo) {
    size_t len = std::strlen(w);
    if (take < len) len = take;
    for (size_t i = 0; i < len; ++i) {
      char c = w[i];
      if (letterCase == 2 || (letterCase == 1 && i > 0))
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      put(c);
    }
    for (size_t i = len; i < padTo; ++i) put(' ');
  }
};

}  // namespace

void DateFormat::compile(std::string_view m) {
  tokens_.clear();
  literals_.clear();
  auto literal = [&](std::string_view text) {
    if (!tokens_.empty() && tokens_.back().kind == Kind::Literal &&
        tokens_.back().literalOffset + tokens_.back().literalLength == literals_.size()) {
      tokens_.back().literalLength =
          static_cast<uint16_t>(tokens_.back().literalLength + text.size());
    } else {
      tokens_.push_back({Kind::Literal, Case::Upper, static_cast<uint16_t>(literals_.size()),
                         static_cast<uint16_t>(text.size())});
    }
    literals_.insert(literals_.end(), text.begin(), text.end());
  };
  struct Word {
    const char* text;
    Kind kind;
  };
  static const Word words[] = {
      {"YYYY", Kind::Year4},         {"YYY", Kind::Year3},      {"YY", Kind::Year2},
      {"RRRR", Kind::Year4},         {"RR", Kind::Year2},       {"Y", Kind::Year1},
      {"MONTH", Kind::MonthName},    {"MON", Kind::MonthAbbr},  {"MM", Kind::Month2},
      {"MI", Kind::Minute},          {"DDD", Kind::DayOfYear},  {"DD", Kind::Day2},
      {"DAY", Kind::DayName},        {"DY", Kind::DayAbbr},     {"D", Kind::DayOfWeek},
      {"HH24", Kind::Hour24},        {"HH12", Kind::Hour12},    {"HH", Kind::Hour12},
      {"SSSSS", Kind::SecondsOfDay}, {"SS", Kind::Second},      {"A.M.", Kind::MeridianDots},
      {"P.M.", Kind::MeridianDots},  {"AM", Kind::Meridian},    {"PM", Kind::Meridian},
      {"FM", Kind::FillMode},        {"FX", Kind::FormatExact},
  };
  size_t i = 0;
  while (i < m.size()) {
    char c = m[i];
    if (c == '"') {
      size_t end = m.find('"', i + 1);
      if (end == std::string_view::npos) end = m.size();
      literal(m.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    bool matched = false;
    if (std::isalpha(static_cast<unsigned char>(c))) {
      for (const Word& w : words) {
        if (!startsWithNoCase(m, i, w.text)) continue;
        Case lc = Case::Upper;
        if (std::islower(static_cast<unsigned char>(c)))
          lc = Case::Lower;
        else if (i + 1 < m.size() && std::islower(static_cast<unsigned char>(m[i + 1])))
          lc = Case::Capital;
        tokens_.push_back({w.kind, lc, 0, 0});
        i += std::strlen(w.text);
        matched = true;
        break;
      }
    }
    if (!matched) {
      literal(m.substr(i, 1));
      ++i;
    }
  }
}

size_t DateFormat::format(const DateTime& d, char* out, size_t cap) const {
  Writer w{out, cap};
  bool fill = false;
  for (const Token& t : tokens_) {
    int lc = static_cast<int>(t.letterCase);
    switch (t.kind) {
      case Kind::Literal:
        for (uint16_t k = 0; k < t.literalLength; ++k) w.put(literals_[t.literalOffset + k]);
        break;
      case Kind::Year4:
        w.digits(d.year, 4, fill);
        break;
      case Kind::Year3:
        w.digits(std::abs(d.year) % 1000, 3, fill);
        break;
      case Kind::Year2:
        w.digits(std::abs(d.year) % 100, 2, fill);
        break;
      case Kind::Year1:
        w.digits(std::abs(d.year) % 10, 1, fill);
        break;
      case Kind::Month2:
        w.digits(d.month, 2, fill);
        break;
      case Kind::MonthAbbr:
        w.word(kMonthNames[(d.month + 11) % 12], 3, lc, 0);
        break;
      case Kind::MonthName:
        w.word(kMonthNames[(d.month + 11) % 12], 9, lc, fill ? 0 : 9);
        break;
      case Kind::Day2:
        w.digits(d.day, 2, fill);
        break;
      case Kind::DayOfYear:
        w.digits(dayOfYear(d.year, d.month, d.day), 3, fill);
        break;
      case Kind::DayOfWeek:
        w.digits(weekday(d.year, d.month, d.day) + 1, 1, fill);
        break;
      case Kind::DayAbbr:
        w.word(kDayNames[weekday(d.year, d.month, d.day)], 3, lc, 0);
        break;
      case Kind::DayName:
        w.word(kDayNames[weekday(d.year, d.month, d.day)], 9, lc, fill ? 0 : 9);
        break;
      case Kind::Hour12:
        w.digits(d.hour % 12 == 0 ? 12 : d.hour % 12, 2, fill);
        break;
      case Kind::Hour24:
        w.digits(d.hour, 2, fill);
        break;
      case Kind::Minute:
        w.digits(d.minute, 2, fill);
        break;
      case Kind::Second:
        w.digits(d.second, 2, fill);
        break;
      case Kind::SecondsOfDay:
        w.digits(d.hour * 3600 + d.minute * 60 + d.second, 5, fill);
        break;
      case Kind::Meridian:
        w.word(d.hour < 12 ? "AM" : "PM", 2, lc, 0);
        break;
      case Kind::MeridianDots:
        w.word(d.hour < 12 ? "A.M." : "P.M.", 4, lc, 0);
        break;
      case Kind::FillMode:
        fill = !fill;
        break;
      case Kind::FormatExact:  // only matters when text is read as a date
        break;
    }
  }
  return w.n < cap ? w.n : cap;
}

size_t formatNumber(std::string_view s, char decimalChar, char* out, size_t cap) {
  Writer w{out, cap};
  size_t i = 0;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    if (s[0] == '-') w.put('-');
    i = 1;
  }
  // Oracle writes no zero before the decimal point of a number below one.
  if (i + 1 < s.size() && s[i] == '0' && s[i + 1] == '.') ++i;
  for (; i < s.size(); ++i) w.put(s[i] == '.' ? decimalChar : s[i]);
  return w.n < cap ? w.n : cap;
}

size_t encodeNumber(std::string_view s, unsigned char out[21]) {
  bool negative = false;
  size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  char digits[64];
  int nd = 0;
  int pointPos = -1;  // number of digits before the decimal point
  bool any = false;
  int exp10 = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      any = true;
      if (nd == 0 && c == '0') {
        if (pointPos >= 0) --exp10;  // leading zero after the point
        continue;
      }
      if (nd < 60) digits[nd++] = c;
      if (pointPos < 0) ++exp10;
    } else if (c == '.') {
      if (pointPos >= 0) return 0;
      pointPos = nd;
    } else if (c == 'e' || c == 'E') {
      int e = 0;
      size_t at = i + 1;
      if (at < s.size() && s[at] == '+') ++at;
      if (at >= s.size()) return 0;
      auto r = std::from_chars(s.data() + at, s.data() + s.size(), e);
      if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return 0;
      exp10 += e;
      break;
    } else {
      return 0;
    }
  }
  if (!any) return 0;
  while (nd > 0 && digits[nd - 1] == '0') --nd;
  if (nd == 0) {
    out[0] = 128;
    return 1;
  }
  // value = 0.d1d2... x 10^exp10; make the exponent even for base-100 pairs.
  char pairs[66];
  int np = 0;
  if (exp10 % 2 != 0) {
    pairs[np++] = '0';
    exp10 += 1;
  }
  for (int k = 0; k < nd; ++k) pairs[np++] = digits[k];
  if (np % 2) pairs[np++] = '0';
  int exp100 = exp10 / 2;
  int mantissa = np / 2;
  if (mantissa > 20) mantissa = 20;
  if (exp100 + 64 > 127 || exp100 + 64 < 0) return 0;
  unsigned char expByte = static_cast<unsigned char>(0x80 | (exp100 + 64));
  size_t n = 0;
  out[n++] = negative ? static_cast<unsigned char>(~expByte) : expByte;
  for (int k = 0; k < mantissa; ++k) {
    int v = (pairs[2 * k] - '0') * 10 + (pairs[2 * k + 1] - '0');
    out[n++] = static_cast<unsigned char>(negative ? 101 - v : v + 1);
  }
  if (negative && mantissa < 20) out[n++] = 102;
  return n;
}

void encodeDate(const DateTime& d, unsigned char out[7]) {
  int century = d.year / 100;
  int year = d.year % 100;
  if (d.year < 0) {
    century = -((-d.year) / 100);
    year = -((-d.year) % 100);
  }
  out[0] = static_cast<unsigned char>(century + 100);
  out[1] = static_cast<unsigned char>(year + 100);
  out[2] = static_cast<unsigned char>(d.month);
  out[3] = static_cast<unsigned char>(d.day);
  out[4] = static_cast<unsigned char>(d.hour + 1);
  out[5] = static_cast<unsigned char>(d.minute + 1);
  out[6] = static_cast<unsigned char>(d.second + 1);
}

bool parseNumber(std::string_view text, double& value) {
  size_t b = 0, e = text.size();
  while (b < e && text[b] == ' ') ++b;
  while (e > b && text[e - 1] == ' ') --e;
  if (b == e) return false;
  const char* first = text.data() + b;
  if (*first == '+') ++first;
  auto r = std::from_chars(first, text.data() + e, value);
  return r.ec == std::errc() && r.ptr == text.data() + e;
}

}  // namespace standin::oci
