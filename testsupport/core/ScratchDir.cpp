#include "testsupport/core/ScratchDir.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace tarnwick::testsupport {

ScratchDir::ScratchDir(const std::string& prefix, const std::filesystem::path& parent) {
  const std::string pattern = (parent / (prefix + "-XXXXXX")).string();
  std::string name = pattern;  // mkdtemp writes into it, also when it fails
  if (mkdtemp(name.data()) == nullptr) {
    const int error = errno;
    throw std::runtime_error("cannot make the scratch folder " + pattern + ": " +
                             std::strerror(error));
  }
  path_ = name;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace tarnwick::testsupport
