// The status panel's geometry and font arithmetic, and its painting.

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include "dialog_units.h"
#include "status_painter.h"

namespace vqx::desktop {
namespace {

TEST(StatusLayoutTest, EdgesAreScaledAndCutTowardZeroAndHalvesSplitTheArea) {
  // The "Status" group box at 7,5 388x47 dialog units with base units 6 x 13:
  // 11,8 582x76 pixels, so edges 11, 8, 593, 84.
  const DialogUnits units(QFont(), 6, 13);
  const QRect box = units.ToPixels(7, 5, 388, 47);
  ASSERT_EQ(box, QRect(11, 8, 582, 76));
  const StatusLayout layout = ComputeStatusLayout(box);
  // left 11*2 = 22, top 8*2.8 = 22.4 -> 22, right 593*0.9 = 533.7 -> 533, bottom 84*0.9 = 75.6 -> 75.
  EXPECT_EQ(layout.area, QRect(QPoint(22, 22), QPoint(532, 74)));
  EXPECT_EQ(layout.upper.top(), 22);
  EXPECT_EQ(layout.upper.bottom() + 1, 48) << "(22 + 75) / 2 = 48.5, cut to 48";
  EXPECT_EQ(layout.lower.top(), 48);
  EXPECT_EQ(layout.lower.bottom() + 1, 75);
  EXPECT_EQ(layout.font.pixelSize(), 23) << "0.92 x 26 = 23.92, cut to 23";
  EXPECT_EQ(layout.font.weight(), QFont::DemiBold);
  const int averageWidth = QFontMetrics(layout.font).averageCharWidth();
  EXPECT_NEAR(averageWidth, 511 / 50, 2) << "a fiftieth of the half's width";
}

TEST(StatusLayoutTest, PaintingClearsTheAreaAndClipsEachLineToItsHalf) {
  const StatusLayout layout = ComputeStatusLayout(QRect(11, 8, 582, 76));
  QImage image(620, 100, QImage::Format_RGB32);
  image.fill(Qt::black);
  {
    QPainter painter(&image);
    // 63 characters: longer than the half is wide, so clipping must hold it.
    PaintStatus(painter, layout, QString(63, QLatin1Char('W')), QStringLiteral("Name: ") + QString(63, QLatin1Char('M')),
                QColor(240, 240, 240));
  }
  int outside = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (!layout.area.contains(x, y) && c != Qt::black) ++outside;
    }
  }
  EXPECT_EQ(outside, 0) << "nothing is drawn outside the status area";
  bool sentenceInUpper = false, nameInLower = false, nameInUpper = false;
  for (int y = layout.area.top(); y <= layout.area.bottom(); ++y) {
    for (int x = layout.area.left(); x <= layout.area.right(); ++x) {
      const QRgb c = image.pixel(x, y);
      if (c == kStatusSentenceColour.rgb() && layout.upper.contains(x, y)) sentenceInUpper = true;
      if (c == kStatusNameColour.rgb() && layout.lower.contains(x, y)) nameInLower = true;
      if (c == kStatusNameColour.rgb() && layout.upper.contains(x, y)) nameInUpper = true;
    }
  }
  EXPECT_TRUE(sentenceInUpper);
  EXPECT_TRUE(nameInLower);
  EXPECT_FALSE(nameInUpper);
}

}  // namespace
}  // namespace vqx::desktop
