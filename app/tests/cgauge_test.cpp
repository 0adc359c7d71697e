// The progress gauge: clamping, the whole percentage, repainting only when it changes, and the
// pixels it paints.
#include "app/CGauge.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QTest>
#include <climits>

#include "app/tests/QtTestEnvironment.h"
#include "base/Exception.h"

namespace tarnwick {
namespace {

TEST(CGaugeTest, StartsEmptyFromZeroToHundred) {
  TCGauge gauge;
  EXPECT_EQ(gauge.MinValue(), 0);
  EXPECT_EQ(gauge.MaxValue(), 100);
  EXPECT_EQ(gauge.Progress(), 0);
  EXPECT_EQ(gauge.PercentDone(), 0);
  EXPECT_EQ(gauge.focusPolicy(), Qt::NoFocus);
}

TEST(CGaugeTest, ProgressIsClampedToTheBounds) {
  struct Step {
    int set, progress, percent;
  };
  const Step steps[] = {{100, 100, 100},     {150, 100, 100}, {-5, 0, 0}, {42, 42, 42},
                        {INT_MAX, 100, 100}, {INT_MIN, 0, 0}, {0, 0, 0}};
  TCGauge gauge;
  for (const Step& s : steps) {
    gauge.SetProgress(s.set);
    EXPECT_EQ(gauge.Progress(), s.progress) << s.set;
    EXPECT_EQ(gauge.PercentDone(), s.percent) << s.set;
  }
}

TEST(CGaugeTest, PercentageIsTheWholePartOfTheShareDone) {
  struct Case {
    int min, max, progress, percent;
  };
  const Case cases[] = {
      {0, 3, 1, 33},
      {0, 3, 2, 66},
      {0, 3, 3, 100},
      {10, 20, 15, 50},
      {-100, 100, 0, 50},
      {0, 1000, 999, 99},
      {0, 7, 1, 14},
      {INT_MIN, INT_MAX, INT_MAX, 100},
      {INT_MIN, INT_MAX, 0, 50},
      {5, 5, 5, 0},
  };
  for (const Case& c : cases) {
    TCGauge gauge;
    gauge.SetMaxValue(c.max);
    gauge.SetMinValue(c.min);
    gauge.SetProgress(c.progress);
    EXPECT_EQ(gauge.PercentDone(), c.percent) << c.min << ".." << c.max << " at " << c.progress;
  }
}

TEST(CGaugeTest, BoundsNeverCrossAndCarryTheProgress) {
  TCGauge gauge;
  gauge.SetProgress(80);
  EXPECT_THROW(gauge.SetMinValue(101), Exception);
  EXPECT_THROW(gauge.SetMaxValue(-1), Exception);
  EXPECT_EQ(gauge.MinValue(), 0);
  EXPECT_EQ(gauge.MaxValue(), 100);
  EXPECT_EQ(gauge.Progress(), 80);

  gauge.SetMaxValue(50);
  EXPECT_EQ(gauge.Progress(), 50);
  gauge.SetMinValue(50);
  EXPECT_EQ(gauge.Progress(), 50);
  EXPECT_EQ(gauge.PercentDone(), 0);
}

class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

TEST(CGaugeTest, RepaintsAtOnceOnlyWhenTheWholePercentageChanges) {
  TCGauge gauge;
  gauge.resize(200, 25);
  gauge.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&gauge));
  QCoreApplication::processEvents();
  PaintCounter counter;
  gauge.installEventFilter(&counter);
  gauge.SetMaxValue(1000);

  struct Step {
    const char* what;
    int progress;
    int paintsAfter;
  };
  const Step steps[] = {
      {"0 -> 10%", 100, 1},          {"same value", 100, 1}, {"still 10%", 105, 1},
      {"still 10% at 10.9", 109, 1}, {"11%", 110, 2},        {"clamped to 100%", 5000, 3},
      {"clamped again", 9000, 3},    {"back to 0%", -7, 4},
  };
  for (const Step& s : steps) {
    gauge.SetProgress(s.progress);
    EXPECT_EQ(counter.paints, s.paintsAfter) << s.what << " (painted at once)";
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.paints, s.paintsAfter) << s.what << " (nothing scheduled for later)";
  }
}

TEST(CGaugeTest, PaintsNavyFillWhiteRestAndInvertedText) {
  TCGauge gauge;
  QFont font = gauge.font();
  font.setPixelSize(16);
  gauge.setFont(font);
  gauge.resize(200, 25);
  gauge.SetProgress(50);
  const QImage image = gauge.grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(image.size(), QSize(200, 25));

  const auto at = [&](int x, int y) { return QColor(image.pixel(x, y)); };
  EXPECT_EQ(at(0, 0), TCGauge::BorderColor);
  EXPECT_EQ(at(199, 24), TCGauge::BorderColor);
  EXPECT_EQ(at(3, 3), TCGauge::FillColor);
  EXPECT_EQ(at(196, 3), TCGauge::BackColor);

  // Inner width 198: the fill ends at x = 1 + 99.
  int textOverFill = 0;
  int textOverBack = 0;
  for (int y = 1; y < 24; ++y) {
    for (int x = 1; x < 199; ++x) {
      const QColor c = at(x, y);
      const bool inFill = x < 100;
      if (inFill) {
        EXPECT_TRUE(c == TCGauge::FillColor || c == TCGauge::TextOverFill) << x << "," << y;
        textOverFill += c == TCGauge::TextOverFill;
      } else {
        EXPECT_TRUE(c == TCGauge::BackColor || c == TCGauge::TextOverBack) << x << "," << y;
        textOverBack += c == TCGauge::TextOverBack;
      }
    }
  }
  EXPECT_GT(textOverFill, 10) << "the text over the fill is drawn in the fill's inverse";
  EXPECT_GT(textOverBack, 10) << "the text over the background is drawn in its inverse";
}

TEST(CGaugeTest, TextShowsThePercentage) {
  // A gauge at 0% has no fill: every non-white inner pixel is text, and there is some.
  TCGauge empty;
  empty.resize(120, 25);
  const QImage image = empty.grab().toImage();
  int text = 0;
  for (int y = 1; y < 24; ++y) {
    for (int x = 1; x < 119; ++x) text += QColor(image.pixel(x, y)) == TCGauge::TextOverBack;
  }
  EXPECT_GT(text, 0);

  // Full: every inner pixel is fill or text over the fill.
  TCGauge full;
  full.resize(120, 25);
  full.SetProgress(100);
  const QImage fullImage = full.grab().toImage();
  for (int y = 1; y < 24; ++y) {
    for (int x = 1; x < 119; ++x) {
      const QColor c(fullImage.pixel(x, y));
      ASSERT_TRUE(c == TCGauge::FillColor || c == TCGauge::TextOverFill) << x << "," << y;
    }
  }
}

}  // namespace
}  // namespace tarnwick
