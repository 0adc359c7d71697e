// NUMBER values: exact decimal arithmetic for rounding and checks, Oracle's byte format for
// storage.
#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "standin/engine/internal.h"

namespace standin {
namespace {

void normalize(Decimal& v) {
  int lead = 0;
  while (lead < v.n && v.d[lead] == 0) ++lead;
  if (lead > 0) {
    std::memmove(v.d, v.d + lead, v.n - lead);
    v.n -= lead;
    v.point -= lead;
  }
  while (v.n > 0 && v.d[v.n - 1] == 0) --v.n;
  if (v.n == 0) {
    v.neg = false;
    v.point = 0;
  }
}

// Keeps the first `keep` digits, rounding half away from zero on the next one.
void roundAt(Decimal& v, int keep) {
  if (keep >= v.n) return;
  if (keep < 0) {
    v.n = 0;
    normalize(v);
    return;
  }
  bool up = v.d[keep] >= 5;
  v.n = keep;
  if (up) {
    int i = keep - 1;
    while (i >= 0 && v.d[i] == 9) v.d[i--] = 0;
    if (i >= 0) {
      ++v.d[i];
    } else {
      // All nines: 0.999 -> 1.0 one place higher.
      std::memmove(v.d + 1, v.d, v.n);
      v.d[0] = 1;
      ++v.n;
      ++v.point;
    }
  }
  normalize(v);
}

}  // namespace

bool parseDecimal(std::string_view s, Decimal& out) {
  out = Decimal{};
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  size_t end = s.size();
  while (end > i && (s[end - 1] == ' ' || s[end - 1] == '\t')) --end;
  if (i < end && (s[i] == '+' || s[i] == '-')) out.neg = s[i++] == '-';
  bool any = false, seenPoint = false;
  int index = 0;          // digits consumed so far
  int beforePoint = 0;    // digits before the point
  int firstNonZero = -1;  // index of the first significant digit
  for (; i < end; ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      any = true;
      if (c != '0' && firstNonZero < 0) firstNonZero = index;
      if (firstNonZero >= 0 && out.n < Decimal::kMaxDigits + 1)
        out.d[out.n++] = static_cast<uint8_t>(c - '0');
      ++index;
      if (!seenPoint) ++beforePoint;
    } else if (c == '.' && !seenPoint) {
      seenPoint = true;
    } else {
      break;
    }
  }
  if (!any) return false;
  out.point = firstNonZero < 0 ? 0 : beforePoint - firstNonZero;
  if (i < end && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool eneg = false;
    if (i < end && (s[i] == '+' || s[i] == '-')) eneg = s[i++] == '-';
    if (i >= end) return false;
    int e = 0;
    for (; i < end; ++i) {
      if (s[i] < '0' || s[i] > '9') return false;
      if (e < 100000) e = e * 10 + (s[i] - '0');
    }
    out.point += eneg ? -e : e;
  }
  if (i != end) return false;
  normalize(out);
  roundAt(out, Decimal::kMaxDigits);
  return true;
}

Decimal decimalFromInt(int64_t v) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  Decimal d;
  parseDecimal(std::string_view(buf, r.ptr - buf), d);
  return d;
}

Decimal decimalFromDouble(double v) {
  Decimal d;
  if (!std::isfinite(v)) raise(1426);
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
  parseDecimal(std::string_view(buf, r.ptr - buf), d);
  return d;
}

void roundToScale(Decimal& v, int scale) {
  roundAt(v, v.point + scale);
}
void truncateToScale(Decimal& v, int scale) {
  int keep = v.point + scale;
  if (keep < v.n) {
    v.n = keep < 0 ? 0 : keep;
    normalize(v);
  }
}
void roundToDigits(Decimal& v, int digits) {
  roundAt(v, digits);
}

size_t decimalText(const Decimal& v, char* out, size_t cap) {
  size_t k = 0;
  auto put = [&](char c) {
    if (k + 1 < cap) out[k++] = c;
  };
  if (v.n == 0) {
    put('0');
  } else {
    if (v.neg) put('-');
    if (v.point <= 0) {
      put('0');
      put('.');
      for (int i = 0; i < -v.point; ++i) put('0');
      for (int i = 0; i < v.n; ++i) put(static_cast<char>('0' + v.d[i]));
    } else {
      for (int i = 0; i < v.point; ++i) put(i < v.n ? static_cast<char>('0' + v.d[i]) : '0');
      if (v.n > v.point) {
        put('.');
        for (int i = v.point; i < v.n; ++i) put(static_cast<char>('0' + v.d[i]));
      }
    }
  }
  if (cap > 0) out[k] = '\0';
  return k;
}

std::string oracleText(const Decimal& v, char decimalChar) {
  char buf[400];
  size_t len = decimalText(v, buf, sizeof buf);
  std::string s(buf, len);
  if (v.n > 0 && v.point <= 0) {
    // Oracle writes no zero before the point: ".5", "-.5".
    size_t z = s.find("0.");
    s.erase(z, 1);
  }
  if (s.size() > 40) {
    // Scientific notation: d.dddE+nn
    std::string m;
    if (v.neg) m += '-';
    m += static_cast<char>('0' + v.d[0]);
    if (v.n > 1) {
      m += decimalChar;
      for (int i = 1; i < v.n; ++i) m += static_cast<char>('0' + v.d[i]);
    }
    int e = v.point - 1;
    m += e < 0 ? "E-" : "E+";
    std::string es = std::to_string(e < 0 ? -e : e);
    if (es.size() < 2) es = "0" + es;
    return m + es;
  }
  if (decimalChar != '.') {
    for (char& c : s)
      if (c == '.') c = decimalChar;
  }
  return s;
}

double decimalToDouble(const Decimal& v) {
  // Fast path: up to 15 digits and a power of ten that a double holds exactly give the correctly
  // rounded result with one multiplication or division.
  static const double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                  1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  int exp10 = v.point - v.n;
  if (v.n <= 15 && exp10 >= -22 && exp10 <= 22) {
    uint64_t m = 0;
    for (int i = 0; i < v.n; ++i) m = m * 10 + v.d[i];
    double r = static_cast<double>(m);
    r = exp10 >= 0 ? r * kPow10[exp10] : r / kPow10[-exp10];
    return v.neg ? -r : r;
  }
  char buf[128];
  size_t k = 0;
  if (v.neg) buf[k++] = '-';
  buf[k++] = '0';
  buf[k++] = '.';
  for (int i = 0; i < v.n; ++i) buf[k++] = static_cast<char>('0' + v.d[i]);
  if (v.n == 0) buf[k++] = '0';
  buf[k++] = 'e';
  auto r = std::to_chars(buf + k, buf + sizeof buf, v.point);
  double out = 0;
  std::from_chars(buf, r.ptr, out);
  return out;
}

bool decimalToInt(const Decimal& v, int64_t& out) {
  if (!v.isIntegral() || v.point > 19) return false;
  // Accumulate as a negative number so that INT64_MIN fits.
  int64_t acc = 0;
  for (int i = 0; i < v.point; ++i) {
    int digit = i < v.n ? v.d[i] : 0;
    if (acc < (INT64_MIN + digit) / 10) return false;
    acc = acc * 10 - digit;
  }
  if (!v.neg) {
    if (acc == INT64_MIN) return false;
    acc = -acc;
  }
  out = acc;
  return true;
}

std::string encodeNumber(Decimal v) {
  if (v.n == 0) return std::string(1, static_cast<char>(128));
  // Base-100 digits need the point at an even position; an odd point costs one digit of room.
  roundAt(v, (v.point % 2 == 0) ? 40 : 39);
  if (v.n == 0) return std::string(1, static_cast<char>(128));
  int point = v.point;
  uint8_t digits[44] = {};
  int nd = 0;
  if (point % 2 != 0) {
    digits[nd++] = 0;
    ++point;
  }
  for (int i = 0; i < v.n; ++i) digits[nd++] = v.d[i];
  if (nd % 2 != 0) digits[nd++] = 0;
  int exponent = point / 2 - 1;  // base-100 exponent of the first mantissa byte
  if (exponent > 62) raise(1426);
  if (exponent < -65) return std::string(1, static_cast<char>(128));
  std::string out;
  int expByte = exponent + 193;
  out += static_cast<char>(v.neg ? 255 - expByte : expByte);
  for (int i = 0; i < nd; i += 2) {
    int m = digits[i] * 10 + digits[i + 1];
    out += static_cast<char>(v.neg ? 101 - m : m + 1);
  }
  if (v.neg && out.size() < 21) out += static_cast<char>(102);
  return out;
}

bool decodeNumber(const unsigned char* p, size_t len, Decimal& out) {
  out = Decimal{};
  if (len == 0) return false;
  if (len == 1 && p[0] == 128) return true;
  bool neg = p[0] < 128;
  int expByte = neg ? 255 - p[0] : p[0];
  int exponent = expByte - 193;
  size_t end = len;
  if (neg && end > 1 && p[end - 1] == 102) --end;
  if (end - 1 > 20) return false;
  out.neg = neg;
  for (size_t i = 1; i < end; ++i) {
    int m = neg ? 101 - p[i] : p[i] - 1;
    if (m < 0 || m > 99) return false;
    out.d[out.n++] = static_cast<uint8_t>(m / 10);
    out.d[out.n++] = static_cast<uint8_t>(m % 10);
  }
  out.point = (exponent + 1) * 2;
  normalize(out);
  return true;
}

int quickNumber(const unsigned char* p, size_t len, int64_t& iv, double& dv) {
  bool canonical;
  return quickNumber(p, len, iv, dv, canonical);
}

int quickNumber(const unsigned char* p, size_t len, int64_t& iv, double& dv, bool& canonical) {
  canonical = false;
  if (len == 0) return 0;
  if (len == 1 && p[0] == 128) {
    canonical = true;
    iv = 0;
    return 1;
  }
  bool neg = p[0] < 128;
  int exponent = (neg ? 255 - p[0] : p[0]) - 193;
  size_t end = len;
  if (neg && p[end - 1] == 102) --end;
  int k = static_cast<int>(end) - 1;  // base-100 mantissa digits
  if (k < 1 || k > 9) {
    canonical = canonicalNumber(p, len);
    return 0;
  }
  // The base-100 digits as one integer; a digit out of range wraps around beyond 99.
  uint64_t m = 0;
  const unsigned bias = neg ? 101 : 1;
  for (size_t i = 1; i < end; ++i) {
    const unsigned digit = neg ? bias - p[i] : p[i] - bias;
    if (digit > 99) return 0;
    m = m * 100 + digit;
  }
  // Every digit is in range; a mantissa this short has no zero digit at either end and, when
  // negative, its 102, in the form encodeNumber writes.
  canonical = p[1] != bias && m % 100 != 0 && (!neg || end < len);
  int scale100 = exponent - (k - 1);  // value = m x 100^scale100
  if (scale100 >= 0 && exponent <= 8) {
    for (int i = 0; i < scale100; ++i) m *= 100;
    iv = neg ? -static_cast<int64_t>(m) : static_cast<int64_t>(m);
    return 1;
  }
  static const double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                  1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  int exp10 = 2 * scale100;
  if (scale100 >= 0) return 0;
  if (k <= 7 && exp10 >= -22) {
    // At most 14 digits and an exact power of ten: one division rounds correctly.
    double r = static_cast<double>(m) / kPow10[-exp10];
    dv = neg ? -r : r;
    return 2;
  }
#if defined(__x86_64__) && LDBL_MANT_DIG == 64
  // Powers of ten up to 10^26, each exact in the 64-bit mantissa of a long double.
  static const long double kPow10Long[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,
                                           1e7L,  1e8L,  1e9L,  1e10L, 1e11L, 1e12L, 1e13L,
                                           1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L, 1e20L,
                                           1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L};
  if (exp10 >= -26) {
    // Up to 18 digits: the x87 division rounds once to 64 bits; rounding that to a double is
    // correct unless the 11 dropped bits are exactly one half, which is left to the exact path.
    long double r = static_cast<long double>(m) / kPow10Long[-exp10];
    uint64_t mantissa;
    std::memcpy(&mantissa, &r, sizeof mantissa);
    if ((mantissa & 0x7FF) == 0x400) return 0;
    dv = static_cast<double>(neg ? -r : r);
    return 2;
  }
#endif
  return 0;
}

bool canonicalNumber(const unsigned char* p, size_t len) {
  if (len == 1) return p[0] == 128;  // zero
  if (len < 2 || len > 21) return false;
  if (p[0] >= 128) {
    // Positive: digit = byte - 1.
    for (size_t i = 1; i < len; ++i)
      if (p[i] < 1 || p[i] > 100) return false;
    return p[1] != 1 && p[len - 1] != 1;
  }
  // Negative: digit = 101 - byte; the 102 ends every mantissa shorter than 20 digits.
  size_t end = len;
  if (p[len - 1] == 102)
    --end;
  else if (len != 21)
    return false;
  if (end < 2) return false;
  for (size_t i = 1; i < end; ++i)
    if (p[i] < 2 || p[i] > 101) return false;
  return p[1] != 101 && p[end - 1] != 101;
}

// ---- exact arithmetic ------------------------------------------------------------------------
// Results are exact and then rounded to 40 significant digits, as Oracle's NUMBER arithmetic.

namespace {

// Builds a Decimal from significant digits (0-9 values, most significant first) and the power of
// ten of the position just above the first one: value = 0.digits x 10^point.
Decimal fromDigits(bool neg, const uint8_t* digits, int count, int point) {
  char buf[400];
  int k = 0;
  buf[k++] = neg ? '-' : '+';
  buf[k++] = '0';
  buf[k++] = '.';
  for (int i = 0; i < count && k < 300; ++i) buf[k++] = static_cast<char>('0' + digits[i]);
  if (count == 0) buf[k++] = '0';
  k += std::snprintf(buf + k, sizeof buf - k, "e%d", point);
  Decimal d;
  parseDecimal(std::string_view(buf, k), d);
  return d;
}

// |a| compared with |b|.
int compareMagnitude(const Decimal& a, const Decimal& b) {
  if (a.n == 0 || b.n == 0) return (a.n != 0) - (b.n != 0);
  if (a.point != b.point) return a.point < b.point ? -1 : 1;
  for (int i = 0; i < std::max(a.n, b.n); ++i) {
    int x = i < a.n ? a.d[i] : 0, y = i < b.n ? b.d[i] : 0;
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

}  // namespace

Decimal addDecimal(const Decimal& a, const Decimal& b) {
  if (a.n == 0) return b;
  if (b.n == 0) return a;
  // Positions by power of ten: index k stands for 10^(lo + k). Digits far below the result's
  // first 80 cannot change its first 40.
  int hi = std::max(a.point, b.point);
  int lo = std::max(std::min(a.point - a.n, b.point - b.n), hi - 82);
  int width = hi - lo + 1;
  int acc[90] = {};
  bool sameSign = a.neg == b.neg;
  const Decimal& big = compareMagnitude(a, b) >= 0 ? a : b;
  const Decimal& small = &big == &a ? b : a;
  auto place = [&](const Decimal& v, int sign) {
    for (int i = 0; i < v.n; ++i) {
      int e = v.point - 1 - i;
      if (e >= lo) acc[e - lo] += sign * v.d[i];
    }
  };
  place(big, 1);
  place(small, sameSign ? 1 : -1);
  for (int k = 0; k < width - 1; ++k) {
    while (acc[k] < 0) {
      acc[k] += 10;
      --acc[k + 1];
    }
    if (acc[k] > 9) {
      acc[k + 1] += acc[k] / 10;
      acc[k] %= 10;
    }
  }
  uint8_t digits[90];
  int count = 0;
  for (int k = width - 1; k >= 0; --k) digits[count++] = static_cast<uint8_t>(acc[k]);
  return fromDigits(big.neg, digits, count, hi + 1);
}

Decimal negateDecimal(Decimal v) {
  if (v.n > 0) v.neg = !v.neg;
  return v;
}

Decimal mulDecimal(const Decimal& a, const Decimal& b) {
  if (a.n == 0 || b.n == 0) return Decimal{};
  int prod[90] = {};
  for (int i = 0; i < a.n; ++i)
    for (int j = 0; j < b.n; ++j) prod[i + j + 1] += a.d[i] * b.d[j];
  int count = a.n + b.n;
  for (int k = count - 1; k > 0; --k) {
    prod[k - 1] += prod[k] / 10;
    prod[k] %= 10;
  }
  uint8_t digits[90];
  for (int k = 0; k < count; ++k) digits[k] = static_cast<uint8_t>(prod[k]);
  return fromDigits(a.neg != b.neg, digits, count, a.point + b.point);
}

Decimal divDecimal(const Decimal& a, const Decimal& b) {
  if (b.n == 0) raise(1476);
  if (a.n == 0) return Decimal{};
  // Long division of a's digits (followed by zeros) by b's digits, 43 quotient digits past the
  // first non-zero one.
  uint8_t rem[48] = {};  // remainder, most significant first, rlen digits
  int rlen = 0;
  uint8_t q[100];
  int qn = 0, firstNonZero = -1;
  auto remainderAtLeastDivisor = [&]() {
    int i = 0;
    while (i < rlen && rem[i] == 0) ++i;
    int len = rlen - i;
    if (len != b.n) return len > b.n;
    for (int k = 0; k < b.n; ++k)
      if (rem[i + k] != b.d[k]) return rem[i + k] > b.d[k];
    return true;
  };
  auto subtractDivisor = [&]() {
    int borrow = 0;
    for (int k = 0; k < rlen; ++k) {
      int ri = rlen - 1 - k;
      int bi = b.n - 1 - k;
      int v = rem[ri] - borrow - (bi >= 0 ? b.d[bi] : 0);
      borrow = v < 0;
      rem[ri] = static_cast<uint8_t>(v < 0 ? v + 10 : v);
    }
  };
  for (int step = 0; step < 95; ++step) {
    // Bring down the next digit of the dividend.
    if (rlen > 0 && rem[0] == 0) {
      std::memmove(rem, rem + 1, --rlen);
    }
    rem[rlen++] = step < a.n ? a.d[step] : 0;
    int digit = 0;
    while (remainderAtLeastDivisor()) {
      subtractDivisor();
      ++digit;
    }
    q[qn++] = static_cast<uint8_t>(digit);
    if (firstNonZero < 0 && digit != 0) firstNonZero = qn - 1;
    if (firstNonZero >= 0 && qn - firstNonZero >= 43) break;
  }
  // a = 0.A x 10^pa with A read as an integer of a.n digits; the quotient digits q stand for
  // A x 10^(qn - a.n) / B, where B has b.n digits.
  int exponent = a.point - b.point + b.n - a.n + (a.n - qn);
  return fromDigits(a.neg != b.neg, q, qn, exponent + qn);
}

bool valueToDecimal(sqlite3_value* v, Decimal& out) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
      return false;
    case SQLITE_INTEGER:
      out = decimalFromInt(sqlite3_value_int64(v));
      return true;
    case SQLITE_FLOAT:
      // A double here is the result of arithmetic (stored numbers and long literals are exact
      // blobs); its last binary digits are noise that Oracle's decimal arithmetic would not show.
      out = decimalFromDouble(sqlite3_value_double(v));
      roundToDigits(out, 15);
      return true;
    case SQLITE_BLOB: {
      auto* p = static_cast<const unsigned char*>(sqlite3_value_blob(v));
      if (!decodeNumber(p, sqlite3_value_bytes(v), out)) raise(1722);
      return true;
    }
    default: {
      auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
      std::string_view s(p, sqlite3_value_bytes(v));
      if (!parseDecimal(s, out)) raise(1722);
      return true;
    }
  }
}

}  // namespace standin
