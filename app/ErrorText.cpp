#include "app/ErrorText.h"

namespace tarnwick {

std::string ErrorDisplayText(const std::string& message) {
  // The last byte of UTF-8 text is either the whole last character (ASCII) or the final byte of
  // a multi-byte character, which is at least 80h: the comparison with "." holds for both.
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

}  // namespace tarnwick
