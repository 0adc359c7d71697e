#include "app/CGauge.h"

#include <QPainter>
#include <algorithm>
#include <cstdint>
#include <string>

#include "base/Exception.h"

namespace tarnwick {

TCGauge::TCGauge(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);
}

int TCGauge::PercentDone() const noexcept {
  if (max_ == min_) return 0;
  // 64-bit arithmetic: the span of two ints times 100 does not fit in an int.
  const std::int64_t done = static_cast<std::int64_t>(progress_) - min_;
  const std::int64_t span = static_cast<std::int64_t>(max_) - min_;
  return static_cast<int>(done * 100 / span);
}

void TCGauge::SetMinValue(int value) {
  if (value > max_) {
    throw Exception("Gauge minimum " + std::to_string(value) + " exceeds its maximum " +
                    std::to_string(max_));
  }
  Apply(value, max_, progress_);
}

void TCGauge::SetMaxValue(int value) {
  if (value < min_) {
    throw Exception("Gauge maximum " + std::to_string(value) + " is below its minimum " +
                    std::to_string(min_));
  }
  Apply(min_, value, progress_);
}

void TCGauge::SetProgress(int value) {
  Apply(min_, max_, value);
}

void TCGauge::Apply(int min, int max, int progress) {
  const int before = PercentDone();
  min_ = min;
  max_ = max;
  progress_ = std::clamp(progress, min_, max_);
  if (PercentDone() != before) repaint();
}

void TCGauge::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect outer = rect();
  painter.fillRect(outer, BorderColor);
  const QRect inner = outer.adjusted(1, 1, -1, -1);
  if (inner.isEmpty()) return;
  const int percent = PercentDone();
  const int fillWidth = inner.width() * percent / 100;
  const QRect filled(inner.left(), inner.top(), fillWidth, inner.height());
  const QRect empty(inner.left() + fillWidth, inner.top(), inner.width() - fillWidth,
                    inner.height());
  painter.fillRect(filled, FillColor);
  painter.fillRect(empty, BackColor);

  // The text is drawn twice, each time clipped to one part in the inverse of that part's colour.
  // Without antialiasing every text pixel is exactly one of the two inverted colours.
  QFont textFont = font();
  textFont.setStyleStrategy(QFont::NoAntialias);
  painter.setFont(textFont);
  const QString text = QString::number(percent) + "%";
  painter.setClipRect(filled);
  painter.setPen(TextOverFill);
  painter.drawText(inner, Qt::AlignCenter, text);
  painter.setClipRect(empty);
  painter.setPen(TextOverBack);
  painter.drawText(inner, Qt::AlignCenter, text);
}

}  // namespace tarnwick
