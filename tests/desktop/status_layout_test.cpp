// The status panel's geometry and font arithmetic, and its painting.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

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
                QString(), QColor(240, 240, 240));
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

// One colour's pixels: how many, how many outside the lower half, the outermost columns.
struct Spread {
  int count = 0, outsideLower = 0, left = INT_MAX, right = -1;
};

Spread SpreadOf(const QImage& image, const QColor& colour, const QRect& lower) {
  Spread s;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) != colour.rgb()) continue;
      s = {s.count + 1, s.outsideLower + (lower.contains(x, y) ? 0 : 1), std::min(s.left, x), std::max(s.right, x)};
    }
  }
  return s;
}

QImage Painted(const StatusLayout& layout, const QString& name, const QString& port) {
  QImage image(620, 100, QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter painter(&image);
  PaintStatus(painter, layout, QStringLiteral("VQX-2 connected to Relay North"), name, port, QColor(240, 240, 240));
  return image;
}

QImage LowerColumns(const QImage& image, const QRect& lower, int from, int to) {
  return image.copy(QRect(from, lower.top(), to - from, lower.height()));
}

TEST(StatusLayoutTest, ThePortLineIsRightOfTheNameInTheLowerHalfOrNotDrawnAndTheNameStaysPut) {
  const StatusLayout layout = ComputeStatusLayout(QRect(11, 8, 582, 76));
  const QRect& lower = layout.lower;
  const int average = layout.geometry.fontAverageWidth;
  const QString port = QStringLiteral("Port: rfc2217://") + QString(60, QLatin1Char('h')) + QStringLiteral(":4001");
  for (const QString& name : {QStringLiteral("Name: Tower 2"), QStringLiteral("Name: ") + QString(30, QLatin1Char('e')),
                              QStringLiteral("Name: ") + QString(63, QLatin1Char('M'))}) {
    const QImage image = Painted(layout, name, port);
    const Spread named = SpreadOf(image, kStatusNameColour, lower);
    const Spread ported = SpreadOf(image, kStatusPortColour, lower);
    EXPECT_EQ(LowerColumns(image, lower, lower.left(), named.right + 1),
              LowerColumns(Painted(layout, name, QString()), lower, lower.left(), named.right + 1));
    EXPECT_EQ(ported.outsideLower, 0);
    if (name.size() > 60) {
      EXPECT_EQ(ported.count, 0) << "a name filling the half leaves no room";
    } else {
      EXPECT_GT(ported.count, 50);
      EXPECT_GT(ported.left, named.right + average) << "a gap after the name";
    }
  }
  const Spread alone = SpreadOf(Painted(layout, QString(), QStringLiteral("Port: COM3")), kStatusPortColour, lower);
  EXPECT_GT(alone.count, 20);
  EXPECT_GE(alone.right, lower.right() - average) << "without a name it still ends at the right";
  EXPECT_GT(alone.left, lower.center().x());
}

// Cut at the end, or only clipped at the left, the line would lose what tells serial
// servers apart, or what it is.
TEST(StatusLayoutTest, ALongPortNameIsShortenedInTheMiddleKeepingItsLabelAndItsHostAndPortEnd) {
  const StatusLayout layout = ComputeStatusLayout(QRect(11, 8, 582, 76));
  const QRect& lower = layout.lower;
  const QString name = QStringLiteral("Name: Tower 2");
  const QFontMetrics metrics(layout.font);
  const int room = ComputeStatusPortBox(layout.geometry, metrics.horizontalAdvance(name)).Width();
  const int tail = metrics.horizontalAdvance(QStringLiteral("h:4001"));
  const QImage shortTail = LowerColumns(Painted(layout, name, QStringLiteral("Port: rfc2217://h:4001")), lower,
                                        lower.right() + 1 - tail, lower.right() + 1);
  for (const QString& host :
       {QString(60, QLatin1Char('h')), QStringLiteral("relay-north-") + QString(30, QLatin1Char('h'))}) {
    const QString port = QStringLiteral("Port: rfc2217://") + host + QStringLiteral(":4001");
    const QImage image = Painted(layout, name, port);
    // Both end in "h:4001" at the right edge: the same pixels there, whatever was left out.
    EXPECT_EQ(LowerColumns(image, lower, lower.right() + 1 - tail, lower.right() + 1), shortTail);
    const QString shortened = metrics.elidedText(port, Qt::ElideMiddle, room);
    ASSERT_TRUE(shortened.startsWith(QStringLiteral("Port: rfc")) && shortened.size() < port.size());
    EXPECT_EQ(image, Painted(layout, name, shortened)) << "drawn as Port: rfc2...hhh:4001";
  }
}

}  // namespace
}  // namespace vqx::desktop
