// Date-time values: encoding and decoding, the calendar over the years 1..9999, dates and times
// that do not exist, the date-time texts under both short date formats, and the long time
// format taken from the locale.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "dataset/text/DateTimeUtils.h"
#include "dataset/text/FieldText.h"
#include "dataset/text/FormatSettings.h"
#include "testsupport/core/ScopedEnvVar.h"
#include "testsupport/core/ScratchDir.h"

// With LOCPATH set, glibc's newlocale keeps the search path it builds for its locale file cache
// for the life of the process; the leak checker of the sanitizer build would report it.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
  return "leak:__argz_add_sep\n";
}

namespace tarnwick {
namespace {

TEST(DateTime, KnownDatesHaveKnownDayNumbers) {
  struct Case {
    int year, month, day;
    double value;
  };
  const Case cases[] = {
      {1899, 12, 30, 0},    {1899, 12, 31, 1},   {1900, 1, 1, 2},         {1899, 12, 29, -1},
      {1900, 3, 1, 61},     {1970, 1, 1, 25569}, {2000, 1, 1, 36526},     {2008, 8, 15, 39675},
      {2000, 2, 29, 36585}, {1, 1, 1, -693593},  {9999, 12, 31, 2958465}, {1600, 2, 29, -109512},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeDate(c.year, c.month, c.day), c.value)
        << c.year << "-" << c.month << "-" << c.day;
    EXPECT_EQ(DecodeDate(c.value), (TDateParts{c.year, c.month, c.day})) << c.value;
  }
}

// Walks every day from 1 January 0001 to 31 December 9999 with a calendar of the test's own
// and checks that consecutive dates get consecutive day numbers and decode back, with a time of
// day that changes from day to day.
TEST(DateTime, EveryDateOfTheYearsOneToNineThousandRoundTrips) {
  static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  std::mt19937 random(1899);
  std::uniform_int_distribution<int> msOfDay(0, MSecsPerDay - 1);
  double expected = -693593;
  int mismatches = 0;
  for (int year = 1; year <= 9999; ++year) {
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    for (int month = 1; month <= 12; ++month) {
      const int days = kMonthDays[month - 1] + (month == 2 && leap ? 1 : 0);
      for (int day = 1; day <= days; ++day, ++expected) {
        const int ms = msOfDay(random);
        const int hour = ms / 3600000, minute = ms / 60000 % 60, second = ms / 1000 % 60,
                  msec = ms % 1000;
        const TDateTime date = EncodeDate(year, month, day);
        const TDateTime value = EncodeDateTime(year, month, day, hour, minute, second, msec);
        const TDateTimeParts parts = DecodeDateTime(value);
        const bool ok = date == expected && (value >= 0) == (expected >= 0) &&
                        std::trunc(value) == expected &&
                        parts.Date == (TDateParts{year, month, day}) &&
                        parts.Time == (TTimeParts{hour, minute, second, msec});
        if (!ok && ++mismatches <= 10)
          ADD_FAILURE() << year << "-" << month << "-" << day << " " << ms << " ms: " << value;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(expected, 2958466);
}

TEST(DateTime, DatesThatDoNotExistAreRejected) {
  struct Case {
    int year, month, day;
  };
  const Case cases[] = {
      {2023, 4, 31}, {1900, 2, 29}, {2100, 2, 29},  {2023, 2, 29}, {2023, 13, 1},
      {2023, 0, 10}, {2023, 1, 0},  {2023, 1, 32},  {0, 1, 1},     {-5, 6, 15},
      {10000, 1, 1}, {2023, 6, 31}, {2023, 11, 31}, {2023, -1, 1}, {2023, 12, -3},
  };
  for (const Case& c : cases) {
    TDateTime result = 12345;
    EXPECT_FALSE(TryEncodeDate(c.year, c.month, c.day, result))
        << c.year << "-" << c.month << "-" << c.day;
    EXPECT_EQ(result, 12345) << "left untouched";
    const std::string expected = "Invalid date: year " + std::to_string(c.year) + ", month " +
                                 std::to_string(c.month) + ", day " + std::to_string(c.day);
    EXPECT_THAT([&] { EncodeDate(c.year, c.month, c.day); },
                ::testing::ThrowsMessage<EConvertError>(::testing::StrEq(expected)));
  }
  // Leap days that do exist.
  for (const int year : {4, 400, 1600, 2000, 2004, 2024, 9996}) {
    TDateTime result = 0;
    EXPECT_TRUE(TryEncodeDate(year, 2, 29, result)) << year;
  }
}

TEST(DateTime, TimesThatDoNotExistAreRejected) {
  struct Case {
    int hour, minute, second, msec;
  };
  const Case cases[] = {{24, 0, 0, 0}, {0, 60, 0, 0},     {0, 0, 60, 0}, {0, 0, 0, 1000},
                        {-1, 0, 0, 0}, {0, -1, 0, 0},     {0, 0, -1, 0}, {0, 0, 0, -1},
                        {25, 0, 0, 0}, {23, 59, 59, 1000}};
  for (const Case& c : cases) {
    TDateTime result = 0.75;
    EXPECT_FALSE(TryEncodeTime(c.hour, c.minute, c.second, c.msec, result))
        << c.hour << ":" << c.minute << ":" << c.second << "." << c.msec;
    EXPECT_EQ(result, 0.75);
    EXPECT_THROW(EncodeTime(c.hour, c.minute, c.second, c.msec), EConvertError);
  }
  EXPECT_THROW(EncodeDateTime(2008, 8, 15, 24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeDateTime(2008, 2, 30, 12, 0, 0, 0), EConvertError);
}

TEST(DateTime, TimesOfDayRoundTrip) {
  struct Case {
    int hour, minute, second, msec;
    double value;
  };
  const Case cases[] = {{0, 0, 0, 0, 0.0},
                        {6, 0, 0, 0, 0.25},
                        {12, 0, 0, 0, 0.5},
                        {18, 0, 0, 0, 0.75},
                        {14, 30, 5, 0, 52205.0 / 86400},
                        {23, 59, 59, 999, 86399999.0 / MSecsPerDay}};
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(EncodeTime(c.hour, c.minute, c.second, c.msec), c.value);
    EXPECT_EQ(DecodeTime(c.value), (TTimeParts{c.hour, c.minute, c.second, c.msec}));
  }
  // Every second of a day, with a moving millisecond.
  for (int s = 0; s < 86400; ++s) {
    const TTimeParts parts{s / 3600, s / 60 % 60, s % 60, s % 1000};
    const TTimeParts decoded =
        DecodeTime(EncodeTime(parts.Hour, parts.Minute, parts.Second, parts.MSec));
    ASSERT_EQ(decoded, parts) << s;
  }
}

TEST(DateTime, ValuesBeforeTheOriginKeepTheTimeInTheFraction) {
  struct Case {
    TDateTime value;
    TDateParts date;
    TTimeParts time;
  };
  const Case cases[] = {
      {-1.25, {1899, 12, 29}, {6, 0, 0, 0}},
      {-1.75, {1899, 12, 29}, {18, 0, 0, 0}},
      {-2.0, {1899, 12, 28}, {0, 0, 0, 0}},
      {-0.5, {1899, 12, 30}, {12, 0, 0, 0}},  // the integer part of -0.5 is day 0
      {-693593.5, {1, 1, 1}, {12, 0, 0, 0}},
      {-36522.0 - 0.6045138888888889, {1800, 1, 1}, {14, 30, 30, 0}},
  };
  for (const Case& c : cases) {
    const TDateTimeParts parts = DecodeDateTime(c.value);
    EXPECT_EQ(parts.Date, c.date) << c.value;
    EXPECT_EQ(parts.Time, c.time) << c.value;
  }
  EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -1.25);
  EXPECT_EQ(EncodeDateTime(1, 1, 1, 12, 0, 0, 0), -693593.5);
  EXPECT_EQ(EncodeDateTime(2008, 8, 15, 12, 0, 0, 0), 39675.5);
}

TEST(DateTime, TimeRoundsToTheMillisecondAndCarriesIntoTheNextDay) {
  struct Case {
    TDateTime value;
    TDateParts date;
    TTimeParts time;
  };
  const Case cases[] = {
      {0.99999999999, {1899, 12, 31}, {0, 0, 0, 0}},
      {39675.999999999, {2008, 8, 16}, {0, 0, 0, 0}},
      // 29 December at almost 24:00 becomes 30 December, day 0.
      {-1.99999999999, {1899, 12, 30}, {0, 0, 0, 0}},
      {0.5 + 0.0004 / MSecsPerDay, {1899, 12, 30}, {12, 0, 0, 0}},
      {0.5 + 0.6 / MSecsPerDay, {1899, 12, 30}, {12, 0, 0, 1}},
      // Almost midnight at the end of 31 December of year 0 is 1 January 0001.
      {-693594.9999999999, {1, 1, 1}, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    const TDateTimeParts parts = DecodeDateTime(c.value);
    EXPECT_EQ(parts.Date, c.date) << c.value;
    EXPECT_EQ(parts.Time, c.time) << c.value;
    EXPECT_EQ(DecodeDate(c.value), c.date);
    EXPECT_EQ(DecodeTime(c.value), c.time);
  }
}

TEST(DateTime, ValuesOutsideTheCalendarRaiseAConversionError) {
  const double cases[] = {-693594.0,  // 31 December of year 0
                          -693594.5,  // noon of that day
                          2958466.0,  // 1 January 10000
                          2958465.9999999999,
                          1e300,
                          -1e300,
                          std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::quiet_NaN()};
  for (const double v : cases) {
    EXPECT_THROW(DecodeDateTime(v), EConvertError) << v;
    EXPECT_THROW(DateTimeToStr(v), EConvertError) << v;
    EXPECT_THROW(FormatDateTime("yyyymmdd", v), EConvertError) << v;
  }
  EXPECT_NO_THROW(DecodeDateTime(2958465.999));
  EXPECT_NO_THROW(DecodeDateTime(-693593.999));
}

TEST(DateTime, MillisecondFormConvertsBothWays) {
  struct Case {
    double msecs;
    TDateTime value;
  };
  const Case cases[] = {
      {63354441600000.0, 39675.0},                 // 2008-08-15, day 733269
      {63354441600000.0 + 43200000, 39675.5},      // noon
      {693594.0 * MSecsPerDay, 0.0},               // 1899-12-30
      {693593.0 * MSecsPerDay + 21600000, -1.25},  // 1899-12-29 06:00
      {1.0 * MSecsPerDay, -693593.0},              // 0001-01-01
      {3652059.0 * MSecsPerDay + 86399999, 2958465.0 + 86399999.0 / MSecsPerDay},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(MSecsToDateTime(c.msecs), c.value) << c.msecs;
    EXPECT_EQ(DateTimeToMSecs(c.value), c.msecs) << c.value;
  }
  EXPECT_EQ(MSecsToDateTime(63354441600000.4), 39675.0);
  EXPECT_THROW(MSecsToDateTime(std::numeric_limits<double>::quiet_NaN()), EConvertError);
  EXPECT_THROW(MSecsToDateTime(1e300), EConvertError);

  std::mt19937_64 random(733269);
  std::uniform_int_distribution<int64_t> anyMoment(int64_t{MSecsPerDay},
                                                   3652060LL * MSecsPerDay - 1);
  for (int i = 0; i < 20000; ++i) {
    const double ms = static_cast<double>(anyMoment(random));
    ASSERT_EQ(DateTimeToMSecs(MSecsToDateTime(ms)), ms) << ms;
  }
}

// ---------------------------------------------------------------------------------------------
// Texts.

TFormatSettings Settings(const char* shortDate, const char* longTime) {
  TFormatSettings settings;
  settings.ShortDateFormat = shortDate;
  settings.LongTimeFormat = longTime;
  return settings;
}

TEST(DateTimeText, DateFollowedByTheTimeWhenItIsNotMidnight) {
  struct Case {
    TDateTime value;
    const char* shortDate;
    const char* longTime;
    const char* text;
  };
  const TDateTime day = EncodeDate(2008, 8, 15);
  const Case cases[] = {
      {day, "yyyymmdd", "H:mm:ss", "20080815"},
      {day, "dd.mm.yyyy", "H:mm:ss", "15.08.2008"},
      {day + EncodeTime(14, 30, 5, 0), "yyyymmdd", "H:mm:ss", "20080815 14:30:05"},
      {day + EncodeTime(14, 30, 5, 0), "dd.mm.yyyy", "H:mm:ss", "15.08.2008 14:30:05"},
      {day + EncodeTime(9, 5, 3, 0), "dd.mm.yyyy", "H:mm:ss", "15.08.2008 9:05:03"},
      {day + EncodeTime(9, 5, 3, 0), "yyyymmdd", "HH:mm:ss", "20080815 09:05:03"},
      {day + EncodeTime(0, 0, 1, 0), "yyyymmdd", "H:mm:ss", "20080815 0:00:01"},
      // Milliseconds neither show nor count as a time of day.
      {day + EncodeTime(0, 0, 0, 999), "yyyymmdd", "H:mm:ss", "20080815"},
      {day + EncodeTime(23, 59, 59, 999), "dd.mm.yyyy", "H:mm:ss", "15.08.2008 23:59:59"},
      {EncodeDate(1, 1, 1), "dd.mm.yyyy", "H:mm:ss", "01.01.0001"},
      {EncodeDate(9999, 12, 31), "yyyymmdd", "H:mm:ss", "99991231"},
      {EncodeDate(5, 3, 7), "yyyymmdd", "H:mm:ss", "00050307"},
      {-1.25, "dd.mm.yyyy", "H:mm:ss", "29.12.1899 6:00:00"},
      {0.0, "dd.mm.yyyy", "H:mm:ss", "30.12.1899"},
      {day + EncodeTime(14, 30, 5, 0), "dd.mm.yyyy", "hh:mm:ss ampm", "15.08.2008 02:30:05 PM"},
      {day + EncodeTime(0, 15, 0, 0), "dd.mm.yyyy", "h:mm:ss ampm", "15.08.2008 12:15:00 AM"},
      {day + EncodeTime(12, 0, 30, 0), "dd.mm.yyyy", "h:nn AM/PM", "15.08.2008 12:00 PM"},
      {day + EncodeTime(11, 59, 0, 0), "dd.mm.yyyy", "h:nn am/pm", "15.08.2008 11:59 am"},
  };
  // Into one reused string, as a reader of every row takes them: the same texts, whatever the
  // string held before.
  std::string reused(40, 'x');
  for (const Case& c : cases) {
    EXPECT_EQ(DateTimeToStr(c.value, Settings(c.shortDate, c.longTime)), c.text)
        << c.shortDate << " / " << c.longTime;
    DateTimeToStr(c.value, Settings(c.shortDate, c.longTime), reused);
    EXPECT_EQ(reused, c.text) << c.shortDate << " / " << c.longTime;
  }
}

TEST(DateTimeText, PatternsOfFormatDateTime) {
  struct Case {
    const char* pattern;
    const char* text;
  };
  TFormatSettings settings;
  settings.DateSeparator = '-';
  const TDateTime value = EncodeDateTime(2008, 8, 15, 14, 30, 5, 0);
  const Case cases[] = {
      {"dd.mm.yyyy", "15.08.2008"},
      {"yyyymmdd", "20080815"},
      {"yy", "08"},
      {"yyyy", "2008"},
      {"yyyyy", "2008y"},  // a lone letter stands for itself
      {"d m y", "d m y"},
      {"dd/mm/yyyy", "15-08-2008"},
      {"H:mm:ss", "14:30:05"},
      {"HH:nn:ss", "14:30:05"},
      {"hh.mm", "14.30"},
      {"mm", "08"},  // a month unless it follows an hour
      {"HH:ss mm", "14:05 08"},
      {"yyyy-mm-dd H:mm", "2008-08-15 14:30"},
      {"Дата: dd.mm.yyyy", "Дата: 15.08.2008"},
      {"", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatDateTime(c.pattern, value, settings), c.text) << c.pattern;
}

class ProcessSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = FormatSettings(); }
  void TearDown() override { FormatSettings() = saved_; }

 private:
  TFormatSettings saved_;
};

TEST_F(ProcessSettingsTest, FieldTextReadsTheSettingsInForceAtEachCall) {
  FormatSettings().LongTimeFormat = "H:mm:ss";
  const TDateTime value = EncodeDateTime(2008, 8, 15, 14, 30, 5, 0);
  FormatSettings().ShortDateFormat = "dd.mm.yyyy";
  EXPECT_EQ(DateTimeFieldText(value), "15.08.2008 14:30:05");
  FormatSettings().ShortDateFormat = "yyyymmdd";
  EXPECT_EQ(DateTimeFieldText(value), "20080815 14:30:05");
  EXPECT_EQ(DateTimeFieldText(EncodeDate(2008, 8, 15)), "20080815");
  EXPECT_EQ(DateTimeFieldText(std::nullopt), "");
  std::string text = "a text of an earlier value";
  DateTimeFieldText(value, text);
  EXPECT_EQ(text, "20080815 14:30:05");
  DateTimeFieldText(std::nullopt, text);
  EXPECT_EQ(text, "");
  EXPECT_EQ(FormatDateTime("dd/mm", value), "15.08");
}

// ---------------------------------------------------------------------------------------------
// The long time format from the locale.

TEST(LongTimeFormat, StrftimeFormatsOfLocalesBecomePatterns) {
  struct Case {
    const char* timeFormat;
    const char* ampmFormat;
    const char* pattern;
  };
  const Case cases[] = {
      {"%T", "", "HH:mm:ss"},
      {"%H:%M:%S", "", "HH:mm:ss"},
      {"%k:%M:%S", "", "H:mm:ss"},
      {"%R", "", "HH:mm"},
      {"%H.%M.%S", "", "HH.mm.ss"},
      {"%OH:%OM:%OS", "", "HH:mm:ss"},
      {"%I:%M:%S %p", "", "hh:mm:ss ampm"},
      {"%I:%M:%S %p %Z", "", "hh:mm:ss ampm"},
      {"%Z %I:%M:%S %p", "", "hh:mm:ss ampm"},
      {"%H:%M:%S %Z", "", "HH:mm:ss"},
      {"%l:%M:%S %p", "", "h:mm:ss ampm"},
      {"%r", "%I:%M:%S %p", "hh:mm:ss ampm"},
      {"%r", "", "hh:mm:ss ampm"},
      {"%p %I:%M:%S", "", "ampm hh:mm:ss"},
      {"%H时%M分%S秒", "", "HH时mm分ss秒"},
      {"kl. %H.%M %z", "", "kl. HH.mm"},
      {"%M:%S", "", "nn:ss"},
      {"%H%%%M", "", "HH%mm"},
      // Formats the pattern language cannot express fall back to the empty text.
      {"%X", "", ""},
      {"%Hh%M", "", ""},  // a literal letter that reads as a token
      {"%H/%M", "", ""},  // "/" would become the date separator
      {"%p", "", ""},     // no time field at all
      {"%r", "%r", ""},   // no endless expansion
      {"%H:%M:%", "", ""},
      {"%Q", "", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TimePatternFromStrftime(c.timeFormat, c.ampmFormat), c.pattern) << c.timeFormat;
}

TEST(LongTimeFormat, CLocaleAndUnknownLocalesGiveHourWithoutLeadingZero) {
  for (const char* name : {"C", "POSIX", "C.UTF-8", "C.utf8", "xx_NOWHERE.UTF-8", ""}) {
    const TFormatSettings settings = FormatSettingsForLocale(name);
    EXPECT_EQ(settings.LongTimeFormat, "H:mm:ss") << name;
    EXPECT_EQ(settings.DecimalSeparator, '.');
    EXPECT_EQ(settings.ShortDateFormat, "dd.mm.yyyy");
  }
  EXPECT_EQ(DateTimeToStr(EncodeDateTime(2008, 8, 15, 9, 5, 3, 0), FormatSettingsForLocale("C")),
            "15.08.2008 9:05:03");
}

// Compiles a few locales from the system's locale sources into a private folder and reads them
// through LOCPATH, so the test needs no locale installed on the machine.
class InstalledLocaleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_ = std::make_unique<testsupport::ScratchDir>("tarnwick-locales");
    for (const auto& [source, charmap] :
         {std::pair{"en_US", "UTF-8"}, std::pair{"ru_RU", "UTF-8"}, std::pair{"ko_KR", "UTF-8"},
          std::pair{"zh_TW", "BIG5"}}) {
      const std::string name = std::string(source) + "." + charmap;
      const std::string command = std::string("localedef -i ") + source + " -f " + charmap + " '" +
                                  (scratch_->Path() / name).string() + "' >/dev/null 2>&1";
      if (std::system(command.c_str()) == 0) built_.push_back(name);
    }
  }
  static void TearDownTestSuite() { scratch_.reset(); }
  void SetUp() override {
    ASSERT_TRUE(scratch_) << "the locale folder could not be made";
    locpath_.emplace("LOCPATH", scratch_->Path().string());
  }

  static bool Built(const std::string& name) {
    return std::find(built_.begin(), built_.end(), name) != built_.end();
  }

 private:
  static inline std::unique_ptr<testsupport::ScratchDir> scratch_;
  static inline std::vector<std::string> built_;
  std::optional<testsupport::ScopedEnvVar> locpath_;
};

TEST_F(InstalledLocaleTest, TimeFormatAndAmPmTextsComeFromTheLocale) {
  struct Case {
    const char* locale;
    const char* pattern;
    const char* am;
    const char* pm;
    const char* text;  // 15.08.2008 at 14:30:05
  };
  const Case cases[] = {
      {"en_US.UTF-8", "hh:mm:ss ampm", "AM", "PM", "15.08.2008 02:30:05 PM"},
      {"ru_RU.UTF-8", "HH:mm:ss", "", "", "15.08.2008 14:30:05"},
      {"ko_KR.UTF-8", "HH시 mm분 ss초", "오전", "오후", "15.08.2008 14시 30분 05초"},
      // Texts in a legacy codeset are not taken over.
      {"zh_TW.BIG5", "H:mm:ss", "AM", "PM", "15.08.2008 14:30:05"},
  };
  for (const Case& c : cases) {
    if (!Built(c.locale)) {
      ADD_FAILURE() << "localedef could not build " << c.locale;
      continue;
    }
    const TFormatSettings settings = FormatSettingsForLocale(c.locale);
    EXPECT_EQ(settings.LongTimeFormat, c.pattern) << c.locale;
    EXPECT_EQ(settings.TimeAMString, c.am) << c.locale;
    EXPECT_EQ(settings.TimePMString, c.pm) << c.locale;
    EXPECT_EQ(DateTimeToStr(EncodeDateTime(2008, 8, 15, 14, 30, 5, 0), settings), c.text)
        << c.locale;
  }
}

TEST(LongTimeFormat, LocaleNameFollowsTheUsualPrecedence) {
  struct Case {
    const char* lcAll;
    const char* lcTime;
    const char* lang;
    const char* expected;
  };
  const Case cases[] = {
      {"de_DE.UTF-8", "ru_RU.UTF-8", "en_US.UTF-8", "de_DE.UTF-8"},
      {nullptr, "ru_RU.UTF-8", "en_US.UTF-8", "ru_RU.UTF-8"},
      {"", "", "en_US.UTF-8", "en_US.UTF-8"},
      {nullptr, nullptr, nullptr, "C"},
      {"", "", "", "C"},
  };
  for (const Case& c : cases) {
    const testsupport::ScopedEnvVar lcAll("LC_ALL", c.lcAll);
    const testsupport::ScopedEnvVar lcTime("LC_TIME", c.lcTime);
    const testsupport::ScopedEnvVar lang("LANG", c.lang);
    EXPECT_EQ(UserTimeLocaleName(), c.expected);
  }
}

}  // namespace
}  // namespace tarnwick
