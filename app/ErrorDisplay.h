#pragma once
// The default error display: what the user sees of an error that leaves a handler.
#include <string>

#include "app/ErrorText.h"
#include "app/ModalUi.h"

namespace tarnwick {

// Shows the exception being handled (call only inside a catch block) with the error icon,
// captioned with the application title, its text as ErrorDisplayText makes it. The silent EAbort
// shows nothing; an exception of no known type is named by a generic text that mentions the action
// it ended.
void ShowCurrentException(IModalUi& ui, const std::string& title, const std::string& action);

// Runs one handler to its end; whatever escapes it goes to the default error display, so the
// window stays usable. Never throws (a failure of the display itself is dropped rather than let
// escape into the toolkit's event loop).
template <class Handler>
void RunGuarded(IModalUi& ui, const std::string& title, const std::string& action,
                Handler&& handler) noexcept {
  try {
    handler();
  } catch (...) {
    try {
      ShowCurrentException(ui, title, action);
    } catch (...) {
    }
  }
}

}  // namespace tarnwick
