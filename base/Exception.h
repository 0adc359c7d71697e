#pragma once
// The exception classes of the data-access layers. Each derives from the one before it:
// Exception -> EDatabaseError -> EDAError -> EOraError; EAbort is the silent exception that the
// application's default error display never shows.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace tarnwick {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

class EDAError : public EDatabaseError {
 public:
  EDAError(int32_t errorCode, std::string message)
      : EDatabaseError(std::move(message)), errorCode_(errorCode) {}
  int32_t ErrorCode() const noexcept { return errorCode_; }

 private:
  int32_t errorCode_;
};

// The Oracle error number (positive: 1017 for ORA-01017) and the client's text unchanged.
// The layer's own pseudo errors use negative codes (-3127).
class EOraError : public EDAError {
 public:
  EOraError(int32_t errorCode, std::string message) : EDAError(errorCode, std::move(message)) {}
  // The object reference the error carries; empty at creation.
  const void* Component() const noexcept { return component_; }
  void SetComponent(const void* component) noexcept { component_ = component; }

 private:
  const void* component_ = nullptr;
};

class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};

// An internal check that failed: a caller broke a contract of the layer (an unknown property code,
// for instance). Raised in every build, so the fault never passes silently.
class EAssertionFailed : public Exception {
 public:
  using Exception::Exception;
};

// Raises the silent exception: the action ends and nothing is shown.
[[noreturn]] inline void Abort() {
  throw EAbort();
}

}  // namespace tarnwick
