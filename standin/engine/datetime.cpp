// DATE values: the canonical stored text, Oracle date format models, session NLS settings.
#include <cctype>
#include <cstdio>
#include <ctime>

#include "standin/engine/internal.h"

namespace standin {
namespace {

bool leap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}
int daysIn(int y, int m) {
  static const int n[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : n[m - 1];
}

enum class El {
  Literal,
  Quoted,
  YYYY,
  YYY,
  YY,
  Y,
  RRRR,
  RR,
  MONTH,
  MON,
  MM,
  DDD,
  DD,
  DAY,
  DY,
  D,
  HH24,
  HH12,
  HH,
  MI,
  SSSSS,
  SS,
  AM,
  PM,
  FM,
  FX,
};
struct Element {
  El el;
  std::string text;  // literal text, or the element as written (for case of names)
};

std::vector<Element> parseFormat(std::string_view f) {
  static const std::pair<const char*, El> names[] = {
      {"YYYY", El::YYYY}, {"RRRR", El::RRRR},   {"MONTH", El::MONTH}, {"HH24", El::HH24},
      {"HH12", El::HH12}, {"SSSSS", El::SSSSS}, {"YYY", El::YYY},     {"MON", El::MON},
      {"DDD", El::DDD},   {"DAY", El::DAY},     {"A.M.", El::AM},     {"P.M.", El::PM},
      {"YY", El::YY},     {"RR", El::RR},       {"MM", El::MM},       {"DD", El::DD},
      {"DY", El::DY},     {"HH", El::HH},       {"MI", El::MI},       {"SS", El::SS},
      {"AM", El::AM},     {"PM", El::PM},       {"FM", El::FM},       {"FX", El::FX},
      {"Y", El::Y},       {"D", El::D},
  };
  std::vector<Element> out;
  size_t i = 0;
  while (i < f.size()) {
    char c = f[i];
    if (c == '"') {
      size_t close = f.find('"', i + 1);
      if (close == std::string_view::npos) raise(1821);
      out.push_back({El::Quoted, std::string(f.substr(i + 1, close - i - 1))});
      i = close + 1;
      continue;
    }
    if (std::isalpha(static_cast<unsigned char>(c))) {
      bool found = false;
      for (const auto& [name, el] : names) {
        size_t len = std::char_traits<char>::length(name);
        if (i + len > f.size()) continue;
        bool match = true;
        for (size_t k = 0; k < len; ++k) {
          if (std::toupper(static_cast<unsigned char>(f[i + k])) != name[k]) match = false;
        }
        if (match) {
          out.push_back({el, std::string(f.substr(i, len))});
          i += len;
          found = true;
          break;
        }
      }
      if (!found) raise(1821);
      continue;
    }
    if (std::isdigit(static_cast<unsigned char>(c))) raise(1821);
    out.push_back({El::Literal, std::string(1, c)});
    ++i;
  }
  return out;
}

// Case of a name element follows the case of its first two letters: "MON" gives "JAN", "Mon"
// "Jan", "mon" "jan"; points do not count ("A.M." gives "P.M.").
std::string caseName(const std::string& upper, const std::string& written) {
  std::string letters;
  for (char c : written)
    if (std::isalpha(static_cast<unsigned char>(c))) letters += c;
  bool first = letters.size() > 0 && std::isupper(static_cast<unsigned char>(letters[0]));
  bool second = letters.size() > 1 ? std::isupper(static_cast<unsigned char>(letters[1])) : first;
  std::string s = upper;
  bool seenLetter = false;
  for (char& c : s) {
    if (!std::isalpha(static_cast<unsigned char>(c))) continue;
    if (!seenLetter ? !first : !second) c = static_cast<char>(std::tolower(c));
    seenLetter = true;
  }
  return s;
}

int weekday(const DateTime& d) {  // 0 = Sunday
  // 0001-01-01 was a Monday.
  return static_cast<int>((dayNumber(d.year, d.month, d.day) + 1) % 7);
}

}  // namespace

int64_t dayNumber(int y, int m, int d) {
  // Days since 0001-01-01 in the proleptic Gregorian calendar.
  int64_t yy = y - 1;
  int64_t n = yy * 365 + yy / 4 - yy / 100 + yy / 400;
  for (int k = 1; k < m; ++k) n += daysIn(y, k);
  return n + d - 1;
}

void fromDayNumber(int64_t n, int& y, int& m, int& d) {
  y = static_cast<int>(n / 366) + 1;
  while (dayNumber(y + 1, 1, 1) <= n) ++y;
  n -= dayNumber(y, 1, 1);
  m = 1;
  while (n >= daysIn(y, m)) n -= daysIn(y, m++);
  d = static_cast<int>(n) + 1;
}

bool validDate(const DateTime& d) {
  return d.year >= 1 && d.year <= 9999 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
         d.day <= daysIn(d.year, d.month) && d.hour >= 0 && d.hour < 24 && d.minute >= 0 &&
         d.minute < 60 && d.second >= 0 && d.second < 60;
}

bool parseDateText(std::string_view t, DateTime& o) {
  if (t.size() < kDateTextLen) return false;
  auto num = [&](size_t at, size_t len, int& out) {
    out = 0;
    for (size_t k = at; k < at + len; ++k) {
      if (t[k] < '0' || t[k] > '9') return false;
      out = out * 10 + (t[k] - '0');
    }
    return true;
  };
  if (t[4] != '-' || t[7] != '-' || t[10] != ' ' || t[13] != ':' || t[16] != ':') return false;
  if (t.size() > kDateTextLen && t[kDateTextLen] != '.') return false;
  return num(0, 4, o.year) && num(5, 2, o.month) && num(8, 2, o.day) && num(11, 2, o.hour) &&
         num(14, 2, o.minute) && num(17, 2, o.second) && validDate(o);
}

std::string dateText(const DateTime& d) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour,
                d.minute, d.second);
  return buf;
}

DateTime nowLocal() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

void checkDateFormat(std::string_view format) {
  parseFormat(format);
}

DateTime toDate(std::string_view in, std::string_view format) {
  DateTime now = nowLocal();
  DateTime r{now.year, now.month, 1, 0, 0, 0};
  int hour12 = -1;
  bool pm = false, havePm = false;
  size_t i = 0;
  auto skipSpaces = [&] {
    while (i < in.size() && in[i] == ' ') ++i;
  };
  auto number = [&](int maxDigits, int& out) {
    skipSpaces();
    bool neg = false;
    if (i < in.size() && in[i] == '-' && maxDigits >= 4) {
      neg = true;
      ++i;
    }
    int k = 0;
    out = 0;
    while (k < maxDigits && i < in.size() && in[i] >= '0' && in[i] <= '9') {
      out = out * 10 + (in[i++] - '0');
      ++k;
    }
    if (k == 0) raise(1858);
    if (neg) out = -out;
    return k;
  };
  auto name = [&](const char* const* list, int count, bool abbreviated) {
    skipSpaces();
    for (int k = 0; k < count; ++k) {
      std::string full = list[k];
      size_t len = abbreviated ? 3 : full.size();
      if (i + len > in.size()) continue;
      bool match = true;
      for (size_t q = 0; q < len; ++q) {
        if (std::toupper(static_cast<unsigned char>(in[i + q])) != full[q]) match = false;
      }
      if (match) {
        i += len;
        return k;
      }
    }
    return -1;
  };
  for (const Element& e : parseFormat(format)) {
    if (i >= in.size()) {
      // Oracle accepts input that ends before the picture (a date without its time part).
      break;
    }
    switch (e.el) {
      case El::Literal:
      case El::Quoted: {
        for (char c : e.text) {
          if (i < in.size() && in[i] == c) {
            ++i;
          } else if (i < in.size() && !std::isalnum(static_cast<unsigned char>(in[i])) &&
                     e.el == El::Literal) {
            ++i;  // any punctuation matches punctuation
          } else if (e.el == El::Literal && !std::isalnum(static_cast<unsigned char>(c))) {
            // punctuation of the picture that the input leaves out
          } else {
            raise(1861);
          }
        }
        break;
      }
      case El::YYYY:
      case El::RRRR:
        number(4, r.year);
        break;
      case El::YYY: {
        int v;
        number(3, v);
        r.year = now.year / 1000 * 1000 + v;
        break;
      }
      case El::YY:
      case El::RR: {
        int v;
        int k = number(e.el == El::RR ? 4 : 2, v);
        if (k > 2) {
          r.year = v;
        } else if (e.el == El::YY) {
          r.year = now.year / 100 * 100 + v;
        } else {
          int century = now.year / 100 * 100;
          int cur = now.year % 100;
          if (v < 50)
            r.year = cur < 50 ? century + v : century + 100 + v;
          else
            r.year = cur < 50 ? century - 100 + v : century + v;
        }
        break;
      }
      case El::Y: {
        int v;
        number(1, v);
        r.year = now.year / 10 * 10 + v;
        break;
      }
      case El::MM:
        number(2, r.month);
        if (r.month < 1 || r.month > 12) raise(1843);
        break;
      case El::MON:
      case El::MONTH: {
        int k = name(kMonthNames, 12, e.el == El::MON);
        if (k < 0 && e.el == El::MONTH) k = name(kMonthNames, 12, true);
        if (k < 0) raise(1843);
        r.month = k + 1;
        break;
      }
      case El::DD:
        number(2, r.day);
        if (r.day < 1 || r.day > 31) raise(1847);
        break;
      case El::DDD: {
        int v;
        number(3, v);
        if (v < 1 || v > (leap(r.year) ? 366 : 365)) raise(1847);
        fromDayNumber(dayNumber(r.year, 1, 1) + v - 1, r.year, r.month, r.day);
        break;
      }
      case El::DAY:
      case El::DY:
        if (name(kDayNames, 7, e.el == El::DY) < 0) raise(1846);
        break;
      case El::D: {
        int v;
        number(1, v);
        break;
      }
      case El::HH24:
        number(2, r.hour);
        if (r.hour > 23) raise(1850);
        break;
      case El::HH:
      case El::HH12:
        number(2, hour12);
        if (hour12 < 1 || hour12 > 12) raise(1849);
        break;
      case El::MI:
        number(2, r.minute);
        if (r.minute > 59) raise(1851);
        break;
      case El::SS:
        number(2, r.second);
        if (r.second > 59) raise(1852);
        break;
      case El::SSSSS: {
        int v;
        number(5, v);
        if (v > 86399) raise(1853);
        r.hour = v / 3600;
        r.minute = v / 60 % 60;
        r.second = v % 60;
        break;
      }
      case El::AM:
      case El::PM: {
        skipSpaces();
        std::string rest;
        for (size_t q = i; q < in.size() && q < i + 4; ++q)
          rest += static_cast<char>(std::toupper(static_cast<unsigned char>(in[q])));
        if (rest.rfind("A.M.", 0) == 0 || rest.rfind("P.M.", 0) == 0) {
          pm = rest[0] == 'P';
          i += 4;
        } else if (rest.rfind("AM", 0) == 0 || rest.rfind("PM", 0) == 0) {
          pm = rest[0] == 'P';
          i += 2;
        } else {
          raise(1855);
        }
        havePm = true;
        break;
      }
      case El::FM:
      case El::FX:
        break;
    }
  }
  skipSpaces();
  if (i < in.size()) raise(1830);
  if (hour12 >= 0) r.hour = hour12 % 12 + (havePm && pm ? 12 : 0);
  if (r.year == 0 || r.year < -4713 || r.year > 9999) raise(1841);
  if (r.year < 1) raise(3001);  // dates before the common era are not kept
  if (r.day > daysIn(r.year, r.month)) raise(1847);
  return r;
}

std::string formatDate(const DateTime& d, std::string_view format) {
  std::string out;
  bool fm = false;
  auto num = [&](int v, int width) {
    char buf[16];
    if (fm)
      std::snprintf(buf, sizeof buf, "%d", v);
    else
      std::snprintf(buf, sizeof buf, "%0*d", width, v);
    out += buf;
  };
  auto padName = [&](std::string s, size_t width) {
    if (!fm) s.resize(std::max(s.size(), width), ' ');
    out += s;
  };
  for (const Element& e : parseFormat(format)) {
    switch (e.el) {
      case El::Literal:
      case El::Quoted:
        out += e.text;
        break;
      case El::YYYY:
      case El::RRRR:
        num(d.year, 4);
        break;
      case El::YYY:
        num(d.year % 1000, 3);
        break;
      case El::YY:
      case El::RR:
        num(d.year % 100, 2);
        break;
      case El::Y:
        num(d.year % 10, 1);
        break;
      case El::MM:
        num(d.month, 2);
        break;
      case El::MON:
        out += caseName(std::string(kMonthNames[d.month - 1]).substr(0, 3), e.text);
        break;
      case El::MONTH:
        padName(caseName(kMonthNames[d.month - 1], e.text), 9);
        break;
      case El::DD:
        num(d.day, 2);
        break;
      case El::DDD:
        num(static_cast<int>(dayNumber(d.year, d.month, d.day) - dayNumber(d.year, 1, 1) + 1), 3);
        break;
      case El::DAY:
        padName(caseName(kDayNames[weekday(d)], e.text), 9);
        break;
      case El::DY:
        out += caseName(std::string(kDayNames[weekday(d)]).substr(0, 3), e.text);
        break;
      case El::D:
        num(weekday(d) + 1, 1);
        break;
      case El::HH24:
        num(d.hour, 2);
        break;
      case El::HH:
      case El::HH12:
        num(d.hour % 12 == 0 ? 12 : d.hour % 12, 2);
        break;
      case El::MI:
        num(d.minute, 2);
        break;
      case El::SS:
        num(d.second, 2);
        break;
      case El::SSSSS:
        num(d.hour * 3600 + d.minute * 60 + d.second, 5);
        break;
      case El::AM:
      case El::PM: {
        bool dotted = e.text.size() == 4;
        std::string s = d.hour < 12 ? (dotted ? "A.M." : "AM") : (dotted ? "P.M." : "PM");
        out += caseName(s, e.text);
        break;
      }
      case El::FM:
        fm = !fm;
        break;
      case El::FX:
        break;
    }
  }
  return out;
}

// ---- NLS settings -----------------------------------------------------------------------------

NlsSettings::NlsSettings() {
  values_ = {
      {"NLS_LANGUAGE", "AMERICAN"},
      {"NLS_TERRITORY", "AMERICA"},
      {"NLS_DATE_FORMAT", "DD-MON-RR"},
      {"NLS_DATE_LANGUAGE", "AMERICAN"},
      {"NLS_NUMERIC_CHARACTERS", ".,"},
      {"NLS_CURRENCY", "$"},
      {"NLS_ISO_CURRENCY", "AMERICA"},
      {"NLS_DUAL_CURRENCY", "$"},
      {"NLS_CALENDAR", "GREGORIAN"},
      {"NLS_SORT", "BINARY"},
      {"NLS_COMP", "BINARY"},
      {"NLS_LENGTH_SEMANTICS", "BYTE"},
      {"NLS_NCHAR_CONV_EXCP", "FALSE"},
      {"NLS_TIMESTAMP_FORMAT", "DD-MON-RR HH.MI.SSXFF AM"},
      {"NLS_TIMESTAMP_TZ_FORMAT", "DD-MON-RR HH.MI.SSXFF AM TZR"},
      {"NLS_TIME_FORMAT", "HH.MI.SSXFF AM"},
      {"NLS_TIME_TZ_FORMAT", "HH.MI.SSXFF AM TZR"},
      {"TIME_ZONE", "+00:00"},
  };
}

const std::string& NlsSettings::get(const std::string& name) const {
  static const std::string empty;
  auto it = values_.find(name);
  return it == values_.end() ? empty : it->second;
}

char NlsSettings::decimalChar() const {
  const std::string& v = get("NLS_NUMERIC_CHARACTERS");
  return v.empty() ? '.' : v[0];
}

void NlsSettings::set(const std::string& name, const std::string& value) {
  auto it = values_.find(name);
  if (it == values_.end()) raise(2248);
  auto upper = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  };
  std::string v = value;
  if (name == "NLS_DATE_FORMAT") {
    checkDateFormat(v);
  } else if (name == "NLS_NUMERIC_CHARACTERS") {
    // Two different characters, neither a digit nor a sign or comparison character.
    if (v.size() != 2 || v[0] == v[1]) raise(12705);
    for (char c : v) {
      if (std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '<' ||
          c == '>')
        raise(12705);
    }
  } else if (name == "NLS_LANGUAGE" || name == "NLS_DATE_LANGUAGE") {
    v = upper(v);
    // Only the American texts exist here; other languages would change month names and messages.
    if (v != "AMERICAN" && v != "ENGLISH") raise(3001);
  } else if (name == "NLS_TERRITORY") {
    // A territory brings its own date format and numeric characters, as in Oracle; only the
    // territories whose conventions are known here are accepted.
    v = upper(v);
    if (v == "AMERICA") {
      values_["NLS_DATE_FORMAT"] = "DD-MON-RR";
      values_["NLS_NUMERIC_CHARACTERS"] = ".,";
    } else if (v == "RUSSIA" || v == "CIS") {
      values_["NLS_DATE_FORMAT"] = "DD.MM.RR";
      values_["NLS_NUMERIC_CHARACTERS"] = ", ";
    } else {
      raise(3001);
    }
  } else if (name == "NLS_SORT" || name == "NLS_COMP") {
    v = upper(v);
    // Comparisons here are always binary.
    if (v != "BINARY") raise(name == "NLS_COMP" && v != "ANSI" && v != "LINGUISTIC" ? 12705 : 3001);
  } else if (name == "NLS_LENGTH_SEMANTICS") {
    v = upper(v);
    if (v != "BYTE" && v != "CHAR") raise(12705);
  } else if (name == "NLS_CALENDAR") {
    if (upper(v) != "GREGORIAN") raise(3001);
    v = upper(v);
  }
  it->second = v;
}

}  // namespace standin
