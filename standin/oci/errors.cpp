#include "standin/oci/errors.h"

#include <cstdio>

#include "standin/engine/engine.h"

namespace standin::oci {

namespace {

struct Text {
  int code;
  const char* text;  // %s are replaced by the arguments in order
};

constexpr Text kTexts[] = {
    {28, "your session has been killed"},
    {600, "internal error code, arguments: [%s], [], [], [], [], [], [], []"},
    {932, "inconsistent datatypes: expected %s got %s"},
    {1002, "fetch out of sequence"},
    {1007, "variable not in select list"},
    {1012, "not logged on"},
    {1013, "user requested cancel of current operation"},
    {1017, "invalid username/password; logon denied"},
    {1031, "insufficient privileges"},
    {1403, "no data found"},
    {1405, "fetched column value is NULL"},
    {1406, "fetched column value was truncated"},
    {1455, "converting column overflows integer datatype"},
    {1460, "unimplemented or unreasonable conversion requested"},
    {1722, "invalid number"},
    {3113, "end-of-file on communication channel"},
    {3114, "not connected to ORACLE"},
    {3135, "connection lost contact"},
    {4030, "out of process memory when trying to allocate %s bytes (%s,%s)"},
    {12154, "TNS:could not resolve the connect identifier specified"},
    {12705, "Cannot access NLS data files or invalid environment specified"},
    {12571, "TNS:packet writer failure"},
    {24300, "bad value for mode"},
    {24309, "already connected to a server"},
    {24313, "user already authenticated"},
    {24315, "illegal attribute type"},
    {24333, "zero iteration count"},
    {24334, "no descriptor for this position"},
    {24337, "statement handle not prepared"},
    {24338, "statement handle not executed"},
    {24344, "success with compilation error"},
    {24345, "A Truncation or null fetch error occurred"},
    {24373, "invalid length specified for statement"},
    {24374, "define not done before fetch or execute and fetch"},
    {24391, "invalid fetch operation"},
    {28002, "the password will expire within %s days"},
};

}  // namespace

std::string clientMessage(int code, const std::vector<std::string>& args) {
  for (const Text& t : kTexts) {
    if (t.code != code) continue;
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "ORA-%05d: ", code);
    std::string out = prefix;
    size_t next = 0;
    for (const char* p = t.text; *p; ++p) {
      if (p[0] == '%' && p[1] == 's') {
        if (next < args.size()) out += args[next];
        ++next;
        ++p;
      } else {
        out += *p;
      }
    }
    return out;
  }
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
