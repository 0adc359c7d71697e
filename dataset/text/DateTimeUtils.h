#pragma once
// Date-time values: a double counting days since 30 December 1899, the fraction being the time of
// day. Before that origin the value is negative; its integer part is still the day and the
// absolute value of its fraction the time (-1.25 is 29 December 1899, 06:00). Calendar
// arithmetic is proleptic Gregorian over the years 1..9999.
#include <cstdint>

#include "dataset/text/ConvertError.h"

namespace tarnwick {

using TDateTime = double;

inline constexpr int32_t MSecsPerDay = 86400000;
// Day number of 30 December 1899 when 1 January of year 1 is day 1.
inline constexpr int32_t DateDelta = 693594;
// Day numbers (1 January 0001 = 1) of the first and last representable dates.
inline constexpr int32_t MinDateDay = 1;
inline constexpr int32_t MaxDateDay = 3652059;

// A date-time split into a day number (1 January 0001 = 1) and milliseconds since midnight.
struct TTimeStamp {
  int32_t Time = 0;
  int32_t Date = 0;
  bool operator==(const TTimeStamp&) const = default;
};

struct TDateParts {
  int Year = 0;
  int Month = 0;
  int Day = 0;
  bool operator==(const TDateParts&) const = default;
};

struct TTimeParts {
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int MSec = 0;
  bool operator==(const TTimeParts&) const = default;
};

struct TDateTimeParts {
  TDateParts Date;
  TTimeParts Time;
};

bool IsLeapYear(int year);
// 28..31, or 0 for a month outside 1..12.
int DaysInMonth(int year, int month);

// False, leaving result untouched, for a date that does not exist or lies outside 1..9999.
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result);
// The throwing forms raise EConvertError naming the rejected values.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
// Date and time joined by the sign rule: date + time on or after the origin, date - time before.
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec);

// The time is rounded to the nearest millisecond; 24:00:00.000 carries into the next day, so
// decoding the date and the time of one value always agrees. Values that are not finite or fall
// outside 1 January 0001 .. 31 December 9999 raise EConvertError.
TTimeStamp DateTimeToTimeStamp(TDateTime value);
TDateTime TimeStampToDateTime(const TTimeStamp& stamp);
TDateParts DecodeDate(TDateTime value);
TTimeParts DecodeTime(TDateTime value);
TDateTimeParts DecodeDateTime(TDateTime value);

// The millisecond form that record buffers hold: day number (1 January 0001 = 1) x 86400000 +
// milliseconds since midnight.
double DateTimeToMSecs(TDateTime value);
// The inverse: the milliseconds are rounded to an integer first; days before 30 December 1899
// put the time of day below the day, as in the sign rule above. Raises EConvertError when the
// argument is not finite.
TDateTime MSecsToDateTime(double msecs);

}  // namespace tarnwick
