// tarnwick-export's command line, over arbitrary arguments (the input split at zero bytes).
// The part of each argument that could hold a password (ConnectStringSecret) is replaced by a
// marker first. Checked: a usage error never shows the marker; an export request has a table
// name that the identifier rule accepts (at most 30 bytes, upper case as sent to the server),
// taken from the arguments, a fetch size from 1 to 10000, non-empty values, and not both a
// folder and --output.
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "app/ExportText.h"
#include "batch/BatchOptions.h"
#include "fuzz/FuzzCheck.h"

namespace batch = tarnwick::batch;

namespace {

constexpr const char* kMarker = "\x01pw\x02";

bool EndsAnArgument(const std::vector<std::string>& args, const std::string& value) {
  for (const std::string& arg : args) {
    if (arg.ends_with(value)) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args(1);
  for (std::size_t i = 0; i < size && args.size() <= 16; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == '\0') {
      args.emplace_back();
    } else if (c != '\x01' && c != '\x02') {
      args.back() += c;
    }
  }
  for (std::string& arg : args) {
    const auto secret = tarnwick::ConnectStringSecret(arg);
    if (secret.Present()) {
      arg = arg.substr(0, secret.Begin) + kMarker + arg.substr(secret.End);
    }
  }

  const batch::TCommand command = batch::ParseCommandLine(args);
  if (const auto* error = std::get_if<batch::TUsageError>(&command)) {
    FUZZ_CHECK(!error->Message.empty());
    FUZZ_CHECK(error->Message.find(kMarker) == std::string::npos);
    FUZZ_CHECK(error->Message.ends_with("Try 'tarnwick-export --help' for more information."));
    return 0;
  }
  const auto* options = std::get_if<batch::TBatchOptions>(&command);
  if (options == nullptr) return 0;
  const auto name = batch::NormaliseTableName(options->Table);
  FUZZ_CHECK(name.has_value());
  FUZZ_CHECK(tarnwick::IsTableIdentifier(options->Table));
  FUZZ_CHECK(!name->empty() && name->size() <= 30 && name->size() == options->Table.size());
  FUZZ_CHECK(batch::NormaliseTableName(*name) == name);
  for (char c : *name) FUZZ_CHECK(!(c >= 'a' && c <= 'z'));
  FUZZ_CHECK(EndsAnArgument(args, options->Table));
  // Absent means the rows per fetch follow the record length.
  FUZZ_CHECK(!options->FetchRows || (*options->FetchRows >= 1 && *options->FetchRows <= 10000));
  FUZZ_CHECK(!(options->Folder && options->Output));
  for (const auto* value :
       {&options->Folder, &options->Output, &options->Connect, &options->Settings}) {
    if (*value) {
      FUZZ_CHECK(!(*value)->empty());
      FUZZ_CHECK(EndsAnArgument(args, **value));
    }
  }
  return 0;
}
