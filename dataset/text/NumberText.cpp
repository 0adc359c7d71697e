#include "dataset/text/NumberText.h"

#include <charconv>
#include <cstdlib>

namespace tarnwick {

namespace {

// A decimal number: magnitude = 0.Digits x 10^Exponent, Digits without leading or trailing
// zeros; no digits is zero.
struct TDecimal {
  bool Negative = false;
  std::string Digits;
  int Exponent = 0;
};

void Normalize(TDecimal& d) {
  const std::size_t first = d.Digits.find_first_not_of('0');
  if (first == std::string::npos) {
    d = TDecimal{};
    return;
  }
  d.Digits.erase(0, first);
  d.Exponent -= static_cast<int>(first);
  d.Digits.erase(d.Digits.find_last_not_of('0') + 1);
}

std::string FixedText(const TDecimal& d, char separator) {
  std::string out;
  AppendFixedText(out, d.Negative, d.Digits, d.Exponent, separator);
  return out;
}

std::string ExponentText(const TDecimal& d, char separator) {
  std::string out;
  AppendExponentText(out, d.Negative, d.Digits, d.Exponent, separator);
  return out;
}

// The first `keep` digits, the next one rounding half away from zero.
TDecimal Rounded(TDecimal d, std::size_t keep) {
  if (keep >= d.Digits.size()) return d;
  const bool up = d.Digits[keep] >= '5';
  d.Digits.resize(keep);
  if (up) {
    std::size_t k = keep;
    while (k > 0 && d.Digits[k - 1] == '9') d.Digits[--k] = '0';
    if (k > 0) {
      ++d.Digits[k - 1];
    } else {
      d.Digits.insert(d.Digits.begin(), '1');
      ++d.Exponent;
    }
  }
  Normalize(d);
  return d;
}

// A decimal text: an optional sign, digits with at most one decimal separator, an optional
// exponent "E" or "e" with an optional sign.
std::optional<TDecimal> Parse(std::string_view text, char separator) {
  TDecimal d;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) d.Negative = text[i++] == '-';
  bool anyDigit = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      anyDigit = true;
      d.Digits += c;
      if (!point) ++d.Exponent;
    } else if (c == separator && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!anyDigit) return std::nullopt;
  if (i < text.size()) {
    if (text[i] != 'E' && text[i] != 'e') return std::nullopt;
    ++i;
    if (i < text.size() && text[i] == '+') ++i;
    int exponent = 0;
    const auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), exponent);
    if (ec != std::errc() || end != text.data() + text.size() || i == text.size())
      return std::nullopt;
    if (exponent > 100000 || exponent < -100000) return std::nullopt;
    d.Exponent += exponent;
  }
  Normalize(d);
  return d;
}

[[noreturn]] void NotANumber() {
  throw EConvertError("The bytes are not an Oracle NUMBER");
}

}  // namespace

void AppendFixedText(std::string& out, bool negative, std::string_view digits, int exponent,
                     char separator) {
  if (digits.empty()) {
    out += '0';
    return;
  }
  if (negative) out += '-';
  const int count = static_cast<int>(digits.size());
  if (exponent > 0) {
    if (count <= exponent) {
      out += digits;
      out.append(static_cast<std::size_t>(exponent - count), '0');
    } else {
      out.append(digits.substr(0, static_cast<std::size_t>(exponent)));
      out += separator;
      out.append(digits.substr(static_cast<std::size_t>(exponent)));
    }
  } else {
    out += '0';
    out += separator;
    out.append(static_cast<std::size_t>(-exponent), '0');
    out += digits;
  }
}

void AppendExponentText(std::string& out, bool negative, std::string_view digits, int exponent,
                        char separator) {
  if (digits.empty()) {
    out += '0';
    return;
  }
  if (negative) out += '-';
  out += digits[0];
  if (digits.size() > 1) {
    out += separator;
    out.append(digits.substr(1));
  }
  out += 'E';
  char text[12];
  out.append(text, std::to_chars(text, text + sizeof text, exponent - 1).ptr);
}

void OraNumberToStr(const uint8_t* number, std::size_t length, const TFormatSettings& settings,
                    std::string& text) {
  if (length == 0 || length > 21) NotANumber();
  const uint8_t head = number[0];
  if (head == 0x80 && length == 1) {
    text = "0";
    return;
  }
  if (head == 0 && length == 1) {
    text = "-INF";
    return;
  }
  if (head == 0xFF && length == 2 && number[1] == 101) {
    text = "INF";
    return;
  }

  const bool negative = head < 0x80;
  // The exponent byte counts powers of 100 from 193 (its complement for a negative value); each
  // further byte is one base-100 digit, plus one, or 101 minus it for a negative value, which
  // ends with the byte 102 when it has fewer than 20 digits. The digits are gathered on the
  // stack: every value of a NUMBER column passes through here.
  const int exponent = negative ? 62 - head : head - 193;
  std::size_t end = length;
  if (negative && end > 1 && number[end - 1] == 102) --end;
  if (end < 2) NotANumber();
  char buffer[2 * 20];
  std::size_t count = 0;
  for (std::size_t i = 1; i < end; ++i) {
    const int digit = negative ? 101 - number[i] : number[i] - 1;
    if (digit < 0 || digit > 99) NotANumber();
    buffer[count++] = static_cast<char>('0' + digit / 10);
    buffer[count++] = static_cast<char>('0' + digit % 10);
  }
  std::size_t first = 0;
  while (first < count && buffer[first] == '0') ++first;
  if (first == count) NotANumber();
  while (buffer[count - 1] == '0') --count;
  const std::string_view digits(buffer + first, count - first);
  const int decimalExponent = 2 * (exponent + 1) - static_cast<int>(first);
  const char separator = settings.DecimalSeparator;
  // A small value stays in fixed notation while its fraction has at most 40 digits: readers of
  // old DBF programs take "1E-10" for 1, "0.0000000001" they read right.
  const int fractionDigits = static_cast<int>(digits.size()) - decimalExponent;
  const bool fixed = decimalExponent <= 40 && (decimalExponent >= -3 || fractionDigits <= 40);
  text.clear();
  if (fixed)
    AppendFixedText(text, negative, digits, decimalExponent, separator);
  else
    AppendExponentText(text, negative, digits, decimalExponent, separator);
}

std::string OraNumberToStr(const uint8_t* number, std::size_t length,
                           const TFormatSettings& settings) {
  std::string text;
  OraNumberToStr(number, length, settings, text);
  return text;
}

std::string OraNumberToStr(const uint8_t* number, std::size_t length) {
  return OraNumberToStr(number, length, FormatSettings());
}

void OraNumberFieldText(const std::optional<std::string_view>& lengthPrefixed, std::string& text) {
  if (!lengthPrefixed) {
    text.clear();
    return;
  }
  if (lengthPrefixed->empty()) NotANumber();
  const auto* bytes = reinterpret_cast<const uint8_t*>(lengthPrefixed->data());
  const std::size_t length = bytes[0];
  if (length + 1 > lengthPrefixed->size()) NotANumber();
  OraNumberToStr(bytes + 1, length, FormatSettings(), text);
}

std::string OraNumberFieldText(const std::optional<std::string_view>& lengthPrefixed) {
  std::string text;
  OraNumberFieldText(lengthPrefixed, text);
  return text;
}

TFittedNumber FitNumberText(const std::string& text, std::size_t length,
                            const TFormatSettings& settings) {
  if (text.size() <= length) return {text, false};
  const char separator = settings.DecimalSeparator;
  const std::optional<TDecimal> value = Parse(text, separator);
  if (!value || value->Digits.empty()) return {text, true};
  const std::size_t digits = value->Digits.size();
  for (std::size_t keep = digits; keep >= 1; --keep) {
    const TDecimal rounded = Rounded(*value, keep);
    std::string fixed = FixedText(rounded, separator);
    if (fixed.size() <= length) return {std::move(fixed), keep < digits};
    std::string exponent = ExponentText(rounded, separator);
    if (exponent.size() <= length) return {std::move(exponent), keep < digits};
  }
  return {text, true};
}

TFittedNumber FitNumberText(const std::string& text, std::size_t length) {
  return FitNumberText(text, length, FormatSettings());
}

}  // namespace tarnwick
