#include "dbf/cp866.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/Utf8.h"

namespace tarnwick {

namespace {

// The characters of bytes 80h..FFh.
constexpr std::array<char16_t, 128> kUpperHalf = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // 80
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // 88
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // 90
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // 98
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // A0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // E0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // E8
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,  // F8
};

// Unicode to byte, by blocks of 256 code points: every character of the upper half lies in one
// of a few blocks below U+2600. A zero entry means the code page lacks the character (byte 0 is
// U+0000, which never gets here).
constexpr std::size_t kBlocks = 0x26;

struct EncodeTable {
  std::array<int8_t, kBlocks> block_of{};           // -1: no character of the block is held
  std::array<std::array<uint8_t, 256>, 8> bytes{};  // the blocks that hold characters
};

constexpr EncodeTable MakeEncodeTable() {
  EncodeTable t{};
  for (auto& b : t.block_of) b = -1;
  int8_t used = 0;
  for (std::size_t i = 0; i < kUpperHalf.size(); ++i) {
    const std::size_t block = kUpperHalf[i] >> 8;
    if (t.block_of[block] < 0) t.block_of[block] = used++;
    t.bytes[static_cast<std::size_t>(t.block_of[block])][kUpperHalf[i] & 0xFF] =
        static_cast<uint8_t>(0x80 + i);
  }
  return t;
}

constexpr EncodeTable kEncode = MakeEncodeTable();

inline int UpperByte(char32_t cp) noexcept {
  if (cp >= kBlocks * 256) return -1;
  const int8_t block = kEncode.block_of[cp >> 8];
  if (block < 0) return -1;
  const uint8_t byte = kEncode.bytes[static_cast<std::size_t>(block)][cp & 0xFF];
  return byte == 0 ? -1 : byte;
}

// How many bytes from s[0..limit) are ASCII, eight at a time where it can.
inline std::size_t AsciiRun(const unsigned char* s, std::size_t limit) noexcept {
  std::size_t k = 0;
  for (; k + 8 <= limit; k += 8) {
    uint64_t word;
    std::memcpy(&word, s + k, sizeof word);
    if ((word & 0x8080808080808080ull) != 0) break;
  }
  while (k < limit && s[k] < 0x80) ++k;
  return k;
}

}  // namespace

int cp866_byte(char32_t code_point) noexcept {
  if (code_point < 0x80) return static_cast<int>(code_point);
  return UpperByte(code_point);
}

uint32_t cp866_field(std::string_view text, std::size_t width, char* out) noexcept {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t pos = 0;
  std::size_t chars = 0;
  uint32_t replaced = 0;
  while (chars < width && pos < n) {
    const std::size_t run = AsciiRun(s + pos, std::min(n - pos, width - chars));
    std::memcpy(out + chars, s + pos, run);
    pos += run;
    chars += run;
    if (chars == width || pos == n) break;
    const utf8::Decoded d = utf8::Decode(text, pos);
    const int byte = d.valid() ? UpperByte(d.code_point) : -1;
    if (byte < 0) {
      out[chars] = '?';
      ++replaced;
    } else {
      out[chars] = static_cast<char>(byte);
    }
    ++chars;
    pos += d.valid() ? d.length : 1;
  }
  std::memset(out + chars, ' ', width - chars);
  return replaced;
}

std::string cp866_text(std::string_view text, uint32_t* replaced) {
  std::string out(utf8::Count(text), ' ');
  const uint32_t count = cp866_field(text, out.size(), out.data());
  if (replaced != nullptr) *replaced = count;
  return out;
}

}  // namespace tarnwick
