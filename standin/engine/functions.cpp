// The ORA_* SQL functions that give SQLite Oracle's rules: value checks on store, conversions,
// NULL-for-empty text, date arithmetic, exact NUMBER rounding.
//
// Every function catches whatever it throws, so that no exception unwinds through SQLite's C
// frames: an OraError becomes an SQLite error whose message is the full "ORA-nnnnn: ..." text
// (the session turns such messages back into OraError), std::bad_alloc SQLite's out-of-memory
// error, any other exception an ORA-00600 naming it.
#include <cmath>
#include <cstring>

#include "base/Utf8.h"
#include "standin/engine/internal.h"

namespace standin {
namespace {

using Fn = void (*)(sqlite3_context*, int, sqlite3_value**);

const NlsSettings& nlsOf(sqlite3_context* ctx) {
  return *static_cast<const NlsSettings*>(sqlite3_user_data(ctx));
}

std::string_view textOf(sqlite3_value* v) {
  const unsigned char* p = sqlite3_value_text(v);
  return p ? std::string_view(reinterpret_cast<const char*>(p), sqlite3_value_bytes(v))
           : std::string_view();
}

bool isNull(sqlite3_value* v) {
  return sqlite3_value_type(v) == SQLITE_NULL;
}

void resultText(sqlite3_context* ctx, const std::string& s) {
  if (s.empty())
    sqlite3_result_null(ctx);  // Oracle has no empty strings
  else
    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void resultNumber(sqlite3_context* ctx, const Decimal& d) {
  std::string b = encodeNumber(d);
  sqlite3_result_blob(ctx, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
}

DateTime dateOf(sqlite3_value* v) {
  DateTime d{};
  if (!parseDateText(textOf(v), d)) raise(1858);
  return d;
}

void resultDate(sqlite3_context* ctx, const DateTime& d) {
  if (!validDate(d)) raise(1841);
  resultText(ctx, dateText(d));
}

// Case mapping for ASCII, Latin-1 and Cyrillic.
uint32_t toUpper(uint32_t c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  if (c >= 0x430 && c <= 0x44F) return c - 32;
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  return c;
}
uint32_t toLower(uint32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}
bool isLetter(uint32_t c) {
  return toUpper(c) != toLower(c);
}

std::string mapCase(std::string_view s, int mode) {  // 0 upper, 1 lower, 2 initcap
  std::string out;
  out.reserve(s.size());
  bool startOfWord = true;
  for (size_t i = 0; i < s.size();) {
    const tarnwick::utf8::Decoded d = tarnwick::utf8::Decode(s, i);
    if (!d.valid()) {  // a byte that is no character stays as it is
      out += s[i++];
      startOfWord = true;
      continue;
    }
    i += d.length;
    const uint32_t c = d.code_point;
    uint32_t m = mode == 0     ? toUpper(c)
                 : mode == 1   ? toLower(c)
                 : startOfWord ? toUpper(c)
                               : toLower(c);
    startOfWord = !(isLetter(c) || (c >= '0' && c <= '9'));
    tarnwick::utf8::Append(out, m);
  }
  return out;
}

// ---- the functions ----

void numval(sqlite3_context* ctx, int, sqlite3_value** a) {
  switch (sqlite3_value_type(a[0])) {
    case SQLITE_NULL:
      sqlite3_result_null(ctx);
      return;
    case SQLITE_INTEGER:
      sqlite3_result_int64(ctx, sqlite3_value_int64(a[0]));
      return;
    case SQLITE_FLOAT:
      sqlite3_result_double(ctx, sqlite3_value_double(a[0]));
      return;
    default: {
      Decimal d;
      valueToDecimal(a[0], d);
      int64_t i;
      if (decimalToInt(d, i))
        sqlite3_result_int64(ctx, i);
      else
        sqlite3_result_double(ctx, decimalToDouble(d));
    }
  }
}

void numtext(sqlite3_context* ctx, int n, sqlite3_value** a) {
  Decimal d;
  if (!valueToDecimal(a[0], d)) return sqlite3_result_null(ctx);
  const NlsSettings& nls = nlsOf(ctx);
  if (n == 2) {
    if (isNull(a[1])) return sqlite3_result_null(ctx);
    return resultText(ctx, formatNumber(d, textOf(a[1]), nls.get("NLS_NUMERIC_CHARACTERS")));
  }
  resultText(ctx, oracleText(d, nls.decimalChar()));
}

void datetext(sqlite3_context* ctx, int n, sqlite3_value** a) {
  if (isNull(a[0])) return sqlite3_result_null(ctx);
  std::string fmt = n == 2 ? std::string(textOf(a[1])) : nlsOf(ctx).get("NLS_DATE_FORMAT");
  if (n == 2 && isNull(a[1])) return sqlite3_result_null(ctx);
  resultText(ctx, formatDate(dateOf(a[0]), fmt));
}

void todate(sqlite3_context* ctx, int n, sqlite3_value** a) {
  if (isNull(a[0]) || (n == 2 && isNull(a[1]))) return sqlite3_result_null(ctx);
  std::string_view s = textOf(a[0]);
  DateTime d{};
  if (n == 1 && parseDateText(s, d) && s.size() == kDateTextLen) return resultDate(ctx, d);
  std::string fmt = n == 2 ? std::string(textOf(a[1])) : nlsOf(ctx).get("NLS_DATE_FORMAT");
  resultDate(ctx, toDate(s, fmt));
}

void tonumber(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (isNull(a[0])) return sqlite3_result_null(ctx);
  Decimal d;
  if (sqlite3_value_type(a[0]) == SQLITE_TEXT) {
    std::string s(textOf(a[0]));
    char dc = nlsOf(ctx).decimalChar();
    if (dc != '.') {
      if (s.find('.') != std::string::npos) raise(1722);
      for (char& c : s)
        if (c == dc) c = '.';
    }
    if (!parseDecimal(s, d)) raise(1722);
  } else {
    valueToDecimal(a[0], d);
  }
  resultNumber(ctx, d);
}

void concat(sqlite3_context* ctx, int, sqlite3_value** a) {
  std::string s(textOf(a[0]));
  s += textOf(a[1]);
  resultText(ctx, s);
}

void upper(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (isNull(a[0])) return sqlite3_result_null(ctx);
  resultText(ctx, mapCase(textOf(a[0]), 0));
}
void lower(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (isNull(a[0])) return sqlite3_result_null(ctx);
  resultText(ctx, mapCase(textOf(a[0]), 1));
}
void initcap(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (isNull(a[0])) return sqlite3_result_null(ctx);
  resultText(ctx, mapCase(textOf(a[0]), 2));
}

void length(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (isNull(a[0])) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, static_cast<int64_t>(tarnwick::utf8::Count(textOf(a[0]))));
}

void substr(sqlite3_context* ctx, int n, sqlite3_value** a) {
  if (isNull(a[0]) || isNull(a[1]) || (n == 3 && isNull(a[2]))) return sqlite3_result_null(ctx);
  std::string_view s = textOf(a[0]);
  int64_t len = static_cast<int64_t>(tarnwick::utf8::Count(s));
  int64_t pos = static_cast<int64_t>(sqlite3_value_double(a[1]));
  if (pos == 0) pos = 1;
  if (pos < 0) pos = len + pos + 1;
  if (pos < 1 || pos > len) return sqlite3_result_null(ctx);
  int64_t count = n == 3 ? static_cast<int64_t>(sqlite3_value_double(a[2])) : len;
  if (count < 1) return sqlite3_result_null(ctx);
  size_t from = tarnwick::utf8::PrefixBytes(s, static_cast<size_t>(pos - 1));
  size_t to = from + tarnwick::utf8::PrefixBytes(s.substr(from), static_cast<size_t>(count));
  resultText(ctx, std::string(s.substr(from, to - from)));
}

void replace(sqlite3_context* ctx, int n, sqlite3_value** a) {
  if (isNull(a[0])) return sqlite3_result_null(ctx);
  std::string s(textOf(a[0]));
  if (isNull(a[1])) return resultText(ctx, s);
  std::string from(textOf(a[1]));
  std::string to = n == 3 ? std::string(textOf(a[2])) : std::string();
  std::string out;
  size_t i = 0;
  for (size_t k; (k = s.find(from, i)) != std::string::npos; i = k + from.size())
    out += s.substr(i, k - i) + to;
  out += s.substr(i);
  resultText(ctx, out);
}

void pad(sqlite3_context* ctx, int n, sqlite3_value** a, bool left) {
  if (isNull(a[0]) || isNull(a[1]) || (n == 3 && isNull(a[2]))) return sqlite3_result_null(ctx);
  std::string_view s = textOf(a[0]);
  int64_t width = static_cast<int64_t>(sqlite3_value_double(a[1]));
  std::string fill = n == 3 ? std::string(textOf(a[2])) : " ";
  if (width < 1 || fill.empty()) return sqlite3_result_null(ctx);
  int64_t len = static_cast<int64_t>(tarnwick::utf8::Count(s));
  if (len >= width)
    return resultText(ctx, std::string(s.substr(0, tarnwick::utf8::PrefixBytes(s, width))));
  std::string padding;
  int64_t need = width - len;
  int64_t fillLen = static_cast<int64_t>(tarnwick::utf8::Count(fill));
  while (need > 0) {
    int64_t take = std::min(need, fillLen);
    padding += fill.substr(0, tarnwick::utf8::PrefixBytes(fill, take));
    need -= take;
  }
  resultText(ctx, left ? padding + std::string(s) : std::string(s) + padding);
}
void lpad(sqlite3_context* ctx, int n, sqlite3_value** a) {
  pad(ctx, n, a, true);
}
void rpad(sqlite3_context* ctx, int n, sqlite3_value** a) {
  pad(ctx, n, a, false);
}

// Exact NUMBER arithmetic: operands in any numeric representation, results as stored NUMBERs.
template <int Op>
void arith(sqlite3_context* ctx, int, sqlite3_value** a) {
  Decimal x, y;
  if (!valueToDecimal(a[0], x) || !valueToDecimal(a[1], y)) return sqlite3_result_null(ctx);
  switch (Op) {
    case 0:
      return resultNumber(ctx, addDecimal(x, y));
    case 1:
      return resultNumber(ctx, addDecimal(x, negateDecimal(y)));
    case 2:
      return resultNumber(ctx, mulDecimal(x, y));
    default:
      return resultNumber(ctx, divDecimal(x, y));
  }
}

void negate(sqlite3_context* ctx, int, sqlite3_value** a) {
  Decimal x;
  if (!valueToDecimal(a[0], x)) return sqlite3_result_null(ctx);
  resultNumber(ctx, negateDecimal(x));
}

// MOD(x, y) = x - y * TRUNC(x / y); MOD(x, 0) = x.
void mod(sqlite3_context* ctx, int, sqlite3_value** a) {
  Decimal x, y;
  if (!valueToDecimal(a[0], x) || !valueToDecimal(a[1], y)) return sqlite3_result_null(ctx);
  if (y.isZero()) return resultNumber(ctx, x);
  Decimal q = divDecimal(x, y);
  truncateToScale(q, 0);
  resultNumber(ctx, addDecimal(x, negateDecimal(mulDecimal(y, q))));
}

// SUM and AVG add exactly; the state lives in SQLite's zero-filled aggregate memory.
struct SumState {
  Decimal sum;
  int64_t count;
};

void sumStep(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto* s = static_cast<SumState*>(sqlite3_aggregate_context(ctx, sizeof(SumState)));
  if (!s) return sqlite3_result_error_nomem(ctx);
  Decimal x;
  if (!valueToDecimal(a[0], x)) return;
  s->sum = addDecimal(s->sum, x);
  ++s->count;
}
void sumFinal(sqlite3_context* ctx) {
  auto* s = static_cast<SumState*>(sqlite3_aggregate_context(ctx, 0));
  if (!s || s->count == 0) return sqlite3_result_null(ctx);
  resultNumber(ctx, s->sum);
}
void avgFinal(sqlite3_context* ctx) {
  auto* s = static_cast<SumState*>(sqlite3_aggregate_context(ctx, 0));
  if (!s || s->count == 0) return sqlite3_result_null(ctx);
  resultNumber(ctx, divDecimal(s->sum, decimalFromInt(s->count)));
}

int scaleArg(int n, sqlite3_value** a) {
  return n == 2 ? static_cast<int>(sqlite3_value_double(a[1])) : 0;
}

void truncNum(sqlite3_context* ctx, int n, sqlite3_value** a) {
  Decimal d;
  if (!valueToDecimal(a[0], d) || (n == 2 && isNull(a[1]))) return sqlite3_result_null(ctx);
  truncateToScale(d, scaleArg(n, a));
  resultNumber(ctx, d);
}
void roundNum(sqlite3_context* ctx, int n, sqlite3_value** a) {
  Decimal d;
  if (!valueToDecimal(a[0], d) || (n == 2 && isNull(a[1]))) return sqlite3_result_null(ctx);
  roundToScale(d, scaleArg(n, a));
  resultNumber(ctx, d);
}
void absNum(sqlite3_context* ctx, int, sqlite3_value** a) {
  Decimal d;
  if (!valueToDecimal(a[0], d)) return sqlite3_result_null(ctx);
  d.neg = false;
  resultNumber(ctx, d);
}
void signNum(sqlite3_context* ctx, int, sqlite3_value** a) {
  Decimal d;
  if (!valueToDecimal(a[0], d)) return sqlite3_result_null(ctx);
  resultNumber(ctx, decimalFromInt(d.isZero() ? 0 : d.neg ? -1 : 1));
}
void ceilFloor(sqlite3_context* ctx, sqlite3_value** a, bool ceil) {
  Decimal d;
  if (!valueToDecimal(a[0], d)) return sqlite3_result_null(ctx);
  Decimal t = d;
  truncateToScale(t, 0);
  bool fraction = !d.isIntegral();
  if (fraction && (ceil != d.neg)) {
    int64_t i;
    if (decimalToInt(t, i))
      t = decimalFromInt(i + (ceil ? 1 : -1));
    else
      t = decimalFromDouble(ceil ? std::ceil(decimalToDouble(d)) : std::floor(decimalToDouble(d)));
  }
  resultNumber(ctx, t);
}
void ceilNum(sqlite3_context* ctx, int, sqlite3_value** a) {
  ceilFloor(ctx, a, true);
}
void floorNum(sqlite3_context* ctx, int, sqlite3_value** a) {
  ceilFloor(ctx, a, false);
}

void truncDate(sqlite3_context* ctx, int n, sqlite3_value** a) {
  if (isNull(a[0]) || (n == 2 && isNull(a[1]))) return sqlite3_result_null(ctx);
  DateTime d = dateOf(a[0]);
  std::string f = n == 2 ? std::string(textOf(a[1])) : "DD";
  for (char& c : f) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (f == "MI") {
    d.second = 0;
  } else if (f == "HH" || f == "HH24" || f == "HH12") {
    d.minute = d.second = 0;
  } else if (f == "DD" || f == "DDD" || f == "J") {
    d.hour = d.minute = d.second = 0;
  } else if (f == "MM" || f == "MON" || f == "MONTH" || f == "RM") {
    d = {d.year, d.month, 1, 0, 0, 0};
  } else if (f == "YYYY" || f == "YEAR" || f == "Y" || f == "YY" || f == "YYY" || f == "SYYYY" ||
             f == "RR" || f == "RRRR") {
    d = {d.year, 1, 1, 0, 0, 0};
  } else {
    raise(1821);
  }
  resultDate(ctx, d);
}

int64_t secondsOf(const DateTime& d) {
  return dayNumber(d.year, d.month, d.day) * 86400 + d.hour * 3600 + d.minute * 60 + d.second;
}
DateTime fromSeconds(int64_t s) {
  DateTime d{};
  if (s < 0) raise(1841);
  fromDayNumber(s / 86400, d.year, d.month, d.day);
  int64_t r = s % 86400;
  d.hour = static_cast<int>(r / 3600);
  d.minute = static_cast<int>(r / 60 % 60);
  d.second = static_cast<int>(r % 60);
  return d;
}

void dateAdd(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (isNull(a[0]) || isNull(a[1])) return sqlite3_result_null(ctx);
  double days = sqlite3_value_double(a[1]);
  resultDate(ctx, fromSeconds(secondsOf(dateOf(a[0])) + std::llround(days * 86400)));
}

void dateDiff(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (isNull(a[0]) || isNull(a[1])) return sqlite3_result_null(ctx);
  int64_t s = secondsOf(dateOf(a[0])) - secondsOf(dateOf(a[1]));
  if (s % 86400 == 0)
    sqlite3_result_int64(ctx, s / 86400);
  else
    sqlite3_result_double(ctx, static_cast<double>(s) / 86400.0);
}

void addMonths(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (isNull(a[0]) || isNull(a[1])) return sqlite3_result_null(ctx);
  DateTime d = dateOf(a[0]);
  int64_t months = static_cast<int64_t>(sqlite3_value_double(a[1]));
  static const int dim[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  auto days = [&](int y, int m) {
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : dim[m - 1];
  };
  bool lastDay = d.day == days(d.year, d.month);
  int64_t total = static_cast<int64_t>(d.year) * 12 + (d.month - 1) + months;
  d.year = static_cast<int>(total / 12);
  d.month = static_cast<int>(total % 12) + 1;
  if (d.year < 1 || d.year > 9999) raise(1841);
  if (lastDay || d.day > days(d.year, d.month)) d.day = days(d.year, d.month);
  resultDate(ctx, d);
}

void sysdate(sqlite3_context* ctx, int, sqlite3_value**) {
  resultDate(ctx, nowLocal());
}

int daysInMonth(int y, int m) {
  static const int dim[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : dim[m - 1];
}

void lastDay(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (isNull(a[0])) return sqlite3_result_null(ctx);
  DateTime d = dateOf(a[0]);
  d.day = daysInMonth(d.year, d.month);
  resultDate(ctx, d);
}

// Oracle's rule: whole months when both days are the same day of the month or both are the last
// day of their months; otherwise the difference of the days counts in months of 31 days.
void monthsBetween(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (isNull(a[0]) || isNull(a[1])) return sqlite3_result_null(ctx);
  DateTime x = dateOf(a[0]), y = dateOf(a[1]);
  int64_t months = (static_cast<int64_t>(x.year) - y.year) * 12 + (x.month - y.month);
  bool lastX = x.day == daysInMonth(x.year, x.month), lastY = y.day == daysInMonth(y.year, y.month);
  if (x.day == y.day || (lastX && lastY)) return sqlite3_result_int64(ctx, months);
  double secondsX = x.day * 86400.0 + x.hour * 3600 + x.minute * 60 + x.second;
  double secondsY = y.day * 86400.0 + y.hour * 3600 + y.minute * 60 + y.second;
  sqlite3_result_double(ctx, static_cast<double>(months) + (secondsX - secondsY) / (31 * 86400.0));
}

void math(sqlite3_context* ctx, sqlite3_value** a, int args, double (*f)(double, double)) {
  for (int i = 0; i < args; ++i)
    if (isNull(a[i])) return sqlite3_result_null(ctx);
  double x = sqlite3_value_double(a[0]);
  double y = args > 1 ? sqlite3_value_double(a[1]) : 0;
  double r = f(x, y);
  if (std::isnan(r)) raise(1428, {oracleText(decimalFromDouble(args > 1 ? y : x))});
  if (std::isinf(r)) raise(1426);
  sqlite3_result_double(ctx, r);
}
void powerFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  math(ctx, a, 2, [](double x, double y) { return std::pow(x, y); });
}
void sqrtFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  math(ctx, a, 1, [](double x, double) { return std::sqrt(x); });
}
void expFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  math(ctx, a, 1, [](double x, double) { return std::exp(x); });
}
void lnFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  math(ctx, a, 1, [](double x, double) { return x > 0 ? std::log(x) : std::nan(""); });
}
void logFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  math(ctx, a, 2, [](double b, double x) {
    return b > 0 && b != 1 && x > 0 ? std::log(x) / std::log(b) : std::nan("");
  });
}

void rawtohex(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (isNull(a[0])) return sqlite3_result_null(ctx);
  auto* p = static_cast<const unsigned char*>(sqlite3_value_blob(a[0]));
  int len = sqlite3_value_bytes(a[0]);
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (int i = 0; i < len; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  resultText(ctx, out);
}

std::string hexToBytes(std::string_view s) {
  auto val = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  size_t i = 0;
  if (s.size() % 2) {
    if (val(s[0]) < 0) raise(1465);
    out += static_cast<char>(val(s[0]));
    i = 1;
  }
  for (; i < s.size(); i += 2) {
    int h = val(s[i]), l = val(s[i + 1]);
    if (h < 0 || l < 0) raise(1465);
    out += static_cast<char>(h * 16 + l);
  }
  return out;
}

void hextoraw(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (isNull(a[0])) return sqlite3_result_null(ctx);
  std::string bytes = hexToBytes(textOf(a[0]));
  if (bytes.empty()) return sqlite3_result_null(ctx);
  sqlite3_result_blob(ctx, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

// ORA_STORE(value, spec): the value as its column keeps it, or the error Oracle gives.
void store(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (isNull(a[0])) return sqlite3_result_null(ctx);
  std::string_view spec = textOf(a[1]);
  size_t bar = spec.find('|');
  ColType t = parseTypeSpec(spec.substr(0, bar));
  std::string column(spec.substr(bar + 1));
  auto tooLarge = [&](size_t actual, int max) {
    raise(12899, {column, std::to_string(actual), std::to_string(max)});
  };
  switch (t.kind) {
    case Kind::Number:
    case Kind::Integer:
    case Kind::Float: {
      Decimal d;
      valueToDecimal(a[0], d);
      if (t.kind == Kind::Float) {
        roundToDigits(d, static_cast<int>(std::ceil(t.precision * 0.30103)));
      } else if (t.kind == Kind::Integer || t.precision > 0) {
        int p = t.kind == Kind::Integer ? 38 : t.precision;
        int s = t.kind == Kind::Integer ? 0 : t.scale;
        roundToScale(d, s);
        if (!d.isZero() && d.point > p - s) raise(1438);
      }
      return resultNumber(ctx, d);
    }
    case Kind::Varchar2:
    case Kind::Char: {
      std::string_view given = textOf(a[0]);
      if (given.empty()) return sqlite3_result_null(ctx);
      // NVARCHAR2 keeps AL16UTF16, which holds every character; the database character set
      // may not.
      Charset cs = nlsOf(ctx).charset;
      std::string s = t.national ? std::string(given) : toDatabaseText(given, cs);
      size_t bytes = t.national ? 2 * charCount(s) : charsetBytes(s, cs);
      size_t chars = charCount(s);
      if (t.charSemantics || t.national) {
        // A limit in characters is counted in characters; the byte limit of the type still holds.
        if (chars > static_cast<size_t>(t.length)) tooLarge(chars, t.length);
        if (bytes > static_cast<size_t>(t.byteLimit())) tooLarge(bytes, t.byteLimit());
        if (t.kind == Kind::Char) s.append(t.length - chars, ' ');
      } else {
        if (bytes > static_cast<size_t>(t.length)) tooLarge(bytes, t.length);
        if (t.kind == Kind::Char) s.append(t.length - bytes, ' ');
      }
      return resultText(ctx, s);
    }
    case Kind::Clob:
    case Kind::Long:
      return resultText(ctx, toDatabaseText(textOf(a[0]), nlsOf(ctx).charset));
    case Kind::Null:
      return resultText(ctx, std::string(textOf(a[0])));
    case Kind::Date:
    case Kind::Timestamp: {
      std::string_view s = textOf(a[0]);
      DateTime d{};
      std::string fraction;
      if (parseDateText(s, d)) {
        if (s.size() > kDateTextLen) fraction = std::string(s.substr(kDateTextLen + 1));
      } else {
        d = toDate(s, nlsOf(ctx).get("NLS_DATE_FORMAT"));
      }
      std::string out = dateText(d);
      if (t.kind == Kind::Timestamp) {
        fraction.resize(6, '0');
        out += "." + fraction;
      }
      return resultText(ctx, out);
    }
    case Kind::Raw:
    case Kind::Blob: {
      std::string bytes;
      if (sqlite3_value_type(a[0]) == SQLITE_BLOB) {
        auto* p = static_cast<const char*>(sqlite3_value_blob(a[0]));
        bytes.assign(p, sqlite3_value_bytes(a[0]));
      } else {
        bytes = hexToBytes(textOf(a[0]));
      }
      if (bytes.empty()) return sqlite3_result_null(ctx);
      if (t.kind == Kind::Raw && bytes.size() > static_cast<size_t>(t.length))
        tooLarge(bytes.size(), t.length);
      return sqlite3_result_blob(ctx, bytes.data(), static_cast<int>(bytes.size()),
                                 SQLITE_TRANSIENT);
    }
  }
}

// ORA_CAST_TEXT(value, spec[, code]): CAST of a text to VARCHAR2(n)/CHAR(n): a value longer than
// the target is ORA-25137 (or the error `code`), never cut.
void castText(sqlite3_context* ctx, int n, sqlite3_value** a) {
  if (isNull(a[0])) return sqlite3_result_null(ctx);
  ColType t = parseTypeSpec(textOf(a[1]));
  std::string_view s = textOf(a[0]);
  Charset cs = nlsOf(ctx).charset;
  size_t chars = charCount(s);
  size_t bytes = t.national ? 2 * chars : charsetBytes(s, cs);
  bool charLimit = t.charSemantics || t.national;
  if ((charLimit && chars > static_cast<size_t>(t.length)) ||
      bytes > static_cast<size_t>(t.byteLimit()))
    raise(n == 3 ? sqlite3_value_int(a[2]) : 25137);
  // A text cast into the database character set keeps only what the set holds.
  std::string out = t.national ? std::string(s) : toDatabaseText(s, cs);
  if (t.kind == Kind::Char) out.append(t.length - (charLimit ? chars : bytes), ' ');
  resultText(ctx, out);
}

// Dictionary values computed from a column's catalog spec: ORA_CHAR_LENGTH(spec) is
// USER_TAB_COLUMNS.CHAR_LENGTH (0 for columns that are no character columns), ORA_CHAR_USED(spec)
// 'B', 'C' or NULL, ORA_CHAR_DECL(spec, data_length) the declared length in bytes or NULL.
bool charColumn(const ColType& t) {
  return t.kind == Kind::Varchar2 || t.kind == Kind::Char;
}
void charLength(sqlite3_context* ctx, int, sqlite3_value** a) {
  ColType t = parseTypeSpec(textOf(a[0]));
  resultNumber(ctx, decimalFromInt(charColumn(t) ? t.length : 0));
}
void charUsed(sqlite3_context* ctx, int, sqlite3_value** a) {
  ColType t = parseTypeSpec(textOf(a[0]));
  if (!charColumn(t)) return sqlite3_result_null(ctx);
  resultText(ctx, t.charSemantics || t.national ? "C" : "B");
}
void charDecl(sqlite3_context* ctx, int, sqlite3_value** a) {
  ColType t = parseTypeSpec(textOf(a[0]));
  if (!charColumn(t)) return sqlite3_result_null(ctx);
  sqlite3_result_value(ctx, a[1]);
}

template <Fn F>
void guarded(sqlite3_context* ctx, int n, sqlite3_value** a) {
  try {
    F(ctx, n, a);
  } catch (...) {
    resultFromException(ctx);
  }
}

template <Fn F>
void guardedStep(sqlite3_context* ctx, int n, sqlite3_value** a) {
  guarded<F>(ctx, n, a);
}

template <void (*F)(sqlite3_context*)>
void guardedFinal(sqlite3_context* ctx) {
  try {
    F(ctx);
  } catch (...) {
    resultFromException(ctx);
  }
}

void checkRegistered(sqlite3* db, int rc, const char* name) {
  if (rc != SQLITE_OK)
    raise(600, {"sqlite", std::string("cannot register ") + name + ": " + sqlite3_errmsg(db)});
}

}  // namespace

namespace {
void resultInternalError(sqlite3_context* ctx, const char* what) noexcept {
  try {
    const std::string m = oraMessage(600, {"standin function", what});
    sqlite3_result_error(ctx, m.c_str(), static_cast<int>(m.size()));
  } catch (...) {
    sqlite3_result_error_nomem(ctx);
  }
}
}  // namespace

void resultFromException(sqlite3_context* ctx) noexcept {
  try {
    throw;
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.message.c_str(), static_cast<int>(e.message.size()));
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(ctx);
  } catch (const std::exception& e) {
    resultInternalError(ctx, e.what());
  } catch (...) {
    resultInternalError(ctx, "unknown exception");
  }
}

std::string formatNumber(const Decimal& value, std::string_view format,
                         const std::string& nlsChars) {
  std::string f;
  for (char c : format) f += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  bool fm = false;
  if (f.rfind("FM", 0) == 0) {
    fm = true;
    f.erase(0, 2);
  }
  char decimalChar = nlsChars.size() > 0 ? nlsChars[0] : '.';
  char groupChar = nlsChars.size() > 1 ? nlsChars[1] : ',';
  size_t point = f.find_first_of(".D");
  std::string intPart = f.substr(0, point);
  std::string fracPart = point == std::string::npos ? std::string() : f.substr(point + 1);
  for (char c : intPart)
    if (c != '9' && c != '0' && c != ',' && c != 'G') raise(1481);
  for (char c : fracPart)
    if (c != '9' && c != '0') raise(1481);
  if (f.empty()) raise(1481);
  Decimal v = value;
  roundToScale(v, static_cast<int>(fracPart.size()));
  char buf[400];
  decimalText(v, buf, sizeof buf);
  std::string text = buf;
  if (!text.empty() && text[0] == '-') text.erase(0, 1);
  size_t dot = text.find('.');
  std::string intDigits = text.substr(0, dot);
  std::string fracDigits = dot == std::string::npos ? std::string() : text.substr(dot + 1);
  if (intDigits == "0") intDigits.clear();
  size_t positions = 0;
  for (char c : intPart) positions += c == '9' || c == '0';
  if (intDigits.size() > positions) return std::string(f.size() + 1, '#');
  size_t firstZero = intPart.find('0');
  std::string out;
  size_t di = intDigits.size();
  for (size_t k = intPart.size(); k-- > 0;) {
    char c = intPart[k];
    if (c == ',' || c == 'G') {
      bool more = di > 0 || (firstZero != std::string::npos && k > firstZero);
      out.insert(out.begin(), more ? (c == 'G' ? groupChar : ',') : ' ');
      continue;
    }
    if (di > 0) {
      out.insert(out.begin(), intDigits[--di]);
    } else if (firstZero != std::string::npos && k >= firstZero) {
      out.insert(out.begin(), '0');
    } else {
      out.insert(out.begin(), ' ');
    }
  }
  if (intDigits.empty() && fracPart.empty() && (out.empty() || out.back() == ' ')) {
    if (!out.empty()) out.back() = '0';
  }
  if (point != std::string::npos) {
    out += f[point] == 'D' ? decimalChar : '.';
    fracDigits.resize(fracPart.size(), '0');
    out += fracDigits;
  }
  // The sign position comes before the first printed character.
  size_t firstChar = out.find_first_not_of(' ');
  if (firstChar == std::string::npos) firstChar = out.size();
  out.insert(firstChar, 1, v.neg ? '-' : ' ');
  if (fm) {
    size_t s = out.find_first_not_of(' ');
    out = s == std::string::npos ? std::string() : out.substr(s);
    if (!out.empty() && out[0] == ' ') out.erase(0, 1);
    if (!v.neg && !out.empty() && out[0] == ' ') out.erase(0, 1);
    // FM also drops trailing zeros that a 9 stands for.
    if (point != std::string::npos) {
      size_t lastZero = fracPart.find_last_of('0');
      size_t keep = lastZero == std::string::npos ? 0 : lastZero + 1;
      while (out.size() > 0 && fracPart.size() > keep && out.back() == '0') {
        out.pop_back();
        fracPart.pop_back();
      }
    }
  }
  return out;
}

void registerFunctions(sqlite3* db, const NlsSettings* nls) {
  struct Entry {
    const char* name;
    int args;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
    bool deterministic;
  };
  static const Entry entries[] = {
      {"ORA_NUMVAL", 1, guarded<numval>, true},
      {"ORA_NUMTEXT", 1, guarded<numtext>, true},
      {"ORA_NUMTEXT", 2, guarded<numtext>, true},
      {"ORA_DATETEXT", 1, guarded<datetext>, true},
      {"ORA_DATETEXT", 2, guarded<datetext>, true},
      {"ORA_TO_DATE", 1, guarded<todate>, true},
      {"ORA_TO_DATE", 2, guarded<todate>, true},
      {"ORA_TO_NUMBER", 1, guarded<tonumber>, true},
      {"ORA_CONCAT", 2, guarded<concat>, true},
      {"ORA_UPPER", 1, guarded<upper>, true},
      {"ORA_LOWER", 1, guarded<lower>, true},
      {"ORA_INITCAP", 1, guarded<initcap>, true},
      {"ORA_LENGTH", 1, guarded<length>, true},
      {"ORA_SUBSTR", 2, guarded<substr>, true},
      {"ORA_SUBSTR", 3, guarded<substr>, true},
      {"ORA_REPLACE", 2, guarded<replace>, true},
      {"ORA_REPLACE", 3, guarded<replace>, true},
      {"ORA_LPAD", 2, guarded<lpad>, true},
      {"ORA_LPAD", 3, guarded<lpad>, true},
      {"ORA_RPAD", 2, guarded<rpad>, true},
      {"ORA_RPAD", 3, guarded<rpad>, true},
      {"ORA_ADD", 2, guarded<arith<0>>, true},
      {"ORA_SUB", 2, guarded<arith<1>>, true},
      {"ORA_MUL", 2, guarded<arith<2>>, true},
      {"ORA_DIV", 2, guarded<arith<3>>, true},
      {"ORA_NEG", 1, guarded<negate>, true},
      {"ORA_MOD", 2, guarded<mod>, true},
      {"ORA_TRUNC_NUM", 1, guarded<truncNum>, true},
      {"ORA_TRUNC_NUM", 2, guarded<truncNum>, true},
      {"ORA_ROUND_NUM", 1, guarded<roundNum>, true},
      {"ORA_ROUND_NUM", 2, guarded<roundNum>, true},
      {"ORA_ABS", 1, guarded<absNum>, true},
      {"ORA_SIGN", 1, guarded<signNum>, true},
      {"ORA_CEIL", 1, guarded<ceilNum>, true},
      {"ORA_FLOOR", 1, guarded<floorNum>, true},
      {"ORA_TRUNC_DATE", 1, guarded<truncDate>, true},
      {"ORA_TRUNC_DATE", 2, guarded<truncDate>, true},
      {"ORA_DATE_ADD", 2, guarded<dateAdd>, true},
      {"ORA_DATE_DIFF", 2, guarded<dateDiff>, true},
      {"ORA_ADD_MONTHS", 2, guarded<addMonths>, true},
      {"ORA_SYSDATE", 0, guarded<sysdate>, false},
      {"ORA_LAST_DAY", 1, guarded<lastDay>, true},
      {"ORA_MONTHS_BETWEEN", 2, guarded<monthsBetween>, true},
      {"ORA_POWER", 2, guarded<powerFn>, true},
      {"ORA_SQRT", 1, guarded<sqrtFn>, true},
      {"ORA_EXP", 1, guarded<expFn>, true},
      {"ORA_LN", 1, guarded<lnFn>, true},
      {"ORA_LOG", 2, guarded<logFn>, true},
      {"ORA_RAWTOHEX", 1, guarded<rawtohex>, true},
      {"ORA_HEXTORAW", 1, guarded<hextoraw>, true},
      {"ORA_STORE", 2, guarded<store>, true},
      {"ORA_CAST_TEXT", 2, guarded<castText>, true},
      {"ORA_CAST_TEXT", 3, guarded<castText>, true},
      {"ORA_CHAR_LENGTH", 1, guarded<charLength>, true},
      {"ORA_CHAR_USED", 1, guarded<charUsed>, true},
      {"ORA_CHAR_DECL", 2, guarded<charDecl>, true},
  };
  for (const Entry& e : entries) {
    int flags = SQLITE_UTF8 | (e.deterministic ? SQLITE_DETERMINISTIC : 0);
    checkRegistered(
        db,
        sqlite3_create_function_v2(db, e.name, e.args, flags, const_cast<NlsSettings*>(nls), e.fn,
                                   nullptr, nullptr, nullptr),
        e.name);
  }
  checkRegistered(
      db,
      sqlite3_create_function_v2(db, "ORA_SUM", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                 nullptr, guardedStep<sumStep>, guardedFinal<sumFinal>, nullptr),
      "ORA_SUM");
  checkRegistered(
      db,
      sqlite3_create_function_v2(db, "ORA_AVG", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                 nullptr, guardedStep<sumStep>, guardedFinal<avgFinal>, nullptr),
      "ORA_AVG");
}

}  // namespace standin
