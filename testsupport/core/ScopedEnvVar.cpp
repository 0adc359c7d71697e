#include "testsupport/core/ScopedEnvVar.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tarnwick::testsupport {

ScopedEnvVar::ScopedEnvVar(std::string name, const char* value) : name_(std::move(name)) {
  if (const char* old = getenv(name_.c_str())) previous_ = old;
  const int status = value ? setenv(name_.c_str(), value, 1) : unsetenv(name_.c_str());
  if (status != 0) {
    const int error = errno;
    throw std::runtime_error("cannot change the environment variable \"" + name_ +
                             "\": " + std::strerror(error));
  }
}

ScopedEnvVar::~ScopedEnvVar() {
  if (previous_)
    setenv(name_.c_str(), previous_->c_str(), 1);
  else
    unsetenv(name_.c_str());
}

}  // namespace tarnwick::testsupport
