// The exact text of Oracle NUMBER bytes, and the rule that fits a number's text into a DBF field.
// Known encodings anchor a small reference encoder of this test, which then gives the bytes of
// every other case and of random 40-digit values.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "dataset/text/NumberText.h"

namespace tarnwick {
namespace {

using Bytes = std::vector<uint8_t>;

// Oracle's bytes of the value sign x 0.digits x 10^exponent (digits without leading zeros, at
// most 40 of them, the exponent keeping the value within 1E-130 .. 1E126).
Bytes Encode(bool negative, std::string digits, int exponent) {
  if (digits.empty()) return {0x80};
  // Base-100 digits need an even exponent.
  if (exponent % 2 != 0) {
    digits.insert(digits.begin(), '0');
    ++exponent;
  }
  if (digits.size() % 2 != 0) digits += '0';
  while (digits.size() >= 2 && digits.compare(digits.size() - 2, 2, "00") == 0)
    digits.resize(digits.size() - 2);
  const int head = exponent / 2 - 1 + 193;
  Bytes out{static_cast<uint8_t>(negative ? 255 - head : head)};
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    const int pair = (digits[i] - '0') * 10 + (digits[i + 1] - '0');
    out.push_back(static_cast<uint8_t>(negative ? 101 - pair : pair + 1));
  }
  if (negative && out.size() < 21) out.push_back(102);
  return out;
}

// The bytes of a plain decimal text "-123.45".
Bytes EncodeText(const std::string& text) {
  const bool negative = text[0] == '-';
  std::string digits;
  int exponent = 0;
  bool point = false;
  for (char c : text.substr(negative ? 1 : 0)) {
    if (c == '.') {
      point = true;
      continue;
    }
    if (digits.empty() && c == '0') {
      if (point) --exponent;
      continue;
    }
    digits += c;
    if (!point) ++exponent;
  }
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  return Encode(negative, digits, exponent);
}

// The text of the bytes; the form that writes into a string gives the same text, whatever the
// string held before.
std::string Text(const Bytes& bytes) {
  std::string text = OraNumberToStr(bytes.data(), bytes.size());
  std::string reused = "the text of an earlier value, longer than any number's text here";
  OraNumberToStr(bytes.data(), bytes.size(), FormatSettings(), reused);
  EXPECT_EQ(reused, text);
  return text;
}

TEST(OraNumberText, KnownEncodingsOfOracle) {
  // The encoder of this test gives the bytes that Oracle stores for these values.
  const struct {
    const char* value;
    Bytes bytes;
  } cases[] = {
      {"1", {0xC1, 0x02}},
      {"100", {0xC2, 0x02}},
      {"123.45", {0xC2, 0x02, 0x18, 0x2E}},
      {"0.5", {0xC0, 0x33}},
      {"-1", {0x3E, 0x64, 0x66}},
      {"-0.5", {0x3F, 0x33, 0x66}},
      {"-123.45", {0x3D, 0x64, 0x4E, 0x38, 0x66}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeText(c.value), c.bytes) << c.value;
    EXPECT_EQ(Text(c.bytes), c.value);
  }
  EXPECT_EQ(Encode(false, "1", -129), (Bytes{0x80, 0x02}));  // 1E-130, the smallest
  EXPECT_EQ(Encode(false, "1", 126), (Bytes{0xFF, 0x0B}));   // 1E125
}

TEST(OraNumberText, EveryDigitInFixedOrExponentForm) {
  const struct {
    Bytes bytes;
    const char* text;
  } cases[] = {
      {{0x80}, "0"},
      {EncodeText("100000000000000001"), "100000000000000001"},
      {EncodeText("-999999999999999999"), "-999999999999999999"},
      {EncodeText("1234567890123456"), "1234567890123456"},
      {EncodeText("12345678901234567890"), "12345678901234567890"},
      {EncodeText("99999999999999999999999999999999999999"),
       "99999999999999999999999999999999999999"},
      {EncodeText("-99999999999999999999999999999999999999"),
       "-99999999999999999999999999999999999999"},
      {EncodeText("123456789012345678.12"), "123456789012345678.12"},
      {EncodeText("1234567890123456789012345678.0123456789"),
       "1234567890123456789012345678.0123456789"},
      {Encode(false, std::string(40, '3'), 0), "0.3333333333333333333333333333333333333333"},
      {EncodeText("0.0001"), "0.0001"},
      {EncodeText("-0.000123"), "-0.000123"},
      {EncodeText("0.00001"), "0.00001"},
      {EncodeText("0.0000000001"), "0.0000000001"},
      {Encode(false, "15", -38), "0.0000000000000000000000000000000000000015"},  // 40 decimals
      {Encode(false, "15", -39), "1.5E-40"},
      {Encode(false, "1", -129), "1E-130"},
      {Encode(true, "1", -129), "-1E-130"},
      {Encode(false, "1", 126), "1E125"},
      {Encode(false, "12345", 126), "1.2345E125"},
      {Encode(false, "1", 40), "1000000000000000000000000000000000000000"},  // 40 digits
      {Encode(false, "1", 41), "1E40"},
      {Encode(true, std::string(40, '9'), 126),
       "-9.999999999999999999999999999999999999999E125"},  // 20 base-100 digits, no 102
      {{0xFF, 0x65}, "INF"},
      {{0x00}, "-INF"},
  };
  for (const auto& c : cases) EXPECT_EQ(Text(c.bytes), c.text);
}

TEST(OraNumberText, RandomFortyDigitValuesComeBackWhole) {
  std::mt19937_64 random(20261210);
  for (int i = 0; i < 2000; ++i) {
    std::string digits;
    const int count = 1 + static_cast<int>(random() % 40);
    for (int k = 0; k < count; ++k) digits += static_cast<char>('0' + random() % 10);
    digits[0] = static_cast<char>('1' + random() % 9);
    while (digits.back() == '0') digits.pop_back();
    // Fixed notation only: exponents from 1 to 40 and from -3 to 0.
    const int exponent = static_cast<int>(random() % 44) - 3;
    const bool negative = random() % 2 == 0;
    // An odd exponent costs a leading zero: 40 digits need an even one.
    if (digits.size() == 40 && exponent % 2 != 0) digits.pop_back();
    while (digits.back() == '0') digits.pop_back();
    std::string expected = negative ? "-" : "";
    if (exponent <= 0) {
      expected += "0." + std::string(static_cast<std::size_t>(-exponent), '0') + digits;
    } else if (static_cast<int>(digits.size()) <= exponent) {
      expected += digits + std::string(static_cast<std::size_t>(exponent) - digits.size(), '0');
    } else {
      expected += digits.substr(0, static_cast<std::size_t>(exponent)) + "." +
                  digits.substr(static_cast<std::size_t>(exponent));
    }
    EXPECT_EQ(Text(Encode(negative, digits, exponent)), expected);
  }
}

TEST(OraNumberText, DecimalSeparatorOfTheSettings) {
  TFormatSettings comma = FormatSettings();
  comma.DecimalSeparator = ',';
  const Bytes bytes = EncodeText("-123.45");
  EXPECT_EQ(OraNumberToStr(bytes.data(), bytes.size(), comma), "-123,45");
}

TEST(OraNumberText, BytesThatAreNoNumberAreRefused) {
  const Bytes cases[] = {
      {},                  // nothing
      {0xC1},              // an exponent without digits
      {0xC1, 0x00},        // a digit byte below 1
      {0xC1, 0x66},        // a digit byte above 100
      {0x3E, 0x01, 0x66},  // a negative digit byte below 2
      {0x3E, 0x66},        // a negative number without digits
      Bytes(22, 0xC1),     // longer than 21 bytes
  };
  for (const Bytes& bytes : cases) {
    EXPECT_THROW(OraNumberToStr(bytes.data(), bytes.size()), EConvertError) << bytes.size();
    std::string kept = "kept";
    EXPECT_THROW(OraNumberToStr(bytes.data(), bytes.size(), FormatSettings(), kept), EConvertError);
    EXPECT_EQ(kept, "kept");
  }
}

TEST(OraNumberText, FieldTextOfTheLengthPrefixedForm) {
  EXPECT_EQ(OraNumberFieldText(std::nullopt), "");
  const std::string value("\x03\xC2\x02\x18", 4);  // 1.23E2 in three bytes
  EXPECT_EQ(OraNumberFieldText(std::string_view(value)), "123");
  std::string text = "an earlier text";
  OraNumberFieldText(std::string_view(value), text);
  EXPECT_EQ(text, "123");
  OraNumberFieldText(std::nullopt, text);
  EXPECT_EQ(text, "");
  std::string padded(kOraNumberSize, '\0');
  padded[0] = 2;
  padded[1] = static_cast<char>(0xC1);
  padded[2] = 0x02;
  EXPECT_EQ(OraNumberFieldText(std::string_view(padded)), "1");
  EXPECT_THROW(OraNumberFieldText(std::string_view("\x05\xC1", 2)), EConvertError);
  EXPECT_THROW(OraNumberFieldText(std::string_view("\x00", 1)), EConvertError);
}

TEST(FitNumberText, TableOfFieldsAndTexts) {
  const struct {
    const char* text;
    std::size_t length;
    const char* fitted;
    bool rounded;
  } cases[] = {
      // Texts that fit stay as they are, whatever their form.
      {"12345", 5, "12345", false},
      {"-12345", 6, "-12345", false},
      {"1.23456789012346E17", 22, "1.23456789012346E17", false},
      {"-0.5", 4, "-0.5", false},
      {"0", 1, "0", false},
      {"1E-130", 6, "1E-130", false},
      // The most digits that fit, rounded half away from zero, fixed form first.
      {"0.3333333333333333333333333333333333333333", 22, "0.33333333333333333333", true},
      {"0.6666666666666666666666666666666666666667", 10, "0.66666667", true},
      {"-0.6666666666666666666666666666666666666667", 10, "-0.6666667", true},
      {"0.125", 4, "0.13", true},
      {"-0.125", 5, "-0.13", true},
      {"123456789012345678.12", 20, "123456789012345678.1", true},
      {"123456789012345678.12", 18, "123456789012345678", true},
      {"123456789012345678.5", 18, "123456789012345679", true},
      {"0.99999", 3, "1", true},
      {"-99.96", 4, "-100", true},
      // Where the fixed form cannot hold the value, the exponent form holds more digits.
      {"123456789012345678.12", 10, "1.23457E17", true},
      {"-123456789012345678901234567890123456789", 39, "-1.234567890123456789012345678901235E38",
       true},
      {"0.000000000000000000000000000000000123456789", 12, "1.234568E-34", true},
      {"-1.5E-10", 7, "-2E-10", true},
      {"1.2345E125", 8, "1.23E125", true},
      // Only the notation changes: the value stays whole.
      {"1000000000000000000000000000000000000000", 39, "1E39", false},
      {"0.00000000000000000000000000000000000000000000000001", 5, "1E-50", false},
      {"1E40", 41, "1E40", false},
      // A value that no form fits (or no number) is left to the writer, which cuts it.
      {"1E-130", 5, "1E-130", true},
      {"abc", 2, "abc", true},
  };
  for (const auto& c : cases) {
    const TFittedNumber fitted = FitNumberText(c.text, c.length);
    EXPECT_EQ(fitted.Text, c.fitted) << c.text << " in " << c.length;
    EXPECT_EQ(fitted.Rounded, c.rounded) << c.text << " in " << c.length;
    if (!c.rounded) {
      EXPECT_LE(fitted.Text.size(), c.length) << c.text;
    }
  }
}

TEST(FitNumberText, ReadsTheSettingsSeparator) {
  TFormatSettings comma = FormatSettings();
  comma.DecimalSeparator = ',';
  EXPECT_EQ(FitNumberText("0,125", 4, comma).Text, "0,13");
  // With "," as the separator, "." is no part of a number.
  EXPECT_TRUE(FitNumberText("0.125", 4, comma).Rounded);
}

}  // namespace
}  // namespace tarnwick
