#include "app/ErrorDisplay.h"

#include <exception>

#include "base/Exception.h"

namespace tarnwick {

std::string ErrorDisplayText(const std::string& message) {
  // The last byte of UTF-8 text is either the whole last character (ASCII) or the final byte of
  // a multi-byte character, which is at least 80h: the comparison with "." holds for both.
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

void ShowCurrentException(IModalUi& ui, const std::string& title, const std::string& action) {
  std::string message;
  try {
    throw;
  } catch (const EAbort&) {
    return;
  } catch (const Exception& e) {
    message = e.Message();
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "An unknown error ended " + action;
  }
  ui.ShowError(title, ErrorDisplayText(message));
}

}  // namespace tarnwick
