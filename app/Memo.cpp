#include "app/Memo.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace tarnwick {

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent) {}

std::vector<std::string> TMemo::Lines() const {
  const std::string text = toPlainText().toStdString();
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

void TMemo::AddLine(const std::string& line) {
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  QString insert;
  // The text ends with a line break exactly when its last block is empty.
  if (!document()->lastBlock().text().isEmpty()) insert += '\n';
  insert += QString::fromStdString(line) + '\n';
  cursor.insertText(insert);
}

void TMemo::ClearLines() {
  clear();
}

}  // namespace tarnwick
