#pragma once
// The About window AboutF, opened by the main window's "О программе".
#include "app/TextWindow.h"

namespace tarnwick {

class TAboutF : public TTextWindow {
 public:
  // Where users write to about the program: the last line of the text.
  static constexpr const char* ContactAddress = "tarnwick@example.org";

  explicit TAboutF(QWidget* owner);

  // The eleven lines of the About text.
  static std::vector<std::string> Text();
};

}  // namespace tarnwick
