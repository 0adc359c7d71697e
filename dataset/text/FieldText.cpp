#include "dataset/text/FieldText.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

#include "dataset/text/NumberText.h"

namespace tarnwick {

namespace {

void AppendPadded(std::string& out, int value, int width) {
  if (value >= 0 && value < 100 && width <= 2) {  // the fields of a date or a time
    if (value >= 10 || width == 2) out += static_cast<char>('0' + value / 10);
    out += static_cast<char>('0' + value % 10);
    return;
  }
  if (value >= 1000 && value <= 9999 && width <= 4) {  // the year of every date of our era
    const char digits[4] = {
        static_cast<char>('0' + value / 1000), static_cast<char>('0' + value / 100 % 10),
        static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
    out.append(digits, 4);
    return;
  }
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  for (auto length = result.ptr - buffer; length < width; ++length) out += '0';
  out.append(buffer, result.ptr);
}

// Whether `text` holds the literal `prefix` at `at`; compared byte by byte, as patterns are short
// and every date of an export passes through here.
template <size_t N>
bool StartsWith(std::string_view text, size_t at, const char (&prefix)[N]) {
  constexpr size_t length = N - 1;
  if (text.size() - at < length) return false;
  for (size_t k = 0; k < length; ++k)
    if (text[at + k] != prefix[k]) return false;
  return true;
}

bool StartsWithIgnoringCase(std::string_view text, size_t at, std::string_view lowerPrefix) {
  if (text.size() - at < lowerPrefix.size()) return false;
  for (size_t k = 0; k < lowerPrefix.size(); ++k) {
    char c = text[at + k];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lowerPrefix[k]) return false;
  }
  return true;
}

bool HasAmPmToken(std::string_view pattern) {
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != 'a' && pattern[i] != 'A') continue;
    if (StartsWithIgnoringCase(pattern, i, "ampm") || StartsWith(pattern, i, "am/pm") ||
        StartsWith(pattern, i, "AM/PM"))
      return true;
  }
  return false;
}

// Tokens are told apart by their first letter, so each position tries only the tokens that
// start with its byte, in the order of the pattern language (the longer year first).
void AppendParts(std::string& out, std::string_view pattern, const TDateTimeParts& parts,
                 const TFormatSettings& settings) {
  const bool twelveHour = HasAmPmToken(pattern);
  const int hour = parts.Time.Hour;
  const int shownHour = twelveHour ? (hour % 12 == 0 ? 12 : hour % 12) : hour;
  bool afterHour = false;
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    switch (c) {
      case 'y':
        if (StartsWith(pattern, i, "yyyy")) {
          AppendPadded(out, parts.Date.Year, 4);
          i += 4;
          afterHour = false;
          continue;
        }
        if (StartsWith(pattern, i, "yy")) {
          AppendPadded(out, parts.Date.Year % 100, 2);
          i += 2;
          afterHour = false;
          continue;
        }
        break;
      case 'm':
        if (StartsWith(pattern, i, "mm")) {
          AppendPadded(out, afterHour ? parts.Time.Minute : parts.Date.Month, 2);
          i += 2;
          afterHour = false;
          continue;
        }
        break;
      case 'd':
        if (StartsWith(pattern, i, "dd")) {
          AppendPadded(out, parts.Date.Day, 2);
          i += 2;
          afterHour = false;
          continue;
        }
        break;
      case 'n':
        if (StartsWith(pattern, i, "nn")) {
          AppendPadded(out, parts.Time.Minute, 2);
          i += 2;
          afterHour = false;
          continue;
        }
        break;
      case 's':
        if (StartsWith(pattern, i, "ss")) {
          AppendPadded(out, parts.Time.Second, 2);
          i += 2;
          afterHour = false;
          continue;
        }
        break;
      case 'h':
      case 'H': {
        const bool twoDigits =
            i + 1 < pattern.size() && (pattern[i + 1] == 'h' || pattern[i + 1] == 'H');
        AppendPadded(out, shownHour, twoDigits ? 2 : 1);
        i += twoDigits ? 2 : 1;
        afterHour = true;
        continue;
      }
      case 'a':
      case 'A':
        if (StartsWithIgnoringCase(pattern, i, "ampm")) {
          out += hour < 12 ? settings.TimeAMString : settings.TimePMString;
          i += 4;
          afterHour = false;
          continue;
        }
        if (StartsWith(pattern, i, "am/pm")) {
          out += hour < 12 ? "am" : "pm";
          i += 5;
          afterHour = false;
          continue;
        }
        if (StartsWith(pattern, i, "AM/PM")) {
          out += hour < 12 ? "AM" : "PM";
          i += 5;
          afterHour = false;
          continue;
        }
        break;
      case '/':
        out += settings.DateSeparator;
        ++i;
        continue;
      default:
        break;
    }
    out += c;
    ++i;
  }
}

std::string FormatParts(std::string_view pattern, const TDateTimeParts& parts,
                        const TFormatSettings& settings) {
  std::string out;
  AppendParts(out, pattern, parts, settings);
  return out;
}

}  // namespace

std::string IntToStr(int64_t value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

namespace {

// The text of a magnitude 0.d1d2... x 10^decimalExponent, its digits without trailing zeros.
std::string FloatDigitsText(bool negative, std::string_view digits, int decimalExponent,
                            char separator) {
  std::string out;
  if (decimalExponent >= -3 && decimalExponent <= 15)
    AppendFixedText(out, negative, digits, decimalExponent, separator);
  else
    AppendExponentText(out, negative, digits, decimalExponent, separator);
  return out;
}

// The significant digits of a scientific text "d.ddde+X" into `digits` (at most 18), and its
// exponent X.
int ScientificParts(std::string_view scientific, char* digits, std::size_t& count) {
  const std::size_t exponentAt = scientific.find('e');
  count = 0;
  for (std::size_t i = 0; i < exponentAt; ++i)
    if (scientific[i] != '.') digits[count++] = scientific[i];
  int exponent = 0;
  const char* exponentText = scientific.data() + exponentAt + 1;
  if (*exponentText == '+') ++exponentText;
  std::from_chars(exponentText, scientific.data() + scientific.size(), exponent);
  return exponent;
}

}  // namespace

std::string FloatToStr(double value, const TFormatSettings& settings) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  const double magnitude = std::fabs(value);
  char buffer[64];
  char digits[20];
  std::size_t count = 0;

  // Most values of a table are short decimals (amounts, quantities). When the shortest text that
  // reads back as the value has at most 15 significant digits, it is the result: the exact binary
  // value lies within half a unit of the last binary place of it, a ninth of a unit in its 15th
  // digit at most, so the two roundings below give the same digits. Subnormals are left to the
  // full road, as their last binary place is wider.
  if (std::isnormal(value)) {
    const auto shortest =
        std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific);
    const int exponent =
        ScientificParts(std::string_view(buffer, shortest.ptr - buffer), digits, count);
    if (count <= 15) {
      while (count > 1 && digits[count - 1] == '0') --count;
      return FloatDigitsText(value < 0, std::string_view(digits, count), exponent + 1,
                             settings.DecimalSeparator);
    }
  }

  // The exact binary value correctly rounded (ties to even) to 18 significant digits:
  // "d.ddddddddddddddddde+X".
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 17);
  // magnitude = 0.d1d2... x 10^decimalExponent
  int decimalExponent =
      ScientificParts(std::string_view(buffer, result.ptr - buffer), digits, count) + 1;

  // The 16th digit rounds the 15th half up.
  const bool roundUp = digits[15] >= '5';
  count = 15;
  if (roundUp) {
    int k = 14;
    while (k >= 0 && digits[k] == '9') digits[k--] = '0';
    if (k >= 0) {
      ++digits[k];
    } else {
      // Every digit was a 9: the value rounds to the next power of ten.
      digits[0] = '1';
      count = 1;
      ++decimalExponent;
    }
  }
  while (count > 1 && digits[count - 1] == '0') --count;
  return FloatDigitsText(value < 0, std::string_view(digits, count), decimalExponent,
                         settings.DecimalSeparator);
}

std::string FloatToStr(double value) {
  return FloatToStr(value, FormatSettings());
}

std::string FormatDateTime(std::string_view pattern, TDateTime value,
                           const TFormatSettings& settings) {
  return FormatParts(pattern, DecodeDateTime(value), settings);
}

std::string FormatDateTime(std::string_view pattern, TDateTime value) {
  return FormatDateTime(pattern, value, FormatSettings());
}

void DateTimeToStr(TDateTime value, const TFormatSettings& settings, std::string& text) {
  const TDateTimeParts parts = DecodeDateTime(value);
  text.clear();
  AppendParts(text, settings.ShortDateFormat, parts, settings);
  if (parts.Time.Hour != 0 || parts.Time.Minute != 0 || parts.Time.Second != 0) {
    text += ' ';
    AppendParts(text, settings.LongTimeFormat, parts, settings);
  }
}

std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings) {
  std::string text;
  DateTimeToStr(value, settings, text);
  return text;
}

std::string DateTimeToStr(TDateTime value) {
  return DateTimeToStr(value, FormatSettings());
}

std::string StringFieldText(const std::optional<std::string>& value) {
  return value.value_or(std::string());
}

std::string StringFieldText(std::optional<std::string>&& value) {
  return value ? std::move(*value) : std::string();
}

std::string IntegerFieldText(std::optional<int32_t> value) {
  return value ? IntToStr(*value) : std::string();
}

std::string FloatFieldText(std::optional<double> value) {
  return value ? FloatToStr(*value) : std::string();
}

std::string DateTimeFieldText(std::optional<TDateTime> value) {
  return value ? DateTimeToStr(*value) : std::string();
}

void DateTimeFieldText(std::optional<TDateTime> value, std::string& text) {
  if (value)
    DateTimeToStr(*value, FormatSettings(), text);
  else
    text.clear();
}

int32_t FloatToInteger(double value) {
  if (std::isnan(value)) throw EConvertError("Cannot convert NAN to an integer");
  double rounded = std::round(value);  // halves away from zero
  if (std::fabs(value - std::trunc(value)) == 0.5) rounded = 2 * std::round(value / 2);
  if (!(rounded >= std::numeric_limits<int32_t>::min() &&
        rounded <= std::numeric_limits<int32_t>::max()))
    throw EConvertError("Value " + FloatToStr(value) + " is out of the 32-bit integer range");
  return static_cast<int32_t>(rounded);
}

}  // namespace tarnwick
