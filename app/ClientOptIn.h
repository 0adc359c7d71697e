#pragma once
// The user's opt-in to Oracle clients of version 11 and later, which the program otherwise
// refuses ("OCI version 19.1 is not supported"). The window and tarnwick-export read it the same
// way: the environment variable TARNWICK_ACCEPT_NEWER_CLIENT, else the key AcceptNewerClient in
// section [Client] of the settings file; tarnwick-export's --accept-newer-client comes first.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

inline constexpr const char* kAcceptNewerClientVariable = "TARNWICK_ACCEPT_NEWER_CLIENT";
inline constexpr const char* kClientSection = "Client";
inline constexpr const char* kAcceptNewerClientKey = "AcceptNewerClient";

struct TClientOptIn {
  bool Accept = false;
  // What decided: "--accept-newer-client", the variable's name, or the settings file's path;
  // empty when nothing set a value.
  std::string Origin;
  // A value other than 0 or 1: the program does not connect, since a typing error must not
  // silently leave the user without the client they asked for.
  std::optional<std::string> Error;
};

// The opt-in from, in this order: `commandLine` (true when the option was given), the
// environment variable (when set and not empty), and the first of `settingsFiles` that holds the
// key with a value (a missing or unreadable file holds none). The values are 1 (accept) and 0
// (refuse); every other value, in the variable or in any of the files, is an error naming where
// it was found, even where an earlier source decides.
TClientOptIn FindClientOptIn(bool commandLine,
                             const std::function<std::optional<std::string>(const char*)>& getEnv,
                             const std::vector<std::string>& settingsFiles);

// The message of an "OCI version X is not supported" refusal of a client that the opt-in would
// accept (version 11 and later); false for every other message.
bool RefusedAsNewerClient(const std::string& message);

}  // namespace tarnwick
