#pragma once
// The Help window HelpF, opened by the main window's "Помощь". Its text can be edited; the edits
// go with the window when it closes.
#include "app/TextWindow.h"

namespace tarnwick {

class THelpF : public TTextWindow {
 public:
  explicit THelpF(QWidget* owner);

  // The seventeen lines of the Help text.
  static std::vector<std::string> Text();
};

}  // namespace tarnwick
