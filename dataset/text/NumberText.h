#pragma once
// The exact text of an Oracle NUMBER, and the rule that fits a number's text into a DBF field of
// a given length. Both read the process-wide decimal separator unless a settings object is passed.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "dataset/text/ConvertError.h"
#include "dataset/text/FormatSettings.h"

namespace tarnwick {

// The bytes of one Oracle NUMBER as the client library returns it with SQLT_VNU: a length byte
// (1..21) and then the number itself (an exponent byte and up to 20 base-100 digits).
inline constexpr std::size_t kOraNumberSize = 22;

// Appends the text of a decimal, magnitude = 0.digits x 10^exponent (digits without leading or
// trailing zeros; none is zero, which gives "0"), with "-" before a negative one: in fixed notation
// ("123.45", "0.001"), or in exponent notation ("1.5E-45", "1E125").
void AppendFixedText(std::string& out, bool negative, std::string_view digits, int exponent,
                     char separator);
void AppendExponentText(std::string& out, bool negative, std::string_view digits, int exponent,
                        char separator);

// The exact decimal text of an Oracle NUMBER given by its bytes (without the length byte): every
// significant digit (up to 40), "-" before a negative value, no leading zeros, no trailing zeros
// after the decimal separator. With magnitude = 0.d1...dm x 10^E, values of up to 40 integer
// digits are written in fixed notation when E >= -3 (from 0.0001 on) or when the fraction has at
// most 40 digits (0.0000000001, since old DBF programs read an exponent as the end of the number);
// others as "1.5E-45" or "1E125", as the general number format writes them. Zero gives "0"; the two
// infinities "INF" and "-INF". Raises EConvertError for bytes that are no NUMBER.
std::string OraNumberToStr(const uint8_t* number, std::size_t length,
                           const TFormatSettings& settings);
std::string OraNumberToStr(const uint8_t* number, std::size_t length);
// The same text into `text`, whose storage is reused; `text` is unchanged when the bytes are
// refused.
void OraNumberToStr(const uint8_t* number, std::size_t length, const TFormatSettings& settings,
                    std::string& text);

// The text of a field holding an Oracle NUMBER in the length-prefixed form above; an empty
// optional is NULL and gives the empty text.
std::string OraNumberFieldText(const std::optional<std::string_view>& lengthPrefixed);
void OraNumberFieldText(const std::optional<std::string_view>& lengthPrefixed,
                        std::string& text);  // into `text`

// A number's text fitted into a DBF field of `length` characters.
struct TFittedNumber {
  std::string Text;
  bool Rounded = false;  // the value changed: digits were rounded away
};

// A text that is not longer than the field stays as it is. A longer number is written with as
// many significant digits as the field holds, rounded half away from zero: in fixed notation
// when that form fits with at least as many digits as the exponent form, else as
// "d.dddE-x"; Rounded tells whether digits were lost (a value that only changes its notation,
// 1E39 for 1000...0, is not rounded). A text that is no number, or a number that does not fit
// even with one digit, is returned unchanged (the writer cuts it) and counts as rounded.
TFittedNumber FitNumberText(const std::string& text, std::size_t length,
                            const TFormatSettings& settings);
TFittedNumber FitNumberText(const std::string& text, std::size_t length);

}  // namespace tarnwick
