#include "app/ExportText.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

#include "base/Exception.h"
#include "base/Utf8.h"
#include "dbf/cp866.h"

namespace tarnwick {

namespace {

std::string Decimal(int64_t value) {
  return std::to_string(value);
}

// The text of the general number form for a value of `digits` significant digits whose magnitude
// is 0.d1d2... x 10^exponent, without its sign: fixed notation for exponents from -3 to
// fixedUpTo (15 in FloatToStr, 40 in OraNumberToStr), else the exponent form.
int GeneralFormLength(int exponent, int digits, int fixedUpTo) {
  if (exponent >= -3 && exponent <= fixedUpTo) {
    if (exponent > 0) return digits <= exponent ? exponent : digits + 1;
    return 2 + (-exponent) + digits;
  }
  const int mantissa = digits > 1 ? digits + 1 : 1;
  return mantissa + 1 + static_cast<int>(Decimal(exponent - 1).size());
}

constexpr int kFloatDigits = 15;
// The digits of an Oracle NUMBER, and the last exponent its exact text writes in fixed notation.
constexpr int kOraNumberFixedUpTo = 40;
// A floating NUMBER: every integer of up to 38 digits with its sign.
constexpr int kFloatingNumberLength = 39;

// Whether the import reads a column as its exact text: a precision above 15, or none.
bool ReadExactly(std::optional<int> precision) {
  return !precision || *precision > kFloatDigits;
}

}  // namespace

TConnectParts SplitConnectString(const std::string& text) {
  // sub(i, c): the c characters from position i on (positions from 1), empty when i < 1, i > L
  // or c < 0. "/" and "@" are single bytes in UTF-8, so byte positions give the same parts.
  const auto L = static_cast<int64_t>(text.size());
  auto sub = [&](int64_t i, int64_t c) -> std::string {
    if (i < 1 || i > L || c < 0) return {};
    return text.substr(static_cast<std::size_t>(i - 1), static_cast<std::size_t>(c));
  };
  auto position = [&](char c) -> int64_t {
    const std::size_t at = text.find(c);
    return at == std::string::npos ? 0 : static_cast<int64_t>(at) + 1;
  };
  const int64_t s = position('/');
  const int64_t a = position('@');
  return {sub(1, s - 1), sub(s + 1, a - s - 1), sub(a + 1, L - a)};
}

TSecretRange ConnectStringSecret(const std::string& text) {
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) {
    const std::size_t at = text.find('@');
    if (at == std::string::npos) return {};
    return {0, at};
  }
  const std::size_t at = text.find('@', slash + 1);
  return {slash + 1, at == std::string::npos ? text.size() : at};
}

std::string ConnectDisplayText(const std::string& text) {
  const TSecretRange secret = ConnectStringSecret(text);
  if (!secret.Present()) return text;
  return text.substr(0, secret.Begin) + "***" + text.substr(secret.End);
}

namespace {

constexpr std::size_t kMaxIdentifierBytes = 30;

bool IsIdentifierLetter(char32_t cp) {
  return (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z') || (cp >= 0x0400 && cp <= 0x045F);
}

char32_t UpperLetter(char32_t cp) {
  if (cp >= 'a' && cp <= 'z') return cp - 'a' + 'A';
  if (cp >= 0x0430 && cp <= 0x044F) return cp - 0x20;  // а..я -> А..Я
  if (cp >= 0x0450 && cp <= 0x045F) return cp - 0x50;  // ѐ..џ (ё among them) -> Ѐ..Џ
  return cp;
}

// The identifier with its letters passed through `letter`, or nothing when it is no identifier.
template <class LetterMap>
std::optional<std::string> MapIdentifier(const std::string& text, LetterMap letter) {
  if (text.empty() || text.size() > kMaxIdentifierBytes) return std::nullopt;
  std::string name;
  for (std::size_t pos = 0; pos < text.size();) {
    const utf8::Decoded decoded = utf8::Decode(text, pos);
    if (!decoded.valid()) return std::nullopt;
    const char32_t cp = decoded.code_point;
    const bool isLetter = IsIdentifierLetter(cp);
    const bool allowed =
        isLetter || (pos > 0 && ((cp >= '0' && cp <= '9') || cp == '_' || cp == '$' || cp == '#'));
    if (!allowed) return std::nullopt;
    utf8::Append(name, isLetter ? letter(cp) : cp);
    pos += decoded.length;
  }
  return name;
}

}  // namespace

bool IsTableIdentifier(const std::string& text) {
  return MapIdentifier(text, [](char32_t cp) { return cp; }).has_value();
}

std::optional<std::string> UpperTableIdentifier(const std::string& text) {
  return MapIdentifier(text, UpperLetter);
}

std::size_t CharacterCount(const std::string& text) {
  return utf8::Count(text);
}

std::string PadRight(const std::string& text, std::size_t width, char fill) {
  const std::size_t length = CharacterCount(text);
  if (length >= width) return text;
  return text + std::string(width - length, fill);
}

const std::vector<std::string>& StructureReportHead() {
  static const std::vector<std::string> head = {
      "Структура таблицы ",
      " ",
      " N    Имя поля                        Имя поля    Тип поля         Тип поля Размер,   ",
      "п/п   в Оракл таблице                 в DBF       в Оракл          в DBF            дес.",
      StructureReportRule(),
  };
  return head;
}

std::string StructureReportRule() {
  return std::string(88, '-');
}

std::string StructureReportLine(int number, const std::string& oraName, const std::string& dbfName,
                                const std::string& oraType, const std::string& dbfType,
                                const std::string& oraSize, const std::string& oraScale) {
  return PadRight(Decimal(number), 4) + "  " + PadRight(oraName, 30) + "  " +
         PadRight(dbfName, 10) + "  " + PadRight(oraType, 15) + "  " + PadRight(dbfType, 8) + "  " +
         PadRight(oraSize, 5) + "  " + PadRight(oraScale, 2);
}

std::string RowCountLine(int64_t rows) {
  return "В таблице  " + Decimal(rows) + "  записей!";
}

std::string EstimateLine(int64_t seconds) {
  return "Предполагаемое время выгрузки " + Decimal(seconds) + " секунд";
}

std::vector<std::string> DbfFieldNames(const std::vector<std::string>& oraNames) {
  // Names are compared as the header stores them: in code page 866, where every character that
  // the code page lacks is "?", so that "Ω" and "Ψ" are the same name there.
  auto key = [](const std::string& text) {
    std::string name = cp866_text(text);
    for (char& c : name) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return name;
  };
  // The short names of the whole table are spoken for before any long name is shortened.
  std::set<std::string> reserved;
  for (const std::string& name : oraNames) {
    if (CharacterCount(name) <= 10) reserved.insert(key(name));
  }
  std::set<std::string> taken;
  std::vector<std::string> names;
  names.reserve(oraNames.size());
  int64_t k = 0;
  for (const std::string& name : oraNames) {
    if (CharacterCount(name) <= 10 && !taken.contains(key(name))) {
      taken.insert(key(name));
      names.push_back(name);
      continue;
    }
    std::string candidate;
    do {
      ++k;
      const std::string suffix = '_' + Decimal(k);
      const std::size_t keep = suffix.size() < 10 ? 10 - suffix.size() : 0;
      candidate = StoredPart(name, keep) + suffix;
    } while (taken.contains(key(candidate)) || reserved.contains(key(candidate)));
    taken.insert(key(candidate));
    names.push_back(std::move(candidate));
  }
  return names;
}

float EstimateFactor(int columns) {
  struct Step {
    int upTo;
    float factor;
  };
  static constexpr Step steps[] = {{10, 0.3f},   {20, 0.5f},   {30, 0.7f},   {50, 1.6f},
                                   {100, 3.9f},  {200, 12.5f}, {300, 27.2f}, {400, 47.5f},
                                   {500, 71.3f}, {600, 100.f}, {700, 135.f}, {800, 176.f},
                                   {900, 226.f}};
  for (const Step& step : steps) {
    if (columns <= step.upTo) return step.factor;
  }
  return 271.f;
}

int64_t EstimateSeconds(int64_t rows, int columns) {
  const double factor = EstimateFactor(columns);
  return static_cast<int64_t>(std::floor(static_cast<double>(rows) * factor * 0.001));
}

int NumberTextLength(std::optional<int> precision, std::optional<int> scale) {
  // A floating NUMBER holds up to 40 digits anywhere from 1E-130 to below 1E126; its field holds
  // every integer of up to 38 digits, and longer texts are rounded to it.
  if (!precision && !scale) return kFloatingNumberLength;
  const int p = precision.value_or(38);
  const int s = scale.value_or(0);
  if (p >= 1 && p <= 9 && s == 0) return p + 1;  // the integer text: sign and p digits
  // NUMBER(p, s) holds multiples of 10^-s below 10^(p-s): magnitudes 0.d1d2... x 10^e with
  // 1 - s <= e <= p - s and at most min(p, e + s) significant digits. The exact text keeps them
  // all; the 15-digit form keeps 15, and a value with more digits than that may round up to the
  // next power of ten.
  const bool exact = ReadExactly(precision);
  const int fixedUpTo = exact ? kOraNumberFixedUpTo : kFloatDigits;
  int longest = 1;
  for (int exponent = 1 - s; exponent <= p - s; ++exponent) {
    const int digits = std::min(p, exponent + s);
    if (exact) {
      longest = std::max(longest, 1 + GeneralFormLength(exponent, digits, fixedUpTo));
      continue;
    }
    longest = std::max(longest,
                       1 + GeneralFormLength(exponent, std::min(digits, kFloatDigits), fixedUpTo));
    if (digits > kFloatDigits) {
      longest = std::max(longest, 1 + GeneralFormLength(exponent + 1, 1, fixedUpTo));
    }
  }
  return longest;
}

int NumberDbfLength(std::optional<int> precision, std::optional<int> scale, int oraSize) {
  return std::max(NumberTextLength(precision, scale), oraSize);
}

int NumberDbfDecimals(std::optional<int> precision, std::optional<int> scale) {
  if (!precision && !scale) return kFloatDigits;
  const int s = scale.value_or(0);
  if (s > 0) return s;
  // Integers: read exactly, every digit in fixed form; else below 10^(p - s), written in fixed
  // form up to 15 digits.
  if (ReadExactly(precision)) return 0;
  return *precision - s <= kFloatDigits ? 0 : 1;
}

bool NumberReadExactly(std::optional<int> precision) {
  return ReadExactly(precision);
}

int GaugePosition(int64_t written, int64_t rowCount) {
  if (rowCount <= 0) return 100;
  return static_cast<int>(std::min<int64_t>(100, written * 100 / rowCount));
}

std::string StoredPart(const std::string& text, std::size_t count) {
  return std::string(utf8::Truncate(text, count));
}

}  // namespace tarnwick
