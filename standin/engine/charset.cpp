// Database character sets: what a character costs in bytes and which characters a set can hold;
// the releases a server can report.
#include <iconv.h>

#include <array>
#include <bitset>
#include <cctype>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "base/Utf8.h"
#include "standin/engine/internal.h"

namespace standin {
namespace {

constexpr std::array<CharsetInfo, 4> kCharsets = {{
    {Charset::Al32Utf8, "AL32UTF8", 4, 873},
    {Charset::Utf8, "UTF8", 3, 871},
    {Charset::Cl8MsWin1251, "CL8MSWIN1251", 1, 171},
    {Charset::Cl8Iso8859P5, "CL8ISO8859P5", 1, 32},
}};

// Decodes one UTF-8 character at s[i]; returns its length (1 for a stray byte, then cp = -1).
size_t decode(std::string_view s, size_t i, long& cp) {
  const tarnwick::utf8::Decoded d = tarnwick::utf8::Decode(s, i);
  if (!d.valid()) {
    cp = -1;
    return 1;
  }
  cp = static_cast<long>(d.code_point);
  return d.length;
}

// The Unicode characters a single-byte set holds, found once by converting each of its bytes
// with the C library's converter.
class SingleByteSet {
 public:
  explicit SingleByteSet(const char* iconvName) {
    for (long c = 0; c < 0x80; ++c) held_.set(static_cast<size_t>(c));
    iconv_t cd = iconv_open("UTF-32LE", iconvName);
    if (cd == reinterpret_cast<iconv_t>(-1))
      throw std::runtime_error(std::string("no converter for ") + iconvName);
    for (int b = 0x80; b < 0x100; ++b) {
      char in = static_cast<char>(b);
      unsigned char out[4] = {};
      char* ip = &in;
      char* op = reinterpret_cast<char*>(out);
      size_t il = 1, ol = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1) || ol != 0) continue;
      long cp = out[0] | (out[1] << 8) | (out[2] << 16) | (static_cast<long>(out[3]) << 24);
      if (cp < 0x10000) held_.set(static_cast<size_t>(cp));
    }
    iconv_close(cd);
  }
  bool holds(long cp) const {
    return cp >= 0 && cp < 0x10000 && held_.test(static_cast<size_t>(cp));
  }

 private:
  std::bitset<0x10000> held_;
};

const SingleByteSet& singleByte(Charset cs) {
  static const SingleByteSet win1251("CP1251");
  static const SingleByteSet iso88595("ISO-8859-5");
  return cs == Charset::Cl8MsWin1251 ? win1251 : iso88595;
}

bool isSingleByte(Charset cs) {
  return cs == Charset::Cl8MsWin1251 || cs == Charset::Cl8Iso8859P5;
}

}  // namespace

const CharsetInfo* findCharset(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const CharsetInfo& c : kCharsets)
    if (upper == c.name) return &c;
  return nullptr;
}

const CharsetInfo& charsetInfo(Charset c) {
  return kCharsets[static_cast<size_t>(c)];
}

size_t charCount(std::string_view utf8) {
  size_t n = 0;
  long cp;
  for (size_t i = 0; i < utf8.size(); i += decode(utf8, i, cp)) ++n;
  return n;
}

size_t charsetBytes(std::string_view utf8, Charset cs) {
  switch (cs) {
    case Charset::Al32Utf8:
      return utf8.size();
    case Charset::Utf8: {
      // Oracle's UTF8 keeps a character beyond the BMP as two 3-byte surrogates.
      size_t n = 0;
      long cp;
      for (size_t i = 0; i < utf8.size();) {
        size_t len = decode(utf8, i, cp);
        n += len == 4 ? 6 : len;
        i += len;
      }
      return n;
    }
    case Charset::Cl8MsWin1251:
    case Charset::Cl8Iso8859P5:
      return charCount(utf8);
  }
  return utf8.size();
}

std::string toDatabaseText(std::string_view utf8, Charset cs) {
  if (!isSingleByte(cs)) return std::string(utf8);
  const SingleByteSet& set = singleByte(cs);
  std::string out;
  out.reserve(utf8.size());
  long cp;
  for (size_t i = 0; i < utf8.size();) {
    size_t len = decode(utf8, i, cp);
    if (set.holds(cp))
      out.append(utf8.substr(i, len));
    else
      out += '?';
    i += len;
  }
  return out;
}

std::string releaseText(std::string_view release) {
  std::string r(release);
  while (!r.empty() && std::isspace(static_cast<unsigned char>(r.back()))) r.pop_back();
  std::string lower = r;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // Marketing names of the releases that have one.
  if (lower == "19c") r = "19";
  if (lower == "23ai" || lower == "23c") r = "23";
  int parts[5] = {0, 0, 0, 0, 0};
  int count = 0;
  size_t pos = 0;
  while (pos <= r.size() && count < 6) {
    size_t dot = r.find('.', pos);
    std::string part = r.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
    if (part.empty() || part.size() > 3 ||
        part.find_first_not_of("0123456789") != std::string::npos)
      throw std::runtime_error("unknown release \"" + std::string(release) +
                               "\" (known: 8.0, 8.1, 9.2, 10.2, 11.2, 12.1, 12.2, 19, 23)");
    if (count < 5) parts[count] = std::stoi(part);
    ++count;
    if (dot == std::string::npos) break;
    pos = dot + 1;
  }
  struct Known {
    int major, minor;
    const char* full;  // the release a short form stands for
  };
  static const Known known[] = {
      {8, 0, "8.0.6.0.0"},   {8, 1, "8.1.7.0.0"},   {9, 2, "9.2.0.1.0"},
      {10, 2, "10.2.0.1.0"}, {11, 2, "11.2.0.1.0"}, {12, 1, "12.1.0.2.0"},
      {12, 2, "12.2.0.1.0"}, {19, 0, "19.3.0.0.0"}, {23, 0, "23.4.0.24.05"}};
  if (count > 5) throw std::runtime_error("unknown release \"" + std::string(release) + "\"");
  for (const Known& k : known) {
    bool minorMatches = count < 2 || parts[1] == k.minor ||
                        // From 18 on the second part is the release update (19.3, 23.4).
                        (k.major >= 18 && count >= 2);
    if (parts[0] != k.major || !minorMatches) continue;
    if (count <= 2 && !(k.major >= 18 && count == 2)) return k.full;
    std::string out;
    for (int i = 0; i < 5; ++i) {
      if (i) out += '.';
      out += std::to_string(parts[i]);
    }
    return out;
  }
  throw std::runtime_error("unknown release \"" + std::string(release) +
                           "\" (known: 8.0, 8.1, 9.2, 10.2, 11.2, 12.1, 12.2, 19, 23)");
}

}  // namespace standin
