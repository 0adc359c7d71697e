// Code page 866: the writer's table against glibc's converter for every byte and every code
// point, and the "?" rule for texts and fields.
#include "dbf/cp866.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <optional>
#include <string>

#include "base/Utf8.h"

namespace {

using tarnwick::cp866_byte;
using tarnwick::cp866_field;
using tarnwick::cp866_text;

// One glibc converter, the independent reference.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (valid()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // The whole input converted, or nothing when the converter refuses it.
  std::optional<std::string> convert(const std::string& in) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string input = in;
    char* src = input.data();
    size_t src_left = input.size();
    char out[16];
    char* dst = out;
    size_t dst_left = sizeof out;
    if (iconv(cd_, &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1)) {
      return std::nullopt;
    }
    return std::string(out, static_cast<size_t>(dst - out));
  }

 private:
  iconv_t cd_;
};

TEST(Cp866TableTest, EveryByteIsTheCharacterThatGlibcDecodesItTo) {
  Iconv decode("UTF-8", "CP866");
  ASSERT_TRUE(decode.valid()) << "glibc's CP866 converter is missing";
  for (int b = 0; b < 256; ++b) {
    const std::optional<std::string> utf8 = decode.convert(std::string(1, static_cast<char>(b)));
    ASSERT_TRUE(utf8.has_value()) << "byte " << b;
    const tarnwick::utf8::Decoded d = tarnwick::utf8::Decode(*utf8);
    ASSERT_EQ(d.length, utf8->size()) << "byte " << b;
    EXPECT_EQ(cp866_byte(d.code_point), b)
        << "byte " << b << " is U+" << std::hex << static_cast<uint32_t>(d.code_point);
  }
}

// glibc drops the tag characters U+E0000..U+E007F (it writes nothing for them); the writer
// stores "?" for them, as for every other character that the code page lacks, so that each
// character of a field still takes one byte.
TEST(Cp866TableTest, EveryCodePointEncodesAsGlibcEncodesIt) {
  Iconv encode("CP866", "UTF-8");
  ASSERT_TRUE(encode.valid()) << "glibc's CP866 converter is missing";
  int held = 0;
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const std::optional<std::string> bytes = encode.convert(tarnwick::utf8::Encode(cp));
    const bool tag = cp >= 0xE0000 && cp <= 0xE007F;
    ASSERT_EQ(bytes && bytes->empty(), tag) << "U+" << std::hex << static_cast<uint32_t>(cp);
    int want = -1;
    if (bytes && !tag) {
      ASSERT_EQ(bytes->size(), 1u) << "U+" << std::hex << static_cast<uint32_t>(cp);
      want = static_cast<unsigned char>((*bytes)[0]);
      ++held;
    }
    ASSERT_EQ(cp866_byte(cp), want) << "U+" << std::hex << static_cast<uint32_t>(cp);
  }
  EXPECT_EQ(held, 256) << "one code point per byte";
  EXPECT_EQ(cp866_byte(0x110000), -1);
}

TEST(Cp866TextTest, ConvertsOneBytePerCharacterWithQuestionMarks) {
  struct Case {
    std::string text;
    std::string converted;
    uint32_t replaced;
  };
  const Case cases[] = {
      {"plain ASCII 123", "plain ASCII 123", 0},
      {"Ёлка, ёж, № 5 ╬", "\xF0\xAB\xAA\xA0, \xF1\xA6, \xFC 5 \xCE", 0},
      {"café €", "caf? ?", 2},
      {"«Старший»", "?\x91\xE2\xA0\xE0\xE8\xA8\xA9?", 2},
      {"a\xFF"
       "b",
       "a?b", 1},                  // a stray byte
      {"x\xD0", "x?", 1},          // a sequence cut short
      {"\xED\xA0\x80", "???", 3},  // a surrogate: three stray bytes
      {"😀é😀", "???", 3},           // every occurrence
      {"a?b", "a?b", 0},           // a "?" of the text is no replacement
      {"", "", 0},
  };
  for (const Case& c : cases) {
    uint32_t replaced = 99;
    EXPECT_EQ(cp866_text(c.text, &replaced), c.converted) << c.text;
    EXPECT_EQ(replaced, c.replaced) << c.text;
    EXPECT_EQ(cp866_text(c.text), c.converted) << c.text;
  }
}

TEST(Cp866FieldTest, CutsAndFillsByCharactersAndCountsWhatItReplaced) {
  struct Case {
    std::string text;
    size_t width;
    std::string stored;
    uint32_t replaced;
  };
  const Case cases[] = {
      {"abc", 5, "abc  ", 0},
      {"abcdefghijklmnopqrstuvwxyz", 10, "abcdefghij", 0},  // cut inside an ASCII run
      {"Привет", 3, "\x8F\xE0\xA8", 0},
      {"€€ и 中", 4, "?? \xA8", 2},  // replacements after the cut are not counted
      {"€€ и 中", 6, "?? \xA8 ?", 3},
      {"\xFF\xFE", 1, "?", 1},
      {"", 3, "   ", 0},
      {"xyz", 0, "", 0},
  };
  for (const Case& c : cases) {
    std::string out(c.width + 1, '#');
    EXPECT_EQ(cp866_field(c.text, c.width, out.data()), c.replaced) << c.text;
    EXPECT_EQ(out, c.stored + "#") << c.text << ": exactly the field's bytes";
  }
}

}  // namespace
