#pragma once
// An environment variable set or unset for the life of the object; its previous state (a value,
// or no variable at all) comes back when the object ends.
#include <optional>
#include <string>
#include <utility>

namespace tarnwick::testsupport {

class ScopedEnvVar {
 public:
  // Sets `name` to `value`; a null `value` unsets it. Throws std::runtime_error with the
  // system's error text when the environment refuses the name.
  ScopedEnvVar(std::string name, const char* value);
  ScopedEnvVar(std::string name, const std::string& value)
      : ScopedEnvVar(std::move(name), value.c_str()) {}
  ~ScopedEnvVar();
  ScopedEnvVar(const ScopedEnvVar&) = delete;
  ScopedEnvVar& operator=(const ScopedEnvVar&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

}  // namespace tarnwick::testsupport
