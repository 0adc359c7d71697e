#pragma once
// The progress gauge of the main window: a horizontal bar with a single black border, filled
// from the left in navy on white in proportion to the whole percentage done, with that
// percentage ("42%") centred on it in inverted colours, readable over both parts.
#include <QColor>
#include <QWidget>

namespace tarnwick {

class TCGauge : public QWidget {
 public:
  static inline const QColor FillColor{0, 0, 128};         // navy
  static inline const QColor BackColor{255, 255, 255};     // white
  static inline const QColor BorderColor{0, 0, 0};         // black
  static inline const QColor TextOverFill{255, 255, 127};  // navy inverted
  static inline const QColor TextOverBack{0, 0, 0};        // white inverted

  explicit TCGauge(QWidget* parent = nullptr);

  int MinValue() const noexcept { return min_; }
  int MaxValue() const noexcept { return max_; }
  int Progress() const noexcept { return progress_; }
  // floor((Progress - MinValue) * 100 / (MaxValue - MinValue)); 0 when both bounds are equal.
  int PercentDone() const noexcept;

  // Progress outside MinValue..MaxValue stores the nearer bound. A bound that would pass the
  // other one raises Exception and changes nothing; moving a bound past the progress moves the
  // progress with it. The gauge repaints at once when the whole percentage changes, and only then.
  void SetMinValue(int value);
  void SetMaxValue(int value);
  void SetProgress(int value);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Apply(int min, int max, int progress);

  int min_ = 0;
  int max_ = 100;
  int progress_ = 0;
};

}  // namespace tarnwick
