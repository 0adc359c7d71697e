// NUMBER values: exact decimal text, Oracle's byte format and its ordering, storage checks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "standin/engine/internal.h"
#include "standin/engine/tests/EngineFixture.h"

namespace standin::testing {
namespace {

using ::testing::Field;
using ::testing::Throws;

std::string canonical(const std::string& in) {
  Decimal d;
  EXPECT_TRUE(parseDecimal(in, d)) << in;
  char buf[400];
  decimalText(d, buf, sizeof buf);
  return buf;
}

TEST(Decimal, ParsesToCanonicalText) {
  const std::pair<const char*, const char*> cases[] = {
      {"0", "0"},
      {"-0", "0"},
      {"000.000", "0"},
      {"12", "12"},
      {"+12.50", "12.5"},
      {"-.5", "-0.5"},
      {"5.", "5"},
      {" 7 ", "7"},
      {"1e3", "1000"},
      {"1.5E-3", "0.0015"},
      {"-1234567890123456789012345678.0123456789", "-1234567890123456789012345678.0123456789"},
      // More than 40 significant digits round half away from zero.
      {"1.2345678901234567890123456789012345678949", "1.234567890123456789012345678901234567895"},
      {"99999999999999999999999999999999999999999", "100000000000000000000000000000000000000000"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(canonical(in), out) << in;
  Decimal d;
  for (const char* bad : {"", "-", ".", "1..2", "1e", "1e+", "abc", "1 2", "0x10", "1,5"})
    EXPECT_FALSE(parseDecimal(bad, d)) << bad;
}

TEST(Decimal, EncodesOraclesPublishedExamples) {
  // VARNUM examples of the published NUMBER format (without the length byte).
  const std::pair<const char*, std::vector<int>> cases[] = {
      {"0", {128}},
      {"5", {193, 6}},
      {"-5", {62, 96, 102}},
      {"2767", {194, 28, 68}},
      {"-2767", {61, 74, 34, 102}},
      {"100000", {195, 11}},
      {"1234567", {196, 2, 24, 46, 68}},
  };
  for (const auto& [text, bytes] : cases) {
    Decimal d;
    ASSERT_TRUE(parseDecimal(text, d));
    std::string enc = encodeNumber(d);
    std::vector<int> got(enc.begin(), enc.end());
    for (int& b : got) b &= 0xFF;
    EXPECT_EQ(got, bytes) << text;
    Decimal back;
    ASSERT_TRUE(decodeNumber(reinterpret_cast<const unsigned char*>(enc.data()), enc.size(), back));
    EXPECT_EQ(canonical(text), [&] {
      char buf[400];
      decimalText(back, buf, sizeof buf);
      return std::string(buf);
    }()) << text;
  }
}

TEST(Decimal, ByteFormatSortsLikeTheNumbers) {
  const char* sorted[] = {"-1e125",
                          "-12345678901234567890.5",
                          "-100",
                          "-1.55",
                          "-1.5",
                          "-1.50001e-3",
                          "-1e-130",
                          "0",
                          "1e-130",
                          "0.001",
                          "0.5",
                          "1",
                          "1.5",
                          "1.55",
                          "99",
                          "100",
                          "12345678901234567890123456789012345678",
                          "9.99e125"};
  std::vector<std::string> enc;
  for (const char* s : sorted) {
    Decimal d;
    ASSERT_TRUE(parseDecimal(s, d)) << s;
    enc.push_back(encodeNumber(d));
  }
  for (size_t i = 1; i < enc.size(); ++i)
    EXPECT_LT(enc[i - 1], enc[i]) << sorted[i - 1] << " < " << sorted[i];
}

TEST(Decimal, ConvertsToTheNearestDouble) {
  for (const char* text :
       {"0.1", "-0.3", "123456789012345", "1234567890123456", "1e22", "1e23", "-9.87654321e-100",
        "1.5e100", "0.30000000000000004", "12345678901234567890.123456789", "4.9e-324",
        "1.7976931348623157e308"}) {
    Decimal d;
    ASSERT_TRUE(parseDecimal(text, d)) << text;
    EXPECT_EQ(decimalToDouble(d), std::strtod(text, nullptr)) << text;
  }
}

TEST(Decimal, QuickReadingAgreesWithTheFullDecimal) {
  // Every value read the quick way must equal the full decode; values it declines go the long way.
  std::vector<std::string> values = {"0",
                                     "1",
                                     "-1",
                                     "99",
                                     "100",
                                     "-100",
                                     "123456789012345678",
                                     "999999999999999999",
                                     "1000000000000000000",
                                     "0.5",
                                     "-0.25",
                                     "1234.5678",
                                     "-99999999.999999",
                                     "0.00000000000000000001",
                                     "12345678901234.5",
                                     "1e-22",
                                     "1.5e-21",
                                     "3.14159265358979",
                                     "1234567890.1234567",
                                     "-0.12345678901234567",
                                     "102345.67898765432",
                                     "9007199254740993e-5"};
  uint64_t x = 12345;
  for (int i = 0; i < 20000; ++i) {
    x = x * 6364136223846793005ull + 1442695040888963407ull;
    // Mantissas of 1 to 18 digits, exponents from -30 to 10.
    int64_t v = static_cast<int64_t>((x >> 8) % 1000000000000000000ull) >> (x % 56);
    if (x & 1) v = -v;
    values.push_back(std::to_string(v) + "e" + std::to_string(static_cast<int>(x % 41) - 30));
  }
  int quickInts = 0, quickReals = 0;
  for (const std::string& text : values) {
    Decimal d;
    ASSERT_TRUE(parseDecimal(text, d)) << text;
    std::string enc = encodeNumber(d);
    Decimal full;
    ASSERT_TRUE(decodeNumber(reinterpret_cast<const unsigned char*>(enc.data()), enc.size(), full));
    int64_t iv = 0;
    double dv = 0;
    bool canonical = false;
    int q = quickNumber(reinterpret_cast<const unsigned char*>(enc.data()), enc.size(), iv, dv,
                        canonical);
    EXPECT_TRUE(canonical) << text;
    if (q == 1) {
      ++quickInts;
      int64_t expect = 0;
      ASSERT_TRUE(decimalToInt(full, expect)) << text;
      EXPECT_EQ(iv, expect) << text;
    } else if (q == 2) {
      ++quickReals;
      EXPECT_FALSE(full.isIntegral()) << text;
      EXPECT_EQ(dv, decimalToDouble(full)) << text;
    }
  }
  EXPECT_GT(quickInts, 100);
  EXPECT_GT(quickReals, 100);
}

TEST(Decimal, CanonicalBytesAreTheOnlyFormOfTheirValue) {
  auto repeat = [](std::vector<int> head, int byte, int count, std::vector<int> tail) {
    head.insert(head.end(), static_cast<size_t>(count), byte);
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  const std::pair<std::vector<int>, bool> cases[] = {
      {{0x80}, true},                            // 0
      {{0xC1, 0x02}, true},                      // 1
      {{0x3E, 0x64, 102}, true},                 // -1
      {{0xC1, 0x02, 0x33}, true},                // 1.5
      {{0x3F, 0x33, 102}, true},                 // -0.5
      {{0x80, 0x02}, true},                      // 1E-130
      {{0xFF, 0x0B}, true},                      // 1E125
      {repeat({0xD3}, 100, 19, {}), true},       // 38 nines
      {repeat({0x2C}, 2, 19, {102}), true},      // minus 38 nines
      {repeat({0xC0}, 0x22, 20, {}), true},      // 1/3: twenty digits
      {repeat({0x3F}, 0x44, 20, {}), true},      // -1/3: twenty digits, no 102
      {{}, false},                               // nothing
      {{0xC1}, false},                           // no mantissa
      {{0x3E, 102}, false},                      // no mantissa before the 102
      {{0xC1, 0x02, 0x01}, false},               // a zero digit at the end
      {{0xC2, 0x01, 0x02}, false},               // a zero digit at the start
      {{0x3E, 0x65, 0x64, 102}, false},          // a negative zero digit at the start
      {{0x3E, 0x64}, false},                     // negative without its 102
      {{0xC1, 0x66}, false},                     // digit beyond 99
      {{0x3E, 0x01, 102}, false},                // negative digit beyond 99
      {repeat({0x3F}, 0x44, 20, {102}), false},  // a 102 after twenty digits
      {repeat({0xC0}, 0x22, 21, {}), false},     // twenty-one digits
      {repeat({0xC5}, 0x02, 8, {0x01}), false},  // nine digits, a zero at the end
      {repeat({0xC6}, 0x02, 9, {0x01}), false},  // ten digits, a zero at the end
      {repeat({0x3E}, 0x64, 8, {}), false},      // eight negative digits without 102
  };
  for (const auto& [bytes, expected] : cases) {
    std::string stored(bytes.begin(), bytes.end());
    const auto* p = reinterpret_cast<const unsigned char*>(stored.data());
    SCOPED_TRACE(::testing::PrintToString(bytes));
    EXPECT_EQ(canonicalNumber(p, stored.size()), expected);
    int64_t iv = 0;
    double dv = 0;
    bool canonical = !expected;
    quickNumber(p, stored.size(), iv, dv, canonical);
    EXPECT_EQ(canonical, expected) << "the one-pass reading";
    if (expected) {
      Decimal d;
      ASSERT_TRUE(decodeNumber(p, stored.size(), d));
      EXPECT_EQ(encodeNumber(d), stored) << "encoding the value again gives the same bytes";
    }
  }
}

TEST(Decimal, ArithmeticAgreesWithIntegerArithmetic) {
  // a = x / 10^s, b = y / 10^t with |x|, |y| < 10^9: sums and products are exact in 128 bits.
  auto text = [](__int128 v, int scale) {
    bool neg = v < 0;
    unsigned __int128 m = neg ? -static_cast<unsigned __int128>(v) : v;
    std::string digits;
    do {
      digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
      m /= 10;
    } while (m);
    return std::string(neg ? "-" : "") + digits + "e-" + std::to_string(scale);
  };
  uint64_t r = 7;
  auto next = [&] {
    r = r * 6364136223846793005ull + 1442695040888963407ull;
    return r >> 11;
  };
  for (int i = 0; i < 5000; ++i) {
    int64_t x = static_cast<int64_t>(next() % 2000000000) - 1000000000;
    int64_t y = static_cast<int64_t>(next() % 2000000000) - 1000000000;
    int s = static_cast<int>(next() % 12), t = static_cast<int>(next() % 12);
    Decimal a, b;
    ASSERT_TRUE(parseDecimal(text(x, s), a));
    ASSERT_TRUE(parseDecimal(text(y, t), b));
    int common = std::max(s, t);
    __int128 xs = x, ys = y;
    for (int k = s; k < common; ++k) xs *= 10;
    for (int k = t; k < common; ++k) ys *= 10;
    Decimal sum, product;
    ASSERT_TRUE(parseDecimal(text(xs + ys, common), sum));
    ASSERT_TRUE(parseDecimal(text(static_cast<__int128>(x) * y, s + t), product));
    auto same = [](const Decimal& p, const Decimal& q) {
      char u[400], v[400];
      decimalText(p, u, sizeof u);
      decimalText(q, v, sizeof v);
      return std::string(u) == v;
    };
    EXPECT_TRUE(same(addDecimal(a, b), sum)) << text(x, s) << " + " << text(y, t);
    EXPECT_TRUE(same(addDecimal(a, negateDecimal(a)), Decimal{})) << text(x, s);
    EXPECT_TRUE(same(mulDecimal(a, b), product)) << text(x, s) << " * " << text(y, t);
    if (!b.isZero() && !product.isZero()) {
      // (a * b) / b gives a back exactly.
      EXPECT_TRUE(same(divDecimal(product, b), a)) << text(x, s) << " * " << text(y, t);
    }
  }
}

TEST(Decimal, OutOfRangeValuesOverflowOrVanish) {
  Decimal d;
  ASSERT_TRUE(parseDecimal("1e126", d));
  EXPECT_THROW(encodeNumber(d), OraError);
  ASSERT_TRUE(parseDecimal("1e-131", d));
  EXPECT_EQ(encodeNumber(d), std::string(1, static_cast<char>(128)));
}

TEST(Decimal, OracleTextDropsTheLeadingZeroAndUsesExponentsWhenLong) {
  const std::pair<const char*, const char*> cases[] = {
      {"0.5", ".5"},
      {"-0.5", "-.5"},
      {"120", "120"},
      {"1.5e100", "1.5E+100"},
      {"-1e-100", "-1E-100"},
      {"1234567890123456789012345678901234567890", "1234567890123456789012345678901234567890"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(oracleNumberText(in), out) << in;
  EXPECT_EQ(oracleNumberText("-12.25", ','), "-12,25");
}

class NumberStore : public EngineTest {};

TEST_F(NumberStore, ColumnsRoundAndRefuseAsOracleDoes) {
  exec(
      "create table n (p number, i integer, f float, f10 float(10), n5 number(5), "
      "n52 number(5,2), nm number(5,-2), ns number(2,4))");
  struct Case {
    const char* column;
    const char* value;
    const char* stored;  // nullptr: ORA-01438
  };
  const Case cases[] = {
      {"p", "-12345678901234567890123456789012345678", "-12345678901234567890123456789012345678"},
      {"p", "0.000000000000000000000000000000000001", "0.000000000000000000000000000000000001"},
      {"i", "12.5", "13"},
      {"i", "-12.5", "-13"},
      {"i", "99999999999999999999999999999999999999", "99999999999999999999999999999999999999"},
      {"i", "999999999999999999999999999999999999999", nullptr},
      {"f", "0.1", "0.1"},
      {"f10", "123456.789", "123500"},
      {"n5", "99999", "99999"},
      {"n5", "99999.4", "99999"},
      {"n5", "99999.5", nullptr},
      {"n5", "-99999.5", nullptr},
      {"n52", "999.994", "999.99"},
      {"n52", "999.995", nullptr},
      {"n52", "1.005", "1.01"},
      {"n52", "-0.004", "0"},
      {"nm", "1949", "1900"},
      {"nm", "1950", "2000"},
      {"nm", "9999949", "9999900"},
      {"nm", "9999950", nullptr},
      {"ns", "0.0099", "0.0099"},
      {"ns", "0.01", nullptr},
      {"ns", "0.000051", "0.0001"},
  };
  for (const Case& c : cases) {
    exec("delete from n");
    std::string sql = std::string("insert into n (") + c.column + ") values (" + c.value + ")";
    OraError e = error(sql);
    if (!c.stored) {
      EXPECT_EQ(e.code, 1438) << sql;
      EXPECT_EQ(e.message,
                "ORA-01438: value larger than specified precision allowed for this column");
      continue;
    }
    ASSERT_EQ(e.code, 0) << sql << ": " << e.message;
    EXPECT_EQ(one(std::string("select ") + c.column + " from n"), c.stored) << sql;
  }
}

TEST_F(NumberStore, ArithmeticIsExactDecimalRoundedToFortyDigits) {
  const std::pair<const char*, const char*> cases[] = {
      {"0.1 + 0.2", "0.3"},
      {"1 / 3", "0.3333333333333333333333333333333333333333"},
      {"2 / 3", "0.6666666666666666666666666666666666666667"},
      {"10 / 4", "2.5"},
      {"-7 / 2", "-3.5"},
      {"12345678901234567890.123456789 * 10", "123456789012345678901.23456789"},
      {"99999999999999999999999999999999999999 + 1", "100000000000000000000000000000000000000"},
      {"0.30000000000000004 - 0.3", "0.00000000000000004"},
      {"- - 5", "5"},
      {"-(2 - 5) * 2", "6"},
      {"mod(-7, 3)", "-1"},
      {"mod(7.5, 2)", "1.5"},
      {"mod(7, 0)", "7"},
      {"'2.5' * 2", "5"},
      {"1.1 * 1.1", "1.21"},
  };
  for (const auto& [expr, value] : cases)
    EXPECT_EQ(one(std::string("select ") + expr + " from dual"), value) << expr;
  EXPECT_EQ(one("select 1e100 + 1e-100 - 1e100 from dual"), "0");
  EXPECT_EQ(error("select 1 / 0 from dual").code, 1476);
  EXPECT_EQ(error("select 1e125 * 10 from dual").code, 1426);
  exec("create table n (p number, f float)");
  for (int i = 0; i < 10; ++i) exec("insert into n values (0.1, 1)");
  exec("insert into n values (null, 2)");
  EXPECT_EQ(one("select sum(p), avg(p), sum(f), avg(f), count(p) from n"),
            "1|0.1|12|1.09090909090909090909090909090909090909|10");
  EXPECT_EQ(one("select sum(distinct p), sum(p) - 1 from n"), "0.1|0");
  EXPECT_EQ(one("select sum(p) from n where f > 5"), "<null>");
  auto c = session_->prepare("select avg(p) * 10 from n");
  c->execute();
  ASSERT_TRUE(c->step());
  EXPECT_EQ(c->kind(0), ValueKind::Integer);
  EXPECT_EQ(c->asInteger(0), 1);
}

TEST_F(NumberStore, DoubleResultsDropTheNoiseOfBinaryArithmetic) {
  // Mathematical functions work in double precision; their results keep 15 significant digits.
  EXPECT_EQ(one("select sqrt(2), power(0.1, 2), exp(1) from dual"),
            "1.4142135623731|0.01|2.71828182845905");
}

TEST_F(NumberStore, HugeValuesOverflowAndTextMustBeANumber) {
  exec("create table n (p number)");
  EXPECT_EQ(error("insert into n values (1e126)").code, 1426);
  EXPECT_EQ(error("insert into n values ('12x')").code, 1722);
  EXPECT_EQ(error("insert into n values ('12.5')").code, 0);
  EXPECT_EQ(one("select p from n"), "12.5");
}

TEST_F(NumberStore, ValuesComeAsIntegerOrRealWithExactText) {
  exec("create table n (id number(2), v number)");
  exec("insert into n values (1, 42)");
  exec("insert into n values (2, -9223372036854775808)");
  exec("insert into n values (3, 9223372036854775808)");
  exec("insert into n values (4, 0.5)");
  exec("insert into n values (5, -12345678901234567890.123456789)");
  auto c = session_->prepare("select v from n order by id");
  c->execute();
  struct Expect {
    ValueKind kind;
    const char* text;
    double real;
  };
  const Expect expect[] = {
      {ValueKind::Integer, "42", 42},
      {ValueKind::Integer, "-9223372036854775808", -9223372036854775808.0},
      {ValueKind::Real, "9223372036854775808", 9223372036854775808.0},
      {ValueKind::Real, "0.5", 0.5},
      {ValueKind::Real, "-12345678901234567890.123456789", -12345678901234567890.123456789}};
  for (const Expect& e : expect) {
    ASSERT_TRUE(c->step());
    EXPECT_EQ(c->kind(0), e.kind) << e.text;
    EXPECT_EQ(c->numberText(0), e.text);
    EXPECT_DOUBLE_EQ(c->asReal(0), e.real);
    EXPECT_EQ(c->asText(0), e.text);
  }
  EXPECT_FALSE(c->step());
  // asInteger drops the fraction and refuses what does not fit 64 bits.
  auto d = session_->prepare("select v from n where id in (3, 4, 5) order by id");
  d->execute();
  ASSERT_TRUE(d->step());
  EXPECT_THROW(d->asInteger(0), OraError);
  ASSERT_TRUE(d->step());
  EXPECT_EQ(d->asInteger(0), 0);
  ASSERT_TRUE(d->step());
  ASSERT_THAT([&] { d->asInteger(0); }, Throws<OraError>(Field(&OraError::code, 1455)));
}

TEST_F(NumberStore, ComparisonsAndOrderAreExactAtFullPrecision) {
  exec("create table n (v number)");
  for (const char* v : {"12345678901234567890.000000000000000002",
                        "12345678901234567890.000000000000000001", "-1e-100", "1e100", "5", "-5"})
    exec(std::string("insert into n values (") + v + ")");
  EXPECT_EQ(rows("select v from n order by 1"),
            (std::vector<std::string>{"-5", "-" + std::string("0.") + std::string(99, '0') + "1",
                                      "5", "12345678901234567890.000000000000000001",
                                      "12345678901234567890.000000000000000002",
                                      "1" + std::string(100, '0')}));
  EXPECT_EQ(one("select count(*) from n where v > 12345678901234567890.000000000000000001"), "2");
  EXPECT_EQ(one("select count(*) from n where v = 5"), "1");
  EXPECT_EQ(one("select max(v) - min(v) from n where v between -5 and 5"), "10");
  EXPECT_EQ(one("select sum(v) from n where v in (5, -5)"), "0");
}

}  // namespace
}  // namespace standin::testing
