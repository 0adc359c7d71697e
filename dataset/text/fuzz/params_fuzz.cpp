// The Oracle parameter scan over arbitrary text. Checked: the names are distinct ignoring case
// and every unquoted name occurs in the text.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "base/Exception.h"
#include "dataset/text/CRParser.h"
#include "dataset/text/OraParser.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const auto params = tarnwick::ScanOraParams(text);
    std::set<std::string, tarnwick::TextLessAscii> names;
    for (const auto& p : params) {
      FUZZ_CHECK(names.insert(p.Name).second);
      if (!p.Quoted) {
        FUZZ_CHECK(!p.Name.empty());
        // Keywords arrive upper-cased, so look for the name ignoring case.
        bool found = false;
        for (size_t i = 0; !found && i + p.Name.size() <= text.size(); ++i)
          found = tarnwick::SameTextAscii(std::string_view(text).substr(i, p.Name.size()), p.Name);
        FUZZ_CHECK(found);
      }
    }
  } catch (const tarnwick::Exception&) {
  }
  return 0;
}
