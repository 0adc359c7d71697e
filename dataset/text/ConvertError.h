#pragma once
// Raised when a value cannot be turned into another form: a date or time that does not exist,
// a date-time outside the years 1..9999, a float that does not fit the integer asked for.
#include "base/Exception.h"

namespace tarnwick {

class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace tarnwick
