// The settings file as the window and tarnwick-export read it, over arbitrary file contents:
// the reader's value of [Connect] String and the program's check of broken lines.
// Checked: the value is one line, without blanks in front, at most 2047 characters, and a part
// of the file (or the empty default); line breaks written as CR LF instead of LF change neither
// the value nor the line that the check finds broken, and that line is one of the file's.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/IniFile.h"
#include "batch/BatchSettings.h"
#include "fuzz/FuzzCheck.h"

using tarnwick::TIniFile;
using tarnwick::batch::FirstBrokenSettingsLine;

namespace {

std::size_t CodePoints(const std::string& text) {
  std::size_t count = 0;
  for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

std::size_t Lines(const std::string& text) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < text.size(); ++count) {
    const std::size_t next = text.find('\n', pos);
    pos = next == std::string::npos ? text.size() : next + 1;
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  const std::string value = TIniFile::ValueIn(text, "Connect", "String", "");
  FUZZ_CHECK(value.find('\n') == std::string::npos);
  FUZZ_CHECK(value.empty() || (value[0] != ' ' && value[0] != '\t'));
  FUZZ_CHECK(CodePoints(value) <= TIniFile::MaxValueLength);
  FUZZ_CHECK(text.find(value) != std::string::npos);

  const auto broken = FirstBrokenSettingsLine(text);
  if (broken) FUZZ_CHECK(*broken >= 1 && *broken <= Lines(text));

  if (text.find('\r') == std::string::npos) {
    std::string crlf;
    for (char c : text) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    FUZZ_CHECK(TIniFile::ValueIn(crlf, "Connect", "String", "") == value);
    FUZZ_CHECK(FirstBrokenSettingsLine(crlf) == broken);
  }
  return 0;
}
