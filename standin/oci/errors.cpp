#include "standin/oci/errors.h"

#include "standin/engine/engine.h"

namespace standin::oci {

namespace {

struct Text {
  int code;
  const char* text;  // %s are replaced by the arguments in order
};

// Only the texts the engine does not know, or words differently; the rest come from its table.
constexpr Text kTexts[] = {
    {600, "internal error code, arguments: [%s], [], [], [], [], [], [], []"},
    {1007, "variable not in select list"},
    {1460, "unimplemented or unreasonable conversion requested"},
    {4030, "out of process memory when trying to allocate %s bytes (%s,%s)"},
    {24300, "bad value for mode"},
    {24309, "already connected to a server"},
    {24313, "user already authenticated"},
    {24315, "illegal attribute type"},
    {24333, "zero iteration count"},
    {24334, "no descriptor for this position"},
    {24337, "statement handle not prepared"},
    {24373, "invalid length specified for statement"},
    {24374, "define not done before fetch or execute and fetch"},
    {24391, "invalid fetch operation"},
};

}  // namespace

std::string clientMessage(int code, const std::vector<std::string>& args) {
  for (const Text& t : kTexts)
    if (t.code == code) return standin::formatOraMessage(code, t.text, args);
  return standin::oraMessage(code, args);
}

void fail(int code, const std::vector<std::string>& args) {
  throw ClientError{code, clientMessage(code, args)};
}

bool isFatalConnectionError(int code) {
  switch (code) {
    case 28:
    case 1012:
    case 1092:
    case 3113:
    case 3114:
    case 3135:
    case 12537:
    case 12547:
    case 12571:
      return true;
    default:
      return false;
  }
}

bool isWarningCode(int code) {
  return code == 28002 || code == 28011 || code == 24344 || code == 24345 || code == 24347;
}

}  // namespace standin::oci
