#include "app/TextWindow.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTextDocument>
#include <algorithm>

#include "app/Memo.h"

namespace tarnwick {

TTextWindow::TTextWindow(QWidget* owner, const Layout& layout, std::vector<std::string> lines)
    : QDialog(owner), lines_(std::move(lines)) {
  setObjectName(QString::fromLatin1(layout.name));
  setWindowTitle(QString::fromUtf8(layout.caption));
  // A title bar without a system menu, close, minimise or maximise box.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  QFont font(QStringLiteral("Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  setFont(font);
  setFixedSize(layout.client);

  Memo1 = new TMemo(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setGeometry(layout.text);
  Memo1->setFrameShape(QFrame::NoFrame);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setReadOnly(layout.readOnly);
  Memo1->setTabChangesFocus(true);
  QPalette palette = Memo1->palette();
  const QColor menu = QApplication::palette("QMenu").color(QPalette::Window);
  palette.setColor(QPalette::Base, menu);
  Memo1->setPalette(palette);
  for (const std::string& line : lines_) Memo1->AddLine(line);
  Memo1->moveCursor(QTextCursor::Start);
  FitLinesToWidth();

  Button1 = new QPushButton(QString::fromUtf8("Закрыть"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(layout.button);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

void TTextWindow::FitLinesToWidth() {
  // The platform's sans-serif font is wider than the one the texts were laid out in. Where a line
  // would not fit the text area's width, the font is narrowed so that every line stays one line
  // (and so the whole text stays in the area's height); word wrap remains for what is left over.
  // The area has no frame and no scroll bars: its text is as wide as the area less the margins.
  const int room = Memo1->width() - 2 * static_cast<int>(Memo1->document()->documentMargin()) - 4;
  for (int attempt = 0; attempt < 8; ++attempt) {
    const QFontMetrics metrics(Memo1->font());
    int widest = 0;
    for (const std::string& line : lines_) {
      widest = std::max(widest, metrics.horizontalAdvance(QString::fromStdString(line)));
    }
    if (widest <= room) return;
    QFont narrower = Memo1->font();
    const int stretch = narrower.stretch() > 0 ? narrower.stretch() : 100;
    narrower.setStretch(std::max(50, stretch * room / widest - 1));
    Memo1->setFont(narrower);
  }
}

void TTextWindow::showEvent(QShowEvent* event) {
  // Centred on the screen, not on the window that owns it.
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  QDialog::showEvent(event);
}

}  // namespace tarnwick
