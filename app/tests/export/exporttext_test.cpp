// The export's rules that need no database: connection string, report lines, DBF names, time
// estimate, NUMBER field lengths and decimals, gauge position and the code page 866 check.
#include "app/ExportText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>

#include "dataset/text/FieldText.h"
#include "dataset/text/NumberText.h"

namespace tarnwick {
namespace {

TEST(SplitConnectStringTest, SplitsAtTheFirstSlashAndTheFirstAt) {
  struct Case {
    const char* text;
    TConnectParts parts;
  };
  const Case cases[] = {
      {"scott/tiger@orcl", {"scott", "tiger", "orcl"}},
      {"demo/demo@demo", {"demo", "demo", "demo"}},
      // the server may hold further "/" and "@"
      {"u/p@host/service@x", {"u", "p", "host/service@x"}},
      // without "@": no password, the whole text is the server
      {"scott/tiger", {"scott", "", "scott/tiger"}},
      // without "/": no user name, the password is the text before the "@"
      {"tiger@orcl", {"", "tiger", "orcl"}},
      // a password with "@" is cut at its first "@"
      {"u/p@ss@srv", {"u", "p", "ss@srv"}},
      // an "@" before the first "/"
      {"u@srv/x", {"u@srv", "", "srv/x"}},
      {"", {"", "", ""}},
      {"/", {"", "", "/"}},
      {"@", {"", "", ""}},
      {"/@", {"", "", ""}},
      {"u/@", {"u", "", ""}},
      {"пользователь/пароль@сервер", {"пользователь", "пароль", "сервер"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitConnectString(c.text), c.parts) << c.text;
  }
}

// Every kind of connection string: the split, and the text shown for it, which hides what may be
// a password (the split's password, or all after the "/" when no "@" follows it) as "***".
TEST(ConnectDisplayTextTest, ShowsEveryKindOfStringWithoutItsPassword) {
  struct Case {
    const char* text;
    TConnectParts parts;
    const char* shown;
    const char* secret;  // what is hidden
  };
  const Case cases[] = {
      {"demo/demo@demo", {"demo", "demo", "demo"}, "demo/***@demo", "demo"},
      {"scott/tiger@//dbhost:1521/ORCLPDB1",
       {"scott", "tiger", "//dbhost:1521/ORCLPDB1"},
       "scott/***@//dbhost:1521/ORCLPDB1",
       "tiger"},
      // no "@": the split takes the whole text for the server, the password typed included
      {"demo/s3cretPW", {"demo", "", "demo/s3cretPW"}, "demo/***", "s3cretPW"},
      {"demo/", {"demo", "", "demo/"}, "demo/***", ""},
      // no "/": the text before the "@" is the password
      {"s3cret@orcl", {"", "s3cret", "orcl"}, "***@orcl", "s3cret"},
      {"@orcl", {"", "", "orcl"}, "***@orcl", ""},
      // neither: all of it is the server, nothing to hide
      {"orcl", {"", "", "orcl"}, "orcl", ""},
      {"", {"", "", ""}, "", ""},
      // empty parts
      {"/@", {"", "", ""}, "/***@", ""},
      {"u/@srv", {"u", "", "srv"}, "u/***@srv", ""},
      {"/pw@srv", {"", "pw", "srv"}, "/***@srv", "pw"},
      {"u/pw@", {"u", "pw", ""}, "u/***@", "pw"},
      // "@" before "/": no password; what follows the "/" is hidden all the same
      {"u@srv/tiger", {"u@srv", "", "srv/tiger"}, "u@srv/***", "tiger"},
      {"u@a/b@c", {"u@a", "", "a/b@c"}, "u@a/***@c", "b"},
      // several of each
      {"u/p/q@s@t", {"u", "p/q", "s@t"}, "u/***@s@t", "p/q"},
      {"u//p@@s", {"u", "/p", "@s"}, "u/***@@s", "/p"},
      // a password with "/" stays whole; one with "@" is cut at its first "@" by the split
      {"u/pa/ss@srv", {"u", "pa/ss", "srv"}, "u/***@srv", "pa/ss"},
      {"u/p@ss@srv", {"u", "p", "ss@srv"}, "u/***@ss@srv", "p"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitConnectString(c.text), c.parts) << c.text;
    const std::string shown = ConnectDisplayText(c.text);
    EXPECT_EQ(shown, c.shown) << c.text;
    const TSecretRange range = ConnectStringSecret(c.text);
    if (std::string(c.shown) == c.text) {
      EXPECT_FALSE(range.Present()) << c.text;
    } else {
      ASSERT_TRUE(range.Present()) << c.text;
      EXPECT_EQ(std::string(c.text).substr(range.Begin, range.End - range.Begin), c.secret)
          << c.text;
    }
    // A secret that the string holds once is never shown (demo/demo@demo shows demo anyway).
    const std::string secret = c.secret;
    const std::string text = c.text;
    if (!secret.empty() && text.find(secret) == text.rfind(secret)) {
      EXPECT_EQ(shown.find(secret), std::string::npos) << c.text;
    }
  }
}

// The table name rule shared by the window and tarnwick-export: an unquoted identifier, kept as
// typed for the window, upper case for the server as tarnwick-export sends it.
TEST(TableIdentifierTest, AcceptsUnquotedIdentifiersOnly) {
  struct Case {
    std::string text;
    std::optional<std::string> upper;  // nothing: refused
  };
  const Case cases[] = {
      {"EMP", "EMP"},
      {"emp", "EMP"},
      {"Long_Name$1#", "LONG_NAME$1#"},
      {"сотрудники", "СОТРУДНИКИ"},
      {std::string(30, 'x'), std::string(30, 'X')},
      {std::string(31, 'x'), std::nullopt},
      {"я" + std::string(29, 'z'), std::nullopt},  // 31 bytes
      {"", std::nullopt},
      {"EMP' or '1'='1", std::nullopt},
      {"EMP'", std::nullopt},
      {"EMP;", std::nullopt},
      {"EMP --", std::nullopt},
      {"SCOTT.EMP", std::nullopt},
      {"\"EMP\"", std::nullopt},
      {"1EMP", std::nullopt},
      {"_EMP", std::nullopt},
      {"EMP\n", std::nullopt},
      {"A\xD0", std::nullopt},  // a sequence cut short
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsTableIdentifier(c.text), c.upper.has_value()) << "[" << c.text << "]";
    EXPECT_EQ(UpperTableIdentifier(c.text), c.upper) << "[" << c.text << "]";
  }
}

TEST(PadRightTest, FillsShortTextsAndKeepsLongOnes) {
  struct Case {
    const char* text;
    std::size_t width;
    char fill;
    const char* result;
  };
  const Case cases[] = {
      {"ab", 5, ' ', "ab   "}, {"abcde", 5, ' ', "abcde"}, {"abcdef", 5, ' ', "abcdef"},
      {"", 3, '-', "---"},     {"x", 0, ' ', "x"},         {"Имя", 5, ' ', "Имя  "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PadRight(c.text, c.width, c.fill), c.result) << c.text << " to " << c.width;
  }
}

TEST(StructureReportTest, HeadLinesHaveTheirTextsAndLengths) {
  const std::vector<std::string> head = {
      "Структура таблицы ", " ",
      " N    Имя поля                        Имя поля    Тип поля         Тип поля Размер,   ",
      "п/п   в Оракл таблице                 в DBF       в Оракл          в DBF            дес.",
      std::string(88, '-')};
  EXPECT_EQ(StructureReportHead(), head);
  EXPECT_EQ(CharacterCount(head[2]), 86u);
  EXPECT_EQ(CharacterCount(head[3]), 88u);
  EXPECT_EQ(StructureReportRule(), std::string(88, '-'));
}

TEST(StructureReportTest, ColumnRowsStartUnderTheirHeadings) {
  struct Case {
    int number;
    const char* oraName;
    const char* dbfName;
    const char* oraType;
    const char* dbfType;
    const char* size;
    const char* scale;
    std::string line;
  };
  const Case cases[] = {
      {1, "ID", "ID", "NUMBER", "N", "5", "0",
       "1     ID                              ID          NUMBER           N         5      0 "},
      {2, "NAME", "NAME", "VARCHAR2", "C", "30", "",
       "2     NAME                            NAME        VARCHAR2         C         30       "},
      {3, "BORN", "BORN", "DATE", "D", "7", "",
       "3     BORN                            BORN        DATE             D         7        "},
      {12, "PRICE", "PRICE", "NUMBER", "N", "10", "2",
       "12    PRICE                           PRICE       NUMBER           N         10     2 "},
      // a Cyrillic name keeps the columns, counted in characters
      {4, "ИМЯ", "ИМЯ", "VARCHAR2", "C", "20", "",
       "4     ИМЯ                             ИМЯ         VARCHAR2         C         20       "},
      // a value longer than its column stays whole and pushes the rest to the right
      {5, "A_VERY_LONG_COLUMN_NAME_OF_THIRTY_ONE", "A_VERY_L_1", "NUMBER", "N", "38", "10",
       "5     A_VERY_LONG_COLUMN_NAME_OF_THIRTY_ONE  A_VERY_L_1  NUMBER           N         38  "
       "   10"},
  };
  for (const Case& c : cases) {
    const std::string line =
        StructureReportLine(c.number, c.oraName, c.dbfName, c.oraType, c.dbfType, c.size, c.scale);
    EXPECT_EQ(line, c.line) << c.oraName;
  }
  // Every plain row is 86 characters, its columns at 0, 6, 38, 50, 67, 77 and 84.
  const std::string row = StructureReportLine(7, "N", "D", "T", "L", "S", "C");
  ASSERT_EQ(row.size(), 86u);
  for (const auto& [at, text] : std::vector<std::pair<std::size_t, char>>{
           {0, '7'}, {6, 'N'}, {38, 'D'}, {50, 'T'}, {67, 'L'}, {77, 'S'}, {84, 'C'}}) {
    EXPECT_EQ(row[at], text) << "column at " << at;
  }
}

TEST(StructureReportTest, CountAndEstimateLines) {
  EXPECT_EQ(RowCountLine(1234), "В таблице  1234  записей!");
  EXPECT_EQ(RowCountLine(0), "В таблице  0  записей!");
  EXPECT_EQ(EstimateLine(6), "Предполагаемое время выгрузки 6 секунд");
}

TEST(DbfFieldNamesTest, NamingRule) {
  struct Case {
    std::vector<std::string> oraNames;
    std::vector<std::string> dbfNames;
  };
  const Case cases[] = {
      {{"LONG_COLUMN_NAME_A", "X", "LONG_COLUMN_NAME_B"}, {"LONG_COL_1", "X", "LONG_COL_2"}},
      // ten characters stay, eleven are shortened
      {{"EXACTLY_10", "ELEVEN_CHAR"}, {"EXACTLY_10", "ELEVEN_C_1"}},
      // no other change: case and characters stay
      {{"lower_case", "Mixed Case"}, {"lower_case", "Mixed Case"}},
      {{"ДЛИННОЕ_ИМЯ_ПОЛЯ", "ИМЯ"}, {"ДЛИННОЕ__1", "ИМЯ"}},
      // the demo table whose names collide when merely cut to ten
      {{"CUSTOMER_NUMBER", "CUSTOMER_NAME_FIRST", "CUSTOMER_NAME_LAST", "REGISTRATION_DATE",
        "REGISTRATION_PLACE", "SHORT", "EXACTLY_10"},
       {"CUSTOMER_1", "CUSTOMER_2", "CUSTOMER_3", "REGISTRA_4", "REGISTRA_5", "SHORT",
        "EXACTLY_10"}},
      // a shortened name that a later column holds is passed over
      {{"LONG_COLUMN_NAME_A", "LONG_COL_1"}, {"LONG_COL_2", "LONG_COL_1"}},
      // ... and one that an earlier column holds
      {{"LONG_COL_1", "LONG_COLUMN_NAME_A", "LONG_COLUMN_NAME_B"},
       {"LONG_COL_1", "LONG_COL_2", "LONG_COL_3"}},
      // several names in the way
      {{"ABCDEFGH_1", "ABCDEFGH_2", "ABCDEFGHIJKLMNOP", "ABCDEFGH_4"},
       {"ABCDEFGH_1", "ABCDEFGH_2", "ABCDEFGH_3", "ABCDEFGH_4"}},
      {{"ABCDEFGH_1", "ABCDEFGHIJKLMNOP", "ABCDEFGH_2", "ABCDEFGHIJKLMNOQ"},
       {"ABCDEFGH_1", "ABCDEFGH_3", "ABCDEFGH_2", "ABCDEFGH_4"}},
      // DBF readers compare field names without regard to case
      {{"long_col_1", "LONG_COLUMN_NAME_A"}, {"long_col_1", "LONG_COL_2"}},
      {{"Name", "NAME"}, {"Name", "NAME_1"}},
      // names are compared as the header stores them, in code page 866: characters it lacks
      // are stored as "?", so "Ω" and "Ψ" would both be "?" and "AΩ" would be "A?"
      {{"Ω", "Ψ", "A?", "AΩ"}, {"Ω", "Ψ_1", "A?", "AΩ_2"}},
      {{"ΩΩΩΩΩΩΩΩ_1", "ΨΨΨΨΨΨΨΨΨΨΨ"}, {"ΩΩΩΩΩΩΩΩ_1", "ΨΨΨΨΨΨΨΨ_2"}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DbfFieldNames(c.oraNames), c.dbfNames) << c.oraNames.size() << " names";
  }
}

TEST(DbfFieldNamesTest, CounterWidthsAndUniquenessOverManyLongNames) {
  std::vector<std::string> oraNames;
  for (int i = 1; i <= 1200; ++i) oraNames.push_back("COLUMN_NUMBER_" + std::to_string(i));
  const std::vector<std::string> names = DbfFieldNames(oraNames);
  ASSERT_EQ(names.size(), oraNames.size());
  EXPECT_EQ(names[0], "COLUMN_N_1");
  EXPECT_EQ(names[8], "COLUMN_N_9");
  EXPECT_EQ(names[9], "COLUMN__10");  // the tenth: 7 characters + "_10"
  EXPECT_EQ(names[98], "COLUMN__99");
  EXPECT_EQ(names[99], "COLUMN_100");  // the hundredth: 6 characters + "_100"
  EXPECT_EQ(names[998], "COLUMN_999");
  EXPECT_EQ(names[999], "COLUM_1000");  // the thousandth keeps to ten characters too
  std::set<std::string> distinct;
  for (const std::string& name : names) {
    EXPECT_EQ(name.size(), 10u) << name;
    distinct.insert(name);
  }
  EXPECT_EQ(distinct.size(), names.size());
}

TEST(EstimateTest, FactorStepsAreHeldAsFloats) {
  struct Case {
    int columns;
    float factor;
  };
  const Case cases[] = {{0, 0.3f},    {1, 0.3f},    {10, 0.3f},   {11, 0.5f},   {20, 0.5f},
                        {21, 0.7f},   {30, 0.7f},   {31, 1.6f},   {50, 1.6f},   {51, 3.9f},
                        {100, 3.9f},  {101, 12.5f}, {200, 12.5f}, {201, 27.2f}, {300, 27.2f},
                        {301, 47.5f}, {400, 47.5f}, {401, 71.3f}, {500, 71.3f}, {501, 100.f},
                        {600, 100.f}, {601, 135.f}, {700, 135.f}, {701, 176.f}, {800, 176.f},
                        {801, 226.f}, {900, 226.f}, {901, 271.f}, {5000, 271.f}};
  for (const Case& c : cases) {
    EXPECT_EQ(EstimateFactor(c.columns), c.factor) << c.columns << " columns";
  }
  EXPECT_EQ(static_cast<double>(EstimateFactor(25)),
            static_cast<double>(0.699999988079071044921875));
}

TEST(EstimateTest, SecondsAreRoundedDownFromTheFloatFactor) {
  struct Case {
    int64_t rows;
    int columns;
    int64_t seconds;
  };
  const Case cases[] = {
      {1234, 4, 0},    // 1234 x 0.3 x 0.001 = 0.37
      {10000, 25, 6},  // 6.99999988, not 7
      {0, 1, 0},
      {100000, 10, 30},  // 30.0000012
      {10000, 31, 16},   // 16.0000002
      {1000, 60, 3},     // 3.90000010
      {1000, 250, 27},   // 27.2000008
      {1000, 450, 71},   // 71.3000031
      {1000000, 1000, 271000},
      {2147483647, 5, 644245},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EstimateSeconds(c.rows, c.columns), c.seconds) << c.rows << " x " << c.columns;
  }
}

// ---- NUMBER lengths ---------------------------------------------------------------------------

TEST(NumberLengthTest, TableOfDeclaredTypes) {
  struct Case {
    std::optional<int> precision;
    std::optional<int> scale;
    int textLength;
    const char* longest;  // a text of that length, as the field-text rule writes it
  };
  const Case cases[] = {
      {5, 0, 6, "-12345"},
      {1, 0, 2, "-9"},
      {9, 0, 10, "-999999999"},
      {10, 0, 11, "-9999999999"},
      {5, 2, 7, "-123.45"},
      {10, 2, 12, "-12345678.91"},
      {12, 2, 14, "-9999999999.99"},
      {15, 0, 16, "-999999999999999"},
      {15, 5, 17, "-1234567890.12345"},
      {15, 15, 18, "-0.123456789012345"},
      // more than 15 digits: every digit of the exact text
      {16, 0, 17, "-9999999999999999"},
      {18, 0, 19, "-999999999999999999"},
      {20, 0, 21, "-99999999999999999999"},
      {20, 2, 22, "-123456789012345678.12"},
      {38, 10, 40, "-1234567890123456789012345678.0123456789"},
      {38, 0, 39, "-12345678901234567890123456789012345678"},
      {20, 18, 22, "-12.345678901234567890"},
      {38, 38, 41, "-0.00012345678901234567890123456789012345"},
      {3, 5, 8, "-0.00099"},
      {2, 2, 5, "-0.99"},
      {std::nullopt, 0, 39, "-12345678901234567890123456789012345678"},   // INTEGER
      {std::nullopt, 2, 40, "-123456789012345678901234567890123456.78"},  // NUMBER(*, 2)
      // a floating NUMBER: every integer of 38 digits; longer texts are rounded to it
      {std::nullopt, std::nullopt, 39, "-12345678901234567890123456789012345678"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "NUMBER(" << (c.precision ? *c.precision : -1) << ","
                                    << (c.scale ? *c.scale : -1) << ")");
    EXPECT_EQ(NumberTextLength(c.precision, c.scale), c.textLength);
    EXPECT_EQ(std::string(c.longest).size(), static_cast<std::size_t>(c.textLength));
  }
}

TEST(NumberLengthTest, DbfLengthIsNeverBelowTheDictionarySize) {
  struct Case {
    std::optional<int> precision;
    std::optional<int> scale;
    int oraSize;
    int dbfLength;
  };
  const Case cases[] = {
      {5, 0, 5, 6},
      {10, 2, 10, 12},
      {15, 0, 15, 16},
      {38, 10, 38, 40},
      {38, 0, 38, 39},
      {20, 0, 20, 21},
      {std::nullopt, 0, 22, 39},
      {std::nullopt, std::nullopt, 22, 39},
      {1, 0, 1, 2},
      {14, 0, 30, 30},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NumberDbfLength(c.precision, c.scale, c.oraSize), c.dbfLength) << c.oraSize;
  }
}

// The exact text of sign 0.mantissa x 10^exponent as an Oracle number field gives it: fixed
// notation for exponents from -3 to 40, else "d.dddE-x".
std::string ExactTextOf(const std::string& sign, std::string mantissa, int exponent) {
  while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();
  const int count = static_cast<int>(mantissa.size());
  std::string text = sign;
  if (exponent < -3 || exponent > 40) {
    text += mantissa.substr(0, 1);
    if (count > 1) text += "." + mantissa.substr(1);
    return text + "E" + std::to_string(exponent - 1);
  }
  if (exponent <= 0)
    return text + "0." + std::string(static_cast<std::size_t>(-exponent), '0') + mantissa;
  if (count <= exponent)
    return text + mantissa + std::string(static_cast<std::size_t>(exponent - count), '0');
  return text + mantissa.substr(0, static_cast<std::size_t>(exponent)) + "." +
         mantissa.substr(static_cast<std::size_t>(exponent));
}

// The text of a value sign 0.mantissa x 10^exponent as the import reads it for a column of
// NUMBER(p, s): exactly for more than 15 digits, else by the field-text rule of its field class.
std::string FieldTextOf(const std::string& sign, const std::string& mantissa, int exponent,
                        std::optional<int> p, std::optional<int> s) {
  if (NumberReadExactly(p)) return ExactTextOf(sign, mantissa, exponent);
  const std::string decimal = sign + "0." + mantissa + "E" + std::to_string(exponent);
  const double value = std::strtod(decimal.c_str(), nullptr);
  if (p && *p >= 1 && *p <= 9 && s.value_or(0) == 0) {
    return IntegerFieldText(static_cast<int32_t>(value));
  }
  return FloatFieldText(value);
}

// A value of NUMBER(p, s) as a decimal text, and its field text.
struct TSample {
  std::string decimal;
  std::string text;
};

// Values of NUMBER(p, s) built digit by digit: for every magnitude the type holds, the widest
// values (as many significant digits as fit, negative) and random ones.
std::vector<TSample> SampleValues(std::optional<int> precision, std::optional<int> scale,
                                  std::mt19937& random) {
  const std::string digitPattern = "98765432198765432198765432198765432198765";
  const int p = precision.value_or(38);
  const int s = scale.value_or(0);
  std::vector<TSample> samples;
  for (int exponent = 1 - s; exponent <= p - s; ++exponent) {
    const int digits = std::min(p, exponent + s);
    for (int trial = 0; trial < 40; ++trial) {
      std::string mantissa;
      if (trial == 0) {
        mantissa = digitPattern.substr(0, static_cast<std::size_t>(digits));
      } else if (trial == 1) {
        mantissa = std::string(static_cast<std::size_t>(digits), '9');
      } else {
        const int count = std::uniform_int_distribution<int>(1, digits)(random);
        mantissa = std::to_string(std::uniform_int_distribution<int>(1, 9)(random));
        for (int i = 1; i < count; ++i) mantissa += static_cast<char>('0' + random() % 10);
      }
      for (const char* sign : {"-", ""}) {
        const std::string decimal =
            std::string(sign) + "0." + mantissa + "E" + std::to_string(exponent);
        samples.push_back({decimal, FieldTextOf(sign, mantissa, exponent, precision, scale)});
      }
    }
  }
  return samples;
}

// The longest field text among the sample values is the computed length; none is longer.
TEST(NumberLengthTest, LengthIsTheLongestTextOfValuesOfTheType) {
  const std::pair<std::optional<int>, std::optional<int>> types[] = {
      {1, 0},   {4, 0},   {9, 0},   {10, 0},           {12, 2},          {7, 2},
      {15, 0},  {15, 3},  {16, 0},  {17, 2},           {18, 4},          {20, 5},
      {22, 20}, {38, 10}, {38, 0},  {38, 38},          {3, 5},           {6, 6},
      {9, 2},   {2, 1},   {25, 24}, {std::nullopt, 0}, {std::nullopt, 3}};
  std::mt19937 random(20080815);
  for (const auto& [precision, scale] : types) {
    SCOPED_TRACE(testing::Message()
                 << "NUMBER(" << precision.value_or(38) << "," << scale.value_or(0) << ")");
    std::size_t longest = 0;
    for (const TSample& sample : SampleValues(precision, scale, random)) {
      EXPECT_LE(sample.text.size(), static_cast<std::size_t>(NumberTextLength(precision, scale)))
          << sample.decimal << " gives " << sample.text;
      longest = std::max(longest, sample.text.size());
    }
    EXPECT_EQ(longest, static_cast<std::size_t>(NumberTextLength(precision, scale)));
  }
}

// A floating NUMBER holds 40 digits anywhere from 1E-130 to below 1E126. Its field holds every
// integer of up to 38 digits whole; any other value fits after rounding, with at least 32 of
// its digits (forty ones round down to ones, so the ones left count the digits kept).
TEST(NumberLengthTest, FloatingNumberCoversItsWholeRange) {
  const auto length = static_cast<std::size_t>(NumberTextLength(std::nullopt, std::nullopt));
  EXPECT_EQ(length, std::string("-99999999999999999999999999999999999999").size());
  for (int exponent = -129; exponent <= 126; ++exponent) {
    for (const std::string& mantissa :
         {std::string("1"), std::string(38, '1'), std::string(40, '1')}) {
      const std::string text = ExactTextOf("-", mantissa, exponent);
      const TFittedNumber fitted = FitNumberText(text, length);
      SCOPED_TRACE(text + " gives " + fitted.Text);
      EXPECT_LE(fitted.Text.size(), length);
      const std::string kept = fitted.Text.substr(0, fitted.Text.find('E'));
      EXPECT_GE(std::count(kept.begin(), kept.end(), '1'),
                std::min<std::ptrdiff_t>(32, static_cast<std::ptrdiff_t>(mantissa.size())));
      // Integers of up to 38 digits keep every digit, in fixed notation.
      if (exponent >= static_cast<int>(mantissa.size()) && exponent <= 38) {
        EXPECT_EQ(fitted.Text, text);
        EXPECT_FALSE(fitted.Rounded);
      }
      // One digit always fits; 38 only as an integer of 38 digits; 40 never.
      EXPECT_EQ(fitted.Rounded, mantissa.size() == 40 || (mantissa.size() == 38 && exponent != 38));
    }
  }
}

// ---- NUMBER decimals ------------------------------------------------------------------------

TEST(NumberDecimalsTest, DecimalsOfEveryKindOfNumberColumn) {
  struct Case {
    std::optional<int> precision;
    std::optional<int> scale;
    int decimals;
  };
  const Case cases[] = {
      // integers below 1E15: plain integer texts
      {1, 0, 0},
      {9, 0, 0},
      {10, 0, 0},
      {15, 0, 0},
      {9, std::nullopt, 0},
      {13, -2, 0},
      // integers of more than 15 digits are read exactly, without an exponent
      {16, 0, 0},
      {18, 0, 0},
      {38, 0, 0},
      {std::nullopt, 0, 0},  // INTEGER
      // integers of up to 15 digits that reach 1E15 are written with an exponent
      {14, -2, 1},
      // a scale stays
      {5, 1, 1},
      {10, 2, 2},
      {38, 10, 10},
      {3, 5, 5},
      {38, 38, 38},
      {std::nullopt, 3, 3},
      // a floating NUMBER
      {std::nullopt, std::nullopt, 15},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "NUMBER(" << (c.precision ? *c.precision : -1) << ","
                                    << (c.scale ? *c.scale : -1) << ")");
    const int decimals = NumberDbfDecimals(c.precision, c.scale);
    EXPECT_EQ(decimals, c.decimals);
    // What the rule chose itself fits the field as readers require; a scale is kept as it is.
    if (c.scale.value_or(0) <= 0) {
      EXPECT_LE(decimals, NumberDbfLength(c.precision, c.scale, 0) - 2);
    }
  }
}

// A field gets decimals exactly when some value of its type gives a text with a decimal point or
// an exponent: sample values of every kind of column, the floating NUMBER over its whole range.
TEST(NumberDecimalsTest, DecimalsWhereATextCanHoldAPointOrAnExponent) {
  const std::pair<std::optional<int>, std::optional<int>> types[] = {{1, 0},
                                                                     {9, 0},
                                                                     {10, 0},
                                                                     {15, 0},
                                                                     {16, 0},
                                                                     {17, 0},
                                                                     {38, 0},
                                                                     {13, -2},
                                                                     {14, -2},
                                                                     {2, 1},
                                                                     {12, 2},
                                                                     {15, 3},
                                                                     {38, 10},
                                                                     {3, 5},
                                                                     {38, 38},
                                                                     {9, std::nullopt},
                                                                     {std::nullopt, 0},
                                                                     {std::nullopt, 3}};
  auto notInteger = [](const std::string& text) {
    return text.find_first_of(".E") != std::string::npos;
  };
  std::mt19937 random(20261210);
  for (const auto& [precision, scale] : types) {
    SCOPED_TRACE(testing::Message() << "NUMBER(" << (precision ? *precision : -1) << ","
                                    << (scale ? *scale : -1) << ")");
    std::optional<TSample> witness;
    for (const TSample& sample : SampleValues(precision, scale, random)) {
      if (!witness && notInteger(sample.text)) witness = sample;
    }
    if (NumberDbfDecimals(precision, scale) == 0) {
      EXPECT_FALSE(witness) << witness->decimal << " gives " << witness->text;
    } else {
      EXPECT_TRUE(witness) << "every text is a plain integer, yet the field has decimals";
    }
  }
  bool floatingNeedsDecimals = false;
  for (int exponent = -129; exponent <= 126; ++exponent) {
    floatingNeedsDecimals |= notInteger(ExactTextOf("", "123456789012345678", exponent));
  }
  EXPECT_TRUE(floatingNeedsDecimals);
  EXPECT_GT(NumberDbfDecimals(std::nullopt, std::nullopt), 0);
}

// ---- gauge --------------------------------------------------------------------------------------

TEST(GaugePositionTest, WholePercentCappedAtAHundred) {
  struct Case {
    int64_t written;
    int64_t rowCount;
    int position;
  };
  const Case cases[] = {
      {1, 3, 33},
      {2, 3, 66},
      {3, 3, 100},
      {4, 3, 100},
      {0, 10, 0},
      {1, 0, 100},
      {5, 0, 100},
      {1, 1000, 0},
      {999, 1000, 99},
      // far beyond 32 bits: the product of the records and 100 does not wrap
      {30000000, 40000000, 75},
      {2147483647, 2147483647, 100},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GaugePosition(c.written, c.rowCount), c.position)
        << c.written << " of " << c.rowCount;
  }
}

// ---- stored text -------------------------------------------------------------------------------

TEST(StoredPartTest, CountsCharactersLikeTheWriter) {
  struct Case {
    std::string text;
    std::size_t count;
    std::string part;
  };
  const Case cases[] = {
      {"abcdef", 3, "abc"},
      {"ab", 5, "ab"},
      {"Ёлка", 2, "Ёл"},
      {"a\xFF"
       "bc",
       2, "a\xFF"},
      {"x€y", 2, "x€"},
      {"abc", 0, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StoredPart(c.text, c.count), c.part) << c.text;
  }
}

}  // namespace
}  // namespace tarnwick
