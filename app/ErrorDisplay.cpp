#include "app/ErrorDisplay.h"

#include <exception>

#include "base/Exception.h"

namespace tarnwick {

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
