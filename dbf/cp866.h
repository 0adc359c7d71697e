#pragma once
// Code page 866: the one conversion from UTF-8 that the DBF writer uses, for field names and
// record values alike. Its lower half is ASCII; its upper half holds 128 characters (Cyrillic,
// box drawing and a few signs), looked up in a table.
//
// A character that the code page lacks and every byte that is not part of a well-formed UTF-8
// sequence (base/Utf8.h) become "?", one byte per character. A "?" of the text itself stays and
// is not counted as a replacement.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnwick {

// The code page 866 byte of a Unicode code point, or -1 when the code page lacks it.
int cp866_byte(char32_t code_point) noexcept;

// Writes exactly `width` bytes at `out`: the first `width` characters of the UTF-8 `text` in code
// page 866, then spaces. Returns how many of the characters written became "?".
uint32_t cp866_field(std::string_view text, std::size_t width, char* out) noexcept;

// The whole UTF-8 `text` in code page 866, one byte per character; `replaced`, when given,
// receives how many characters became "?".
std::string cp866_text(std::string_view text, uint32_t* replaced = nullptr);

}  // namespace tarnwick
