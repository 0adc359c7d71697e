#pragma once
// The text of field values, exactly as the export writes it into DBF records. Every function
// reads the process-wide format settings at the moment it runs unless a settings object is
// passed in.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "dataset/text/ConvertError.h"
#include "dataset/text/DateTimeUtils.h"
#include "dataset/text/FormatSettings.h"

namespace tarnwick {

// Decimal, "-" before a negative value, no leading zeros, no group separators.
std::string IntToStr(int64_t value);

// The general number format with 15 significant digits. The magnitude is first taken to 18
// significant digits (nearest, ties to even, from the exact binary value), then the 16th digit
// rounds the 15th half up; trailing zeros are dropped. Decimal exponents from -3 to 15 (values
// from 0.0001 up to 15 integer digits) are written in fixed notation, others as "1.5E-5" or
// "1E15". Infinities and not-a-number give "INF", "-INF", "NAN"; zero of either sign gives "0".
std::string FloatToStr(double value, const TFormatSettings& settings);
std::string FloatToStr(double value);

// Patterns: "yyyy" four-digit year, "yy" year modulo 100, "dd" day, "mm" month (minutes when it
// follows an hour), "nn" minutes, "ss" seconds, "HH"/"hh" two-digit hour, "H"/"h" hour without a
// leading zero, "ampm" the settings' AM/PM text, "am/pm" and "AM/PM" those letters; the hours
// run 0..23 unless the pattern holds one of the AM/PM tokens. "/" gives the date separator;
// every other byte stands for itself. Raises EConvertError for values outside the years
// 1..9999 or not finite.
std::string FormatDateTime(std::string_view pattern, TDateTime value,
                           const TFormatSettings& settings);
std::string FormatDateTime(std::string_view pattern, TDateTime value);

// The date in the short date format, then a space and the time in the long time format when
// hours, minutes and seconds are not all zero (milliseconds are not shown and do not count).
std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings);
std::string DateTimeToStr(TDateTime value);
// The same text into `text`, whose storage is reused (a date with its time of day is longer
// than a string holds without allocating).
void DateTimeToStr(TDateTime value, const TFormatSettings& settings, std::string& text);

// The texts of the field classes; an empty optional is NULL and gives the empty text.
std::string StringFieldText(const std::optional<std::string>& value);
std::string StringFieldText(std::optional<std::string>&& value);  // the text moved out
std::string IntegerFieldText(std::optional<int32_t> value);
std::string FloatFieldText(std::optional<double> value);
std::string DateTimeFieldText(std::optional<TDateTime> value);
void DateTimeFieldText(std::optional<TDateTime> value, std::string& text);  // into `text`

// The integer of a float value: the nearest integer, an exact half going to the even neighbour
// (the IEEE default rounding, so 2.5 gives 2 and 3.5 gives 4). Raises EConvertError for
// not-a-number, infinities and results outside the signed 32-bit range.
int32_t FloatToInteger(double value);

}  // namespace tarnwick
