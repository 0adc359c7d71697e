#pragma once
// Conversions of engine values into the client's external forms: NUMBER and DATE as text under the
// session's NLS settings, NUMBER in Oracle's internal bytes, DATE in its 7-byte form. Nothing here
// allocates once a date format has been compiled, so the fetch path can call it per value.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "standin/engine/engine.h"

namespace standin::oci {

// A compiled NLS date format model (DD-MON-RR, YYYYMMDD, 'DD.MM.YYYY HH24:MI:SS', ...).
class DateFormat {
 public:
  void compile(std::string_view model);
  // Writes the text of `d` into out (at most cap bytes) and returns its length.
  size_t format(const DateTime& d, char* out, size_t cap) const;

 private:
  enum class Kind : uint8_t {
    Literal,
    Year4,
    Year3,
    Year2,
    Year1,
    Month2,
    MonthAbbr,
    MonthName,
    Day2,
    DayOfYear,
    DayOfWeek,
    DayAbbr,
    DayName,
    Hour12,
    Hour24,
    Minute,
    Second,
    SecondsOfDay,
    Meridian,
    MeridianDots,
    FillMode,
    FormatExact
  };
  enum class Case : uint8_t { Upper, Capital, Lower };
  struct Token {
    Kind kind;
    Case letterCase;
    uint16_t literalOffset;
    uint16_t literalLength;
  };
  std::vector<Token> tokens_;
  std::vector<char> literals_;
};

// Oracle's TO_CHAR form of a NUMBER given as its exact decimal text: no leading zero before the
// decimal point ("0.5" -> ".5", "-0.25" -> "-.25"), the decimal character of
// NLS_NUMERIC_CHARACTERS. Returns the length written (at most cap).
size_t formatNumber(std::string_view decimalText, char decimalChar, char* out, size_t cap);

// Oracle's internal NUMBER bytes (exponent byte + base-100 mantissa, at most 21 bytes) of the
// decimal text; returns the byte count, 0 when the text is not a number.
size_t encodeNumber(std::string_view decimalText, unsigned char out[21]);

// The 7-byte DATE form: century+100, year+100, month, day, hour+1, minute+1, second+1.
void encodeDate(const DateTime& d, unsigned char out[7]);

// Parses a decimal text (optional sign, digits, point, exponent) as a double; false when it is not
// a number.
bool parseNumber(std::string_view text, double& value);

}  // namespace standin::oci
