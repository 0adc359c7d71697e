// Lexes arbitrary text with both scanners under the option set chosen by the first byte.
// Checked: the scan ends, every lexeme moves the position forward inside the text, Back reads
// the same lexeme again, and with nothing skipped and quotes kept the lexemes rebuild the text.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/Exception.h"
#include "dataset/text/CRParser.h"
#include "dataset/text/FormatSettings.h"
#include "dataset/text/OraParser.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  tarnwick::FormatSettings().DecimalSeparator = (flags & 0x40) ? ',' : '.';

  std::unique_ptr<tarnwick::TParser> parser;
  if (flags & 0x80)
    parser = std::make_unique<tarnwick::TOraParser>(text);
  else
    parser = std::make_unique<tarnwick::TParser>(text);
  parser->SkipBlanks = flags & 1;
  parser->SkipComments = flags & 2;
  parser->UpperKeywords = flags & 4;
  parser->KeepQuotes = flags & 8;
  const bool lossless =
      !parser->SkipBlanks && !parser->SkipComments && parser->KeepQuotes && !parser->UpperKeywords;
  const int length = static_cast<int>(text.size());

  std::string rebuilt;
  std::string lexem;
  try {
    for (;;) {
      const int before = parser->CurrPos();
      const int code = parser->GetNext(lexem);
      FUZZ_CHECK(parser->PrevPos() == before);
      if (code == tarnwick::LexEnd) {
        FUZZ_CHECK(lexem.empty());
        break;
      }
      FUZZ_CHECK(parser->CurrPos() > before);
      FUZZ_CHECK(parser->CurrPos() <= length);
      FUZZ_CHECK(lexem.size() <= static_cast<size_t>(parser->CurrPos() - before));
      if (flags & 0x10) {
        const int after = parser->CurrPos();
        std::string again;
        parser->Back();
        FUZZ_CHECK(parser->GetNext(again) == code);
        FUZZ_CHECK(again == lexem && parser->CurrPos() == after);
      }
      rebuilt += lexem;
    }
    if (lossless) FUZZ_CHECK(rebuilt == text);
  } catch (const tarnwick::Exception&) {
    // An unknown character: the only error the scanner raises.
  }
  return 0;
}
