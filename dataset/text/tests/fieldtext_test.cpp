// Texts of integer, float, string and NULL values. The float texts are checked against an
// exact decimal expansion of each double computed here with a small big-integer routine, to
// which the two rounding stages are applied independently of the code under test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "dataset/text/FieldText.h"

namespace tarnwick {
namespace {

// ---------------------------------------------------------------------------------------------
// Reference: exact decimal expansion of a double.

// Unsigned big integer in base 10^9, least significant limb first.
class BigDecimal {
 public:
  explicit BigDecimal(uint64_t value) {
    do {
      limbs_.push_back(static_cast<uint32_t>(value % kBase));
      value /= kBase;
    } while (value != 0);
  }

  void MultiplyBy(uint32_t factor) {
    uint64_t carry = 0;
    for (uint32_t& limb : limbs_) {
      const uint64_t product = static_cast<uint64_t>(limb) * factor + carry;
      limb = static_cast<uint32_t>(product % kBase);
      carry = product / kBase;
    }
    while (carry != 0) {
      limbs_.push_back(static_cast<uint32_t>(carry % kBase));
      carry /= kBase;
    }
  }

  // Multiplies by base^exponent for a small base, in steps that keep every product in 64 bits.
  void MultiplyByPower(uint32_t base, int exponent, uint32_t stepFactor, int stepExponent) {
    for (; exponent >= stepExponent; exponent -= stepExponent) MultiplyBy(stepFactor);
    for (; exponent > 0; --exponent) MultiplyBy(base);
  }

  std::string ToString() const {
    std::string text = std::to_string(limbs_.back());
    for (size_t i = limbs_.size() - 1; i-- > 0;) {
      const std::string part = std::to_string(limbs_[i]);
      text += std::string(9 - part.size(), '0') + part;
    }
    return text;
  }

 private:
  static constexpr uint64_t kBase = 1000000000;
  std::vector<uint32_t> limbs_;
};

// |value| = 0.Digits x 10^Exponent exactly; Digits has no leading or trailing zeros.
struct ExactDecimal {
  std::string Digits;
  int Exponent = 0;
};

ExactDecimal ExpandExactly(double value) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
  int binaryExponent = 0;
  if (biased == 0) {
    binaryExponent = -1074;
  } else {
    mantissa |= uint64_t{1} << 52;
    binaryExponent = biased - 1075;
  }
  BigDecimal number(mantissa);
  int decimalShift = 0;
  if (binaryExponent >= 0) {
    number.MultiplyByPower(2, binaryExponent, uint32_t{1} << 29, 29);
  } else {
    // m / 2^k = m * 5^k / 10^k
    number.MultiplyByPower(5, -binaryExponent, 1220703125u, 13);
    decimalShift = binaryExponent;
  }
  ExactDecimal result;
  result.Digits = number.ToString();
  result.Exponent = static_cast<int>(result.Digits.size()) + decimalShift;
  result.Digits.erase(result.Digits.find_last_not_of('0') + 1);
  return result;
}

// Adds one unit in the last place of a digit string; returns true when it overflowed to 10...0
// (the string then holds 1 followed by zeros and keeps its length).
bool IncrementDigits(std::string& digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return false;
    }
    digits[i] = '0';
  }
  digits.insert(digits.begin(), '1');
  digits.pop_back();
  return true;
}

// With twoStage false the exact value is rounded once, straight to 15 digits: used only to show
// that the generated table holds values where the two rules part.
std::string ExpectedFloatText(double value, char separator, bool twoStage = true) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  ExactDecimal exact = ExpandExactly(value);
  std::string digits = exact.Digits;
  int exponent = exact.Exponent;

  // Stage 1: 18 significant digits, nearest, ties to even.
  if (twoStage && digits.size() > 18) {
    const std::string rest = digits.substr(18);
    digits.resize(18);
    bool up = false;
    if (rest[0] > '5') {
      up = true;
    } else if (rest[0] == '5') {
      const bool exactTie = rest.find_first_not_of('0', 1) == std::string::npos;
      up = !exactTie || (digits.back() - '0') % 2 == 1;
    }
    if (up && IncrementDigits(digits)) ++exponent;
  }
  if (!twoStage) digits.resize(std::min<size_t>(digits.size(), 16));
  digits.resize(std::max<size_t>(digits.size(), 18), '0');
  // Stage 2: the 16th digit rounds the 15th half up.
  const bool up = digits[15] >= '5';
  digits.resize(15);
  if (up && IncrementDigits(digits)) ++exponent;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string text = value < 0 ? "-" : "";
  const int m = static_cast<int>(digits.size());
  if (exponent >= -3 && exponent <= 15) {
    if (exponent <= 0) return text + "0" + separator + std::string(-exponent, '0') + digits;
    std::string integerPart = digits.substr(0, std::min(m, exponent));
    integerPart += std::string(std::max(0, exponent - m), '0');
    text += integerPart;
    if (m > exponent) text += separator + digits.substr(exponent);
    return text;
  }
  text += digits.substr(0, 1);
  if (m > 1) text += separator + digits.substr(1);
  return text + "E" + std::to_string(exponent - 1);
}

TEST(ExactExpansion, ReproducesKnownExpansions) {
  struct Case {
    double value;
    const char* digits;
    int exponent;
  };
  const Case cases[] = {
      {0.1, "1000000000000000055511151231257827021181583404541015625", 0},
      {1e23, "99999999999999991611392", 23},
      {0.5, "5", 0},
      {1.0, "1", 1},
      {1024.0, "1024", 4},
      {std::ldexp(1.0, -1074),
       "494065645841246544176568792868221372365059802614324764425585682500675507270208751865299836"
       "361635992379796564695445717730926656710355939796398774796010781878126300713190311404527845"
       "817167848982103688718636056998730723050006387409153564984387312473397273169615140031715385"
       "398074126238565591171026658556686768187039560310624931945271591492455329305456544401127480"
       "129709999541931989409080416563324524757147869014726780159355238611550134803526493472019379"
       "026810710749170333222684475333572083243193609238289345836806010601150616980975307834227731"
       "832924790498252473077637592724787465608477820373446969953364701797267771758512566055119913"
       "150489110145103786273816725095583738973359899366480994116420570263709027924276754456522908"
       "7538682506419718265533447265625",
       -323},
  };
  for (const Case& c : cases) {
    const ExactDecimal exact = ExpandExactly(c.value);
    std::string digits = c.digits;
    digits.erase(digits.find_last_not_of('0') + 1);
    EXPECT_EQ(exact.Digits, digits) << c.value;
    EXPECT_EQ(exact.Exponent, c.exponent) << c.value;
  }
}

// ---------------------------------------------------------------------------------------------

class FieldTextTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = FormatSettings(); }
  void TearDown() override { FormatSettings() = saved_; }

 private:
  TFormatSettings saved_;
};

TEST_F(FieldTextTest, IntegerTexts) {
  struct Case {
    int64_t value;
    const char* text;
  };
  const Case cases[] = {
      {0, "0"},
      {22, "22"},
      {-7, "-7"},
      {1000000, "1000000"},
      {std::numeric_limits<int32_t>::max(), "2147483647"},
      {std::numeric_limits<int32_t>::min(), "-2147483648"},
      {std::numeric_limits<int64_t>::min(), "-9223372036854775808"},
  };
  for (const Case& c : cases) EXPECT_EQ(IntToStr(c.value), c.text);
  EXPECT_EQ(IntegerFieldText(-2147483647 - 1), "-2147483648");
  EXPECT_EQ(IntegerFieldText(std::nullopt), "");
}

TEST_F(FieldTextTest, FloatTextsOfNotableValues) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {12.5, "12.5"},
      {-0.001, "-0.001"},
      {0.0001, "0.0001"},
      {0.00001, "1E-5"},
      {-0.00001, "-1E-5"},
      {0.00012345, "0.00012345"},
      {0.00009999999999999995, "0.0001"},  // rounding carries into the fixed range
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {999999999999999.0, "999999999999999"},
      {999999999999999.9, "1E15"},  // carry leaves the fixed range
      {1e15, "1E15"},
      {1e16, "1E16"},
      {123456789012345678.0, "1.23456789012346E17"},
      {1234567890123456.0, "1.23456789012346E15"},
      {100000000000000.0, "100000000000000"},
      {123456789012345.6, "123456789012346"},
      {123456789012345.5, "123456789012346"},  // exact 16th digit 5 rounds up
      {123456789012344.5, "123456789012345"},  // ... not to the even neighbour
      {0.0, "0"},
      {-0.0, "0"},
      {1.0, "1"},
      {-1.0, "-1"},
      {100.0, "100"},
      {0.1, "0.1"},
      {0.1 + 0.2, "0.3"},
      {0.5, "0.5"},
      {9007199254740992.0, "9.00719925474099E15"},
      {1.5e300, "1.5E300"},
      {-2.5e-300, "-2.5E-300"},
      {DBL_MAX, "1.79769313486232E308"},
      {DBL_MIN, "2.2250738585072E-308"},
      {std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324"},
      // Exact value 312600643791657499.62...E5: the 18-digit stage gives ...657500, so the
      // result rounds up where a single rounding to 15 digits would round down.
      {3.126006437916575e+23, "3.12600643791658E23"},
      {1115233603.587605, "1115233603.58761"},
      {std::numeric_limits<double>::infinity(), "INF"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
      {std::numeric_limits<double>::quiet_NaN(), "NAN"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FloatToStr(c.value), c.text) << "value " << c.value;
    // The reference agrees on every hand-picked value as well.
    EXPECT_EQ(ExpectedFloatText(c.value, '.'), c.text) << "value " << c.value;
  }
}

TEST_F(FieldTextTest, FloatTextsUseTheDecimalSeparatorInForce) {
  FormatSettings().DecimalSeparator = ',';
  EXPECT_EQ(FloatToStr(12.5), "12,5");
  EXPECT_EQ(FloatToStr(-0.001), "-0,001");
  EXPECT_EQ(FloatToStr(1.5e-5), "1,5E-5");
  EXPECT_EQ(FloatToStr(1e15), "1E15");
  EXPECT_EQ(FloatFieldText(2.25), "2,25");
  TFormatSettings explicitSettings;
  explicitSettings.DecimalSeparator = '.';
  EXPECT_EQ(FloatToStr(12.5, explicitSettings), "12.5");
}

TEST_F(FieldTextTest, NullGivesTheEmptyTextInEveryFieldClass) {
  EXPECT_EQ(StringFieldText(std::nullopt), "");
  EXPECT_EQ(IntegerFieldText(std::nullopt), "");
  EXPECT_EQ(FloatFieldText(std::nullopt), "");
  EXPECT_EQ(DateTimeFieldText(std::nullopt), "");
  // A zero value is not NULL.
  EXPECT_EQ(IntegerFieldText(0), "0");
  EXPECT_EQ(FloatFieldText(0.0), "0");
  EXPECT_EQ(DateTimeFieldText(0.0), "30.12.1899");
}

TEST_F(FieldTextTest, StringTextIsStoredTextUnchanged) {
  for (const std::string& text :
       {std::string(""), std::string("  padded  "), std::string("MiXeD"),
        std::string("Привет, мир"), std::string("a\tb\nc"), std::string("with\0nul", 8)})
    EXPECT_EQ(StringFieldText(text), text);
}

// ---------------------------------------------------------------------------------------------
// The large generated table.

std::vector<double> GeneratedValues() {
  std::mt19937_64 random(20080815);
  std::vector<double> values;
  const auto addWithNeighbours = [&values](double v, int steps) {
    values.push_back(v);
    double up = v, down = v;
    for (int i = 0; i < steps; ++i) {
      up = std::nextafter(up, HUGE_VAL);
      down = std::nextafter(down, -HUGE_VAL);
      values.push_back(up);
      values.push_back(down);
    }
  };

  // Arbitrary bit patterns: every exponent range, subnormals included, both signs.
  for (int i = 0; i < 12000; ++i) {
    const double v = std::bit_cast<double>(random());
    if (std::isfinite(v)) values.push_back(v);
  }
  // Subnormals.
  for (int i = 0; i < 2000; ++i)
    values.push_back(std::bit_cast<double>(random() & ((uint64_t{1} << 52) - 1)));
  // Powers of ten and their neighbours.
  for (int k = -323; k <= 308; ++k)
    addWithNeighbours(std::strtod(("1e" + std::to_string(k)).c_str(), nullptr), 2);
  // The fixed/scientific boundaries.
  for (const double v : {1e15, 999999999999999.0, 999999999999999.5, 1e16, 0.0001, 0.001,
                         0.00009999999999999999, 0.000099999999999999, 1e-5, 0.5, 1.0})
    addWithNeighbours(v, 40);
  // Decimal texts with 15 significant digits followed by chosen tails: the 16th digit 5 alone,
  // 5 with later zeros or non-zero digits, 4 followed by nines, and random tails.
  const char* tails[] = {"5",    "50",    "5000", "50000001", "4999", "49999999",
                         "4995", "49949", "9999", "0001",     "",     "5000000000000001"};
  std::uniform_int_distribution<int64_t> fifteenDigits(100000000000000, 999999999999999);
  std::uniform_int_distribution<int> exponentDistribution(-330, 310);
  std::uniform_int_distribution<int> smallExponent(-25, 25);
  for (int i = 0; i < 24000; ++i) {
    std::string text = std::to_string(fifteenDigits(random));
    text += tails[i % std::size(tails)];
    if (i % 5 == 0) text += std::to_string(random() % 1000000);
    const int exponent = (i % 2 == 0) ? exponentDistribution(random) : smallExponent(random);
    text = text.substr(0, 1) + "." + text.substr(1) + "e" + std::to_string(exponent);
    const double v = std::strtod(text.c_str(), nullptr);
    if (std::isfinite(v) && v != 0) values.push_back(i % 3 == 0 ? -v : v);
  }
  // Exactly representable values whose 16th significant digit is a 5 with nothing after it.
  std::uniform_int_distribution<int64_t> fourteenDigits(10000000000000, 99999999999999);
  for (int i = 0; i < 2000; ++i) {
    values.push_back(static_cast<double>(fifteenDigits(random)) + 0.5);
    values.push_back(static_cast<double>(fourteenDigits(random)) + (i % 2 == 0 ? 0.25 : 0.75));
  }
  // Short decimals as tables hold them (amounts with two or three places, up to 15 digits),
  // and their neighbours, whose shortest texts are long.
  std::uniform_int_distribution<int> digitCount(1, 15);
  for (int i = 0; i < 6000; ++i) {
    const int n = digitCount(random);
    std::string text = std::to_string(1 + random() % 9);
    for (int k = 1; k < n; ++k) text += static_cast<char>('0' + random() % 10);
    const int places = i % 4 == 0 ? 0 : 1 + i % 3;
    if (places > 0 && places < n) text.insert(text.size() - places, ".");
    const double v = std::strtod(text.c_str(), nullptr);
    values.push_back(i % 2 == 0 ? -v : v);
    if (i % 10 == 0) addWithNeighbours(v, 1);
  }
  // Integers and simple fractions.
  for (int i = 0; i < 3000; ++i) {
    values.push_back(static_cast<double>(static_cast<int64_t>(random() >> (i % 60))));
    values.push_back(static_cast<double>(random() % 100000) / static_cast<double>(1 + i % 97));
  }
  return values;
}

TEST_F(FieldTextTest, GeneratedValuesMatchTheExactReference) {
  const std::vector<double> values = GeneratedValues();
  ASSERT_GT(values.size(), 40000u);
  int failures = 0;
  int twoStageMatters = 0;
  int exactSixteenthFive = 0;
  for (const double v : values) {
    if (ExpectedFloatText(v, '.', false) != ExpectedFloatText(v, '.')) ++twoStageMatters;
    if (const ExactDecimal exact = ExpandExactly(v);
        exact.Digits.size() == 16 && exact.Digits[15] == '5')
      ++exactSixteenthFive;
    const std::string expected = ExpectedFloatText(v, '.');
    const std::string actual = FloatToStr(v);
    if (actual != expected && ++failures <= 20)
      ADD_FAILURE() << "value " << std::hexfloat << v << std::defaultfloat << ": expected "
                    << expected << ", got " << actual;
  }
  EXPECT_EQ(failures, 0);
  RecordProperty("values", static_cast<int>(values.size()));
  RecordProperty("twoStageMatters", twoStageMatters);
  RecordProperty("exactSixteenthFive", exactSixteenthFive);
  // The table really reaches the cases that tell the rounding rules apart.
  EXPECT_GT(twoStageMatters, 0);
  EXPECT_GT(exactSixteenthFive, 0);
}

// ---------------------------------------------------------------------------------------------

TEST_F(FieldTextTest, IntegerOfAFloatRoundsToNearestWithTiesToEven) {
  struct Case {
    double value;
    int32_t expected;
  };
  const Case cases[] = {
      {0.0, 0},
      {-0.0, 0},
      {22.0, 22},
      {1.4, 1},
      {1.6, 2},
      {-1.6, -2},
      {0.5, 0},
      {1.5, 2},
      {2.5, 2},
      {3.5, 4},
      {-0.5, 0},
      {-2.5, -2},
      {-3.5, -4},
      {2.5000000000000004, 3},
      {2147483647.0, 2147483647},
      {2147483647.4, 2147483647},
      {-2147483648.0, -2147483648},
      {-2147483648.5, -2147483648},  // tie to the even neighbour stays inside the range
  };
  for (const Case& c : cases) EXPECT_EQ(FloatToInteger(c.value), c.expected) << c.value;
}

TEST_F(FieldTextTest, IntegerOfAFloatRefusesValuesOutsideTheRange) {
  const double cases[] = {2147483647.5,  // the tie goes to 2147483648
                          2147483648.0,
                          -2147483649.0,
                          1e20,
                          -1e300,
                          std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::quiet_NaN()};
  for (const double v : cases) {
    EXPECT_THAT([v] { FloatToInteger(v); },
                ::testing::ThrowsMessage<EConvertError>(
                    ::testing::HasSubstr(std::isnan(v) ? "NAN" : "range")))
        << v;
  }
}

}  // namespace
}  // namespace tarnwick
