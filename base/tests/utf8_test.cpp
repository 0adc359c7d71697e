// The UTF-8 rule: which byte sequences are characters, and how texts with stray bytes are
// counted, cut and encoded.
#include "base/Utf8.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace tarnwick::utf8 {
namespace {

struct DecodeCase {
  const char* name;
  std::string bytes;
  char32_t code_point;  // for a valid sequence
  std::size_t length;   // 0: the first byte is stray
};

std::ostream& operator<<(std::ostream& os, const DecodeCase& c) {
  return os << c.name;
}

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, DecodesTheFirstSequenceOrRefusesItsFirstByte) {
  const DecodeCase& c = GetParam();
  const Decoded d = Decode(c.bytes);
  EXPECT_EQ(d.length, c.length);
  EXPECT_EQ(d.valid(), c.length != 0);
  if (c.length != 0) {
    EXPECT_EQ(d.code_point, c.code_point);
    EXPECT_EQ(Encode(c.code_point), c.bytes.substr(0, c.length)) << "encoding gives it back";
  } else {
    EXPECT_EQ(d.code_point, static_cast<unsigned char>(c.bytes[0])) << "the stray byte's value";
  }
  EXPECT_EQ(SequenceLength(c.bytes), c.length);
  EXPECT_EQ(CharacterLength(c.bytes), c.length == 0 ? 1u : c.length);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, DecodeTest,
    ::testing::Values(
        // valid, one to four bytes, at both ends of every range
        DecodeCase{"nul", std::string("\0", 1), 0x00, 1}, DecodeCase{"ascii_last", "\x7F", 0x7F, 1},
        DecodeCase{"two_first", "\xC2\x80", 0x80, 2}, DecodeCase{"two_cyrillic", "Ж", 0x0416, 2},
        DecodeCase{"two_last", "\xDF\xBF", 0x7FF, 2},
        DecodeCase{"three_first", "\xE0\xA0\x80", 0x800, 3},
        DecodeCase{"three_euro", "€", 0x20AC, 3},
        DecodeCase{"three_before_surrogates", "\xED\x9F\xBF", 0xD7FF, 3},
        DecodeCase{"three_after_surrogates", "\xEE\x80\x80", 0xE000, 3},
        DecodeCase{"three_last", "\xEF\xBF\xBF", 0xFFFF, 3},
        DecodeCase{"four_first", "\xF0\x90\x80\x80", 0x10000, 4},
        DecodeCase{"four_emoji", "😀", 0x1F600, 4},
        DecodeCase{"four_last", "\xF4\x8F\xBF\xBF", 0x10FFFF, 4},
        DecodeCase{"followed_by_more", "Жx", 0x0416, 2},
        // overlong forms
        DecodeCase{"overlong_two_c0", "\xC0\x80", 0, 0},
        DecodeCase{"overlong_two_c1", "\xC1\xBF", 0, 0},
        DecodeCase{"overlong_three", "\xE0\x9F\xBF", 0, 0},
        DecodeCase{"overlong_four", "\xF0\x8F\xBF\xBF", 0, 0},
        // surrogates
        DecodeCase{"surrogate_first", "\xED\xA0\x80", 0, 0},
        DecodeCase{"surrogate_last", "\xED\xBF\xBF", 0, 0},
        // beyond U+10FFFF
        DecodeCase{"beyond_f4", "\xF4\x90\x80\x80", 0, 0},
        DecodeCase{"lead_f5", "\xF5\x80\x80\x80", 0, 0},
        DecodeCase{"lead_f8", "\xF8\x88\x80\x80\x80", 0, 0}, DecodeCase{"lead_ff", "\xFF", 0, 0},
        // cut short, at the end of the text or by a byte that continues nothing
        DecodeCase{"two_cut", "\xD0", 0, 0}, DecodeCase{"three_cut", "\xE2\x82", 0, 0},
        DecodeCase{"four_cut", "\xF0\x9F\x98", 0, 0}, DecodeCase{"two_then_ascii", "\xD0x", 0, 0},
        DecodeCase{"three_then_ascii", "\xE2\x82x", 0, 0},
        DecodeCase{"four_then_lead", "\xF0\x9F\x98\xD0\x96", 0, 0},
        // continuation bytes alone
        DecodeCase{"continuation_first", "\x80", 0, 0},
        DecodeCase{"continuation_last", "\xBF", 0, 0},
        DecodeCase{"continuations", "\x80\x80\x80", 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Utf8Test, DecodesAtAPosition) {
  const std::string text = "aЖ€";
  EXPECT_EQ(Decode(text, 1).code_point, 0x0416u);
  EXPECT_EQ(Decode(text, 3).code_point, 0x20ACu);
  EXPECT_FALSE(Decode(text, 2).valid()) << "the middle of a character";
}

struct TextCase {
  const char* name;
  std::string text;
  bool valid;
  std::size_t count;  // characters, a stray byte counting as one
};

std::ostream& operator<<(std::ostream& os, const TextCase& c) {
  return os << c.name;
}

class TextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextTest, ValidatesAndCounts) {
  const TextCase& c = GetParam();
  EXPECT_EQ(IsValid(c.text), c.valid);
  EXPECT_EQ(Count(c.text), c.count);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextTest,
    ::testing::Values(TextCase{"empty", "", true, 0}, TextCase{"ascii", "plain 123", true, 9},
                      TextCase{"mixed", "Ёж € 😀", true, 6},
                      TextCase{"stray_inside",
                               "a\xFF"
                               "b",
                               false, 3},
                      TextCase{"cut_at_end", "x\xD0", false, 2},
                      TextCase{"overlong_is_two_bytes", "\xC0\x80", false, 2},
                      TextCase{"surrogate_is_three_bytes", "\xED\xA0\x80", false, 3},
                      TextCase{"continuations_alone", "\x80\x80", false, 2},
                      TextCase{"lead_then_character", "\xE2Ж", false, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Utf8Test, TruncatesOnACharacterBoundary) {
  struct Case {
    std::string text;
    std::size_t count;
    std::string part;
  };
  const Case cases[] = {
      {"abcdef", 3, "abc"},
      {"ab", 5, "ab"},
      {"Ёлка", 2, "Ёл"},
      {"x€y", 2, "x€"},
      {"😀😀", 1, "😀"},
      {"a\xFF"
       "bc",
       2, "a\xFF"},
      {"\xE2\x82Ж", 1, "\xE2"},  // a stray lead byte is one character; the next byte is another
      {"\xE2\x82Ж", 2, "\xE2\x82"},
      {"abc", 0, ""},
      {"", 3, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Truncate(c.text, c.count), c.part) << c.text << " to " << c.count;
    EXPECT_EQ(PrefixBytes(c.text, c.count), c.part.size()) << c.text << " to " << c.count;
  }
}

TEST(Utf8Test, EncodesEveryScalarValueAndReplacesTheRest) {
  // Every scalar value round-trips through Append and Decode.
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const std::string bytes = Encode(cp);
    const Decoded d = Decode(bytes);
    ASSERT_EQ(d.length, bytes.size()) << std::hex << static_cast<uint32_t>(cp);
    ASSERT_EQ(d.code_point, cp) << std::hex << static_cast<uint32_t>(cp);
  }
  EXPECT_EQ(Encode(0xD800), "\xEF\xBF\xBD");
  EXPECT_EQ(Encode(0xDFFF), "\xEF\xBF\xBD");
  EXPECT_EQ(Encode(0x110000), "\xEF\xBF\xBD");
  std::string out = "a";
  Append(out, 0x0416);
  Append(out, 'b');
  EXPECT_EQ(out, "aЖb");
}

}  // namespace
}  // namespace tarnwick::utf8
