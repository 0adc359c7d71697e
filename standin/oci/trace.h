#pragma once
// Call trace: when STANDIN_TRACE names a file (read whenever an environment handle is made), every
// entry point appends one line "Name(arg, arg, ...) = STATUS" to it. The exact format is given in
// standin/README.md; tests of the program compare call sequences against it.
#include <string>
#include <string_view>

#include "oracle/oci.h"

namespace standin::oci::trace {

bool enabled();
void configure();

enum class Flags {
  EnvMode,
  EnvInitMode,
  ExecMode,
  FetchOrientation,
  Credentials,
  SessionMode,
  Language,
  Default,
  HandleType,
  Dty,
  Status
};

class Line {
 public:
  explicit Line(const char* function);
  Line& handle(const void* p);                    // kind#n, NULL, or <invalid>
  Line& handleName(const std::string& name);      // a name taken before the handle was freed
  Line& outHandle(void* const* pp, bool filled);  // &kind#n, &, or NULL
  Line& number(long long v);
  Line& text(const void* p, long long length);       // "..." with C escapes, or NULL
  Line& masked(const void* p);                       // "***" (passwords), or NULL
  Line& pointer(const void* p);                      // & or NULL
  Line& outNumber(const void* p, long long v);       // &v or NULL
  Line& outText(const void* p, std::string_view v);  // &"..." or NULL
  Line& constant(long long v, Flags kind);
  Line& attribute(ub4 attr, ub4 handleType);
  // `code` is the Oracle error the call left in its diagnostic record, 0 for none.
  void end(sword status, int code = 0);
  void endVoid();

 private:
  void sep();
  std::string s_;
  bool first_ = true;
};

std::string handleName(const void* p);
// t in double quotes with C escapes.
std::string quoted(std::string_view t);

}  // namespace standin::oci::trace
