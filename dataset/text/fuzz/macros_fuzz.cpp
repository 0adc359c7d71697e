// The macro scan, the macro expansion and the generic parameter parsing over arbitrary text.
// Checked: scanned names are distinct, a text without the macro character expands to itself,
// expanding with every macro inactive never makes the text longer, and ParseSQL with a list
// writes one "?" in place of each parameter it reports.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "dataset/text/CRParser.h"
#include "dataset/text/OraParser.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool oracle = data[0] & 1;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::unique_ptr<tarnwick::TParser> parser;
  if (oracle)
    parser = std::make_unique<tarnwick::TOraParser>("");
  else
    parser = std::make_unique<tarnwick::TParser>("");

  try {
    const auto names = tarnwick::ScanMacroNames(*parser, text);
    std::set<std::string, tarnwick::TextLessAscii> distinct(names.begin(), names.end());
    FUZZ_CHECK(distinct.size() == names.size());

    const tarnwick::TMacroValue inactive{"", false};
    const tarnwick::TMacroLookup lookup = [&](std::string_view name) {
      return distinct.count(std::string(name)) ? &inactive : nullptr;
    };
    const std::string expanded = tarnwick::ExpandMacros(*parser, text, lookup);
    if (text.find(tarnwick::MacroChar) == std::string::npos) FUZZ_CHECK(expanded == text);
    FUZZ_CHECK(expanded.size() <= text.size());
  } catch (const tarnwick::Exception&) {
  }

  try {
    std::vector<std::string> params;
    const std::string rewritten = tarnwick::ParseSQL(*parser, text, &params);
    const std::string plain = tarnwick::ParseSQL(*parser, text, nullptr);
    auto marks = [](const std::string& s) {
      size_t n = 0;
      for (char c : s) n += c == '?';
      return n;
    };
    size_t inNames = 0;
    for (const auto& name : params) inNames += marks(name);
    FUZZ_CHECK(marks(rewritten) + inNames == marks(plain) + params.size());
    FUZZ_CHECK(rewritten.size() <= plain.size() && plain.size() <= text.size());
  } catch (const tarnwick::Exception&) {
  }
  return 0;
}
