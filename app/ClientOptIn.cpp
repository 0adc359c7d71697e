#include "app/ClientOptIn.h"

#include "app/IniFile.h"
#include "oracle/Oracall.h"

namespace tarnwick {

namespace {

constexpr const char* kValues =
    ": it takes 1 (accept Oracle clients of version 11 and later, used as clients 8 to 10 are) or "
    "0 (refuse them)";

}  // namespace

TClientOptIn FindClientOptIn(bool commandLine,
                             const std::function<std::optional<std::string>(const char*)>& getEnv,
                             const std::vector<std::string>& settingsFiles) {
  TClientOptIn result;
  std::optional<bool> decided;
  if (commandLine) {
    decided = true;
    result.Origin = "--accept-newer-client";
  }
  if (const auto value = getEnv ? getEnv(kAcceptNewerClientVariable) : std::nullopt;
      value && !value->empty()) {
    if (*value != "0" && *value != "1") {
      result.Error = std::string(kAcceptNewerClientVariable) + " is '" + *value + "'" + kValues;
      return result;
    }
    if (!decided) {
      decided = *value == "1";
      result.Origin = kAcceptNewerClientVariable;
    }
  }
  for (const std::string& path : settingsFiles) {
    if (path.empty()) continue;
    const std::string value = TIniFile(path).ReadString(kClientSection, kAcceptNewerClientKey, "");
    if (value.empty()) continue;
    if (value != "0" && value != "1") {
      result.Error = path + ": " + kAcceptNewerClientKey + " in section [" + kClientSection +
                     "] is '" + value + "'" + kValues;
      return result;
    }
    if (!decided) {
      decided = value == "1";
      result.Origin = path;
    }
  }
  result.Accept = decided.value_or(false);
  return result;
}

bool RefusedAsNewerClient(const std::string& message) {
  const std::string prefix = "OCI version ";
  const std::string suffix = " is not supported";
  if (!message.starts_with(prefix) || !message.ends_with(suffix) ||
      message.size() <= prefix.size() + suffix.size()) {
    return false;
  }
  const std::string version =
      message.substr(prefix.size(), message.size() - prefix.size() - suffix.size());
  return VersionStrToWord(version) / 1000 >= 11;
}

}  // namespace tarnwick
