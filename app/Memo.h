#pragma once
// A multi-line text control that is also a list of lines. Every line added ends with a line
// break, so the text of the lines {"a", "b"} is "a\nb\n" and a memo holding one empty line has
// the text "\n"; an unterminated last line that the user typed still counts as a line.
#include <QPlainTextEdit>
#include <string>
#include <vector>

namespace tarnwick {

class TMemo : public QPlainTextEdit {
 public:
  explicit TMemo(QWidget* parent = nullptr);

  std::vector<std::string> Lines() const;
  void AddLine(const std::string& line);
  void ClearLines();
};

}  // namespace tarnwick
