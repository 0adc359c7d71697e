#include "dataset/text/DateTimeUtils.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <string>

namespace tarnwick {

namespace {

// 30 December 1899 counted from 1 January 1970.
constexpr int32_t OriginFromUnixEpoch = -25569;

// Shortest round-trip text, independent of the C locale's decimal point.
std::string NumberText(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

[[noreturn]] void ThrowInvalidDateTime(TDateTime value) {
  throw EConvertError("Invalid date-time value " + NumberText(value) +
                      ": not a date between 01.01.0001 and 31.12.9999");
}

}  // namespace

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (year < 1 || year > 9999 || day < 1 || day > DaysInMonth(year, month)) return false;
  const std::chrono::year_month_day ymd{std::chrono::year{year},
                                        std::chrono::month{static_cast<unsigned>(month)},
                                        std::chrono::day{static_cast<unsigned>(day)}};
  const auto days = std::chrono::sys_days{ymd}.time_since_epoch().count();
  result = static_cast<TDateTime>(days - OriginFromUnixEpoch);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 ||
      msec > 999)
    return false;
  const int32_t ms = ((hour * 60 + minute) * 60 + second) * 1000 + msec;
  result = static_cast<TDateTime>(ms) / MSecsPerDay;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime result = 0;
  if (!TryEncodeDate(year, month, day, result))
    throw EConvertError("Invalid date: year " + std::to_string(year) + ", month " +
                        std::to_string(month) + ", day " + std::to_string(day));
  return result;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
  TDateTime result = 0;
  if (!TryEncodeTime(hour, minute, second, msec, result))
    throw EConvertError("Invalid time: hour " + std::to_string(hour) + ", minute " +
                        std::to_string(minute) + ", second " + std::to_string(second) +
                        ", millisecond " + std::to_string(msec));
  return result;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
  const TDateTime date = EncodeDate(year, month, day);
  const TDateTime time = EncodeTime(hour, minute, second, msec);
  return date >= 0 ? date + time : date - time;
}

TTimeStamp DateTimeToTimeStamp(TDateTime value) {
  if (!std::isfinite(value)) ThrowInvalidDateTime(value);
  double day = std::trunc(value);
  // Subtracting the integer part is exact, so the only rounding is the one to milliseconds.
  double msecs = std::round(std::fabs(value - day) * MSecsPerDay);
  if (msecs >= MSecsPerDay) {
    // 24:00:00.000 is the start of the next calendar day, whatever the sign of the value.
    msecs = 0;
    day += 1;
  }
  const double dayNumber = day + DateDelta;
  if (dayNumber < MinDateDay || dayNumber > MaxDateDay) ThrowInvalidDateTime(value);
  return TTimeStamp{static_cast<int32_t>(msecs), static_cast<int32_t>(dayNumber)};
}

TDateTime TimeStampToDateTime(const TTimeStamp& stamp) {
  const int64_t days = static_cast<int64_t>(stamp.Date) - DateDelta;
  const int64_t total =
      days >= 0 ? days * MSecsPerDay + stamp.Time : days * MSecsPerDay - stamp.Time;
  return static_cast<double>(total) / MSecsPerDay;
}

TDateTimeParts DecodeDateTime(TDateTime value) {
  const TTimeStamp stamp = DateTimeToTimeStamp(value);
  const std::chrono::sys_days sys{
      std::chrono::days{static_cast<int64_t>(stamp.Date) - DateDelta + OriginFromUnixEpoch}};
  const std::chrono::year_month_day ymd{sys};
  TDateTimeParts parts;
  parts.Date = TDateParts{static_cast<int>(ymd.year()), static_cast<int>(unsigned(ymd.month())),
                          static_cast<int>(unsigned(ymd.day()))};
  int32_t ms = stamp.Time;
  parts.Time.MSec = ms % 1000;
  ms /= 1000;
  parts.Time.Second = ms % 60;
  ms /= 60;
  parts.Time.Minute = ms % 60;
  parts.Time.Hour = ms / 60;
  return parts;
}

TDateParts DecodeDate(TDateTime value) {
  return DecodeDateTime(value).Date;
}

TTimeParts DecodeTime(TDateTime value) {
  return DecodeDateTime(value).Time;
}

double DateTimeToMSecs(TDateTime value) {
  const TTimeStamp stamp = DateTimeToTimeStamp(value);
  return static_cast<double>(stamp.Date) * MSecsPerDay + stamp.Time;
}

TDateTime MSecsToDateTime(double msecs) {
  // Far beyond any date of the years 1..9999, yet safely inside 64-bit integers.
  constexpr double kLimit = 1e18;
  if (!std::isfinite(msecs) || std::fabs(msecs) > kLimit)
    throw EConvertError("Invalid millisecond date-time value " + NumberText(msecs));
  const auto ms = static_cast<int64_t>(std::round(msecs));
  const int64_t days = ms / MSecsPerDay - DateDelta;
  const int64_t time = ms % MSecsPerDay;
  const int64_t total = days >= 0 ? days * MSecsPerDay + time : days * MSecsPerDay - time;
  return static_cast<double>(total) / MSecsPerDay;
}

}  // namespace tarnwick
