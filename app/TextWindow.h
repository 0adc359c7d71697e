#pragma once
// The program's two small windows with a fixed text (About and Help): a borderless text area on
// the menu colour and a "Закрыть" button that closes the window with the modal result OK. Fixed
// size, no title-bar buttons, centred on the screen. Each press of the main window's button makes
// a new window, so nothing typed into one survives it.
#include <QDialog>
#include <QRect>
#include <QSize>
#include <string>
#include <vector>

class QPushButton;

namespace tarnwick {

class TMemo;

class TTextWindow : public QDialog {
 public:
  TMemo* Memo1;
  QPushButton* Button1;

  // Every line of the window's text, as it was made.
  const std::vector<std::string>& TextLines() const noexcept { return lines_; }

 protected:
  struct Layout {
    const char* name;
    const char* caption;
    QSize client;
    QRect text;
    bool readOnly;
    QRect button;
  };
  TTextWindow(QWidget* owner, const Layout& layout, std::vector<std::string> lines);

  void showEvent(QShowEvent* event) override;

 private:
  void FitLinesToWidth();

  std::vector<std::string> lines_;
};

}  // namespace tarnwick
