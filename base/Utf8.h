#pragma once
// UTF-8: one rule for what a character is, shared by every layer.
//
// A well-formed sequence is the shortest form of a code point up to U+10FFFF that is not a
// surrogate (U+D800..U+DFFF): 00..7F; C2..DF 80..BF; E0 A0..BF 80..BF; E1..EC and EE..EF
// 80..BF 80..BF; ED 80..9F 80..BF; F0 90..BF 80..BF 80..BF; F1..F3 80..BF 80..BF 80..BF;
// F4 80..8F 80..BF 80..BF. Anything else at a position, a continuation byte alone, an overlong
// form, a surrogate, a lead byte beyond F4 or a sequence cut short, is a stray byte: the
// functions that walk a text take it as one character of its own and go on with the next byte,
// so a text of any bytes has a definite character count and character boundaries.
#include <cstddef>
#include <string>
#include <string_view>

namespace tarnwick::utf8 {

// The code point of the sequence at the start of a text and its length in bytes; length 0 when
// the first byte starts no well-formed sequence (code_point is then that byte's value).
struct Decoded {
  char32_t code_point = 0;
  std::size_t length = 0;
  bool valid() const noexcept { return length != 0; }
};

// Decodes the sequence that starts at text[pos] (pos < text.size()).
inline Decoded Decode(std::string_view text, std::size_t pos = 0) noexcept {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data()) + pos;
  const std::size_t n = text.size() - pos;
  const unsigned char b0 = s[0];
  if (b0 < 0x80) return {b0, 1};
  std::size_t length;
  char32_t cp;
  unsigned char lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;  // below: overlong
    if (b0 == 0xED) hi = 0x9F;  // above: surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;  // below: overlong
    if (b0 == 0xF4) hi = 0x8F;  // above: beyond U+10FFFF
  } else {
    return {b0, 0};
  }
  if (n < length || s[1] < lo || s[1] > hi) return {b0, 0};
  cp = (cp << 6) | (s[1] & 0x3F);
  for (std::size_t i = 2; i < length; ++i) {
    if (s[i] < 0x80 || s[i] > 0xBF) return {b0, 0};
    cp = (cp << 6) | (s[i] & 0x3F);
  }
  return {cp, length};
}

// The length of the well-formed sequence at text[pos], 0 for a stray byte.
inline std::size_t SequenceLength(std::string_view text, std::size_t pos = 0) noexcept {
  return Decode(text, pos).length;
}

// The bytes that the character at text[pos] takes: its sequence, or 1 for a stray byte.
inline std::size_t CharacterLength(std::string_view text, std::size_t pos = 0) noexcept {
  const auto b0 = static_cast<unsigned char>(text[pos]);
  if (b0 < 0x80) return 1;
  const std::size_t length = SequenceLength(text, pos);
  return length == 0 ? 1 : length;
}

// Whether the whole text is well-formed.
inline bool IsValid(std::string_view text) noexcept {
  for (std::size_t pos = 0; pos < text.size();) {
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      ++pos;
      continue;
    }
    const std::size_t length = SequenceLength(text, pos);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

// The number of characters of a text, a stray byte counting as one.
inline std::size_t Count(std::string_view text) noexcept {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < text.size(); pos += CharacterLength(text, pos)) ++count;
  return count;
}

// The byte length of the first `count` characters of a text (all of it when it has fewer), a
// stray byte counting as one: a boundary between two characters.
inline std::size_t PrefixBytes(std::string_view text, std::size_t count) noexcept {
  std::size_t pos = 0;
  for (; count > 0 && pos < text.size(); --count) pos += CharacterLength(text, pos);
  return pos;
}

// The first `count` characters of a text.
inline std::string_view Truncate(std::string_view text, std::size_t count) noexcept {
  return text.substr(0, PrefixBytes(text, count));
}

// Appends the encoding of a code point; a surrogate or a value beyond U+10FFFF, which have none,
// appends U+FFFD.
inline void Append(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp <= 0x10FFFF) {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    Append(out, 0xFFFD);
  }
}

// The encoding of a code point (see Append).
inline std::string Encode(char32_t cp) {
  std::string out;
  Append(out, cp);
  return out;
}

}  // namespace tarnwick::utf8
