#pragma once
// Fault injection for tests: chosen calls fail (or warn) with a chosen Oracle error, a fetch fails
// after a number of rows, fetches are slowed down, and the server reports another release.
//
// Sources, both optional: the environment variables STANDIN_FAULT_CALL, STANDIN_FAULT_ROWS,
// STANDIN_FAULT_FETCH_DELAY_MS and STANDIN_FAULT_VERSION (read when an environment handle is made),
// and the keys fault.call, fault.rows, fault.fetch_delay_ms and version of a server folder's
// settings (read when a server handle attaches). The formats are given in standin/README.md.
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace standin::oci {

struct Faults {
  struct Call {
    std::string function;  // e.g. "OCIStmtFetch"
    unsigned nth = 1;      // 1-based count of that function's calls
    bool onward = false;   // "3+": the third call and every later one
    int code = 0;          // Oracle error number
  };
  std::vector<Call> calls;
  long rowLimit = -1;  // a fetch that would deliver row rowLimit + 1 of a statement fails...
  int rowCode = 0;     // ...with this error
  unsigned fetchDelayMs = 0;
  std::string version;
  std::map<std::string, unsigned, std::less<>> counters;

  // Each parser returns an empty text on success, else what is wrong.
  std::string parseCalls(std::string_view spec);
  std::string parseRows(std::string_view spec);
  std::string parseDelay(std::string_view spec);

  // Reads the STANDIN_FAULT_* variables; the text of the first malformed one goes to `problem`.
  static Faults fromEnvironment(std::string& problem);
  static Faults fromSettings(const std::map<std::string, std::string>& settings,
                             std::string& problem);

  // Counts one call of `function`; returns the error code to inject, or 0.
  int onCall(std::string_view function);
};

// "7.3" -> "7.3.0.0.0": the five-part release number of a version setting.
std::string normalizeVersion(std::string_view v);
// The OCIServerVersion banner of a server of that release.
std::string bannerFor(const std::string& version);

}  // namespace standin::oci
