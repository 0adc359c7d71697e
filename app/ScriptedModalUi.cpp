#include "app/ScriptedModalUi.h"

#include <stdexcept>

namespace tarnwick {

void TScriptedModalUi::ShowMessage(const std::string& caption, const std::string& text) {
  calls_.push_back({Kind::Message, caption, text});
}

void TScriptedModalUi::ShowError(const std::string& caption, const std::string& text) {
  calls_.push_back({Kind::Error, caption, text});
}

bool TScriptedModalUi::AskYesNo(const std::string& caption, const std::string& text) {
  calls_.push_back({Kind::YesNo, caption, text});
  if (yesNo_.empty()) throw std::logic_error("No scripted answer for the question: " + text);
  const bool answer = yesNo_.front();
  yesNo_.pop_front();
  return answer;
}

bool TScriptedModalUi::ChooseFile(TOpenDialog& dialog) {
  calls_.push_back({Kind::File, {}, dialog.FileName});
  lastDialog_ = dialog;
  if (files_.empty()) throw std::logic_error("No scripted answer for the file dialog");
  const std::optional<std::string> answer = files_.front();
  files_.pop_front();
  if (!answer) return false;
  dialog.FileName = *answer;
  return true;
}

int TScriptedModalUi::ShowModal(QDialog& window) {
  calls_.push_back(
      {Kind::Window, window.windowTitle().toStdString(), window.objectName().toStdString()});
  if (windows_.empty()) {
    throw std::logic_error("No scripted action for the window " +
                           window.objectName().toStdString());
  }
  const std::function<void(QDialog&)> action = std::move(windows_.front());
  windows_.pop_front();
  window.setResult(0);
  window.show();
  action(window);
  window.hide();
  return window.result();
}

}  // namespace tarnwick
