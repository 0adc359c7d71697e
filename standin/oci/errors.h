#pragma once
// Diagnostic records of error and environment handles, and the published texts of the errors the
// client layer raises itself (the engine raises the server's errors with their own texts).
#include <string>
#include <string_view>
#include <vector>

namespace standin::oci {

// One diagnostic record: the Oracle error number and its text "ORA-nnnnn: ...\n".
struct Diag {
  int code = 0;
  std::string text;
  unsigned serial = 0;  // counts the records written, so a caller can tell a fresh one
  bool empty() const { return code == 0; }
  void clear() {
    code = 0;
    text.clear();
  }
};

// The published text of `code` with its "ORA-nnnnn: " prefix and no line feed. Codes the client
// layer raises are known here; others are asked of the engine's message table.
std::string clientMessage(int code, const std::vector<std::string>& args = {});

// Errors of the client layer travel as this exception inside the library and become a diagnostic
// record at the C boundary.
struct ClientError {
  int code;
  std::string message;  // without line feed
};
[[noreturn]] void fail(int code, const std::vector<std::string>& args = {});

// Errors after which the connection is unusable.
bool isFatalConnectionError(int code);
// Codes that a call reports as OCI_SUCCESS_WITH_INFO instead of failing.
bool isWarningCode(int code);

}  // namespace standin::oci
