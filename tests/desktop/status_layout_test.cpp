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

// Where one colour's pixels are, over the whole image.
struct Spread {
  int count = 0, outsideLower = 0, left = INT_MAX, right = -1;
};

Spread SpreadOf(const QImage& image, const QColor& colour, const QRect& lower) {
  Spread s;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) != colour.rgb()) continue;
      ++s.count;
      if (!lower.contains(x, y)) ++s.outsideLower;
      s.left = std::min(s.left, x);
      s.right = std::max(s.right, x);
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

// The lower half's pixels in columns [from, to).
QImage Columns(const QImage& image, const StatusLayout& layout, int from, int to) {
  return image.copy(QRect(from, layout.lower.top(), to - from, layout.lower.height()));
}

const QString kLongPort = QStringLiteral("Port: rfc2217://") + QString(60, QLatin1Char('h')) + QStringLiteral(":4001");

TEST(StatusLayoutTest, ThePortLineStaysRightOfTheNameInTheLowerHalfAndLeavesTheNameAsItWas) {
  const StatusLayout layout = ComputeStatusLayout(QRect(11, 8, 582, 76));
  int drawn = 0;
  // From a short name to one of 30 wide letters, which leaves little room or none.
  for (int length : {1, 10, 20, 30}) {
    const QString name = QStringLiteral("Name: ") + QString(length, QLatin1Char('e')) + QString(length / 3, QLatin1Char('M'));
    const QImage image = Painted(layout, name, kLongPort);
    const Spread named = SpreadOf(image, kStatusNameColour, layout.lower);
    const Spread port = SpreadOf(image, kStatusPortColour, layout.lower);
    // The name line is where it was without a port line, pixel for pixel.
    const QImage without = Painted(layout, name, QString());
    ASSERT_GT(named.count, 50) << length;
    EXPECT_EQ(Columns(image, layout, layout.lower.left(), named.right + 1),
              Columns(without, layout, layout.lower.left(), named.right + 1))
        << length;
    EXPECT_EQ(SpreadOf(without, kStatusNameColour, layout.lower).count, named.count) << length;
    if (port.count == 0) continue;
    ++drawn;
    EXPECT_EQ(port.outsideLower, 0) << length;
    EXPECT_GT(port.left, named.right + layout.geometry.fontAverageWidth) << length << ": a gap before the port";
    EXPECT_LE(port.right, layout.lower.right()) << length;
  }
  EXPECT_GE(drawn, 3) << "names that leave room show the port";
  // 63 characters fill the half: no room is left, and nothing is squeezed in.
  const QImage full = Painted(layout, QStringLiteral("Name: ") + QString(63, QLatin1Char('M')), kLongPort);
  EXPECT_EQ(SpreadOf(full, kStatusPortColour, layout.lower).count, 0);
}

// Cut at the end, or only clipped at the left, the line would lose what tells serial
// servers apart, or what it is.
TEST(StatusLayoutTest, ALongPortNameIsShortenedInTheMiddleKeepingItsLabelAndItsHostAndPortEnd) {
  const StatusLayout layout = ComputeStatusLayout(QRect(11, 8, 582, 76));
  const QString name = QStringLiteral("Name: Tower 2");
  const QFontMetrics metrics(layout.font);
  const int room = ComputeStatusPortBox(layout.geometry, metrics.horizontalAdvance(name)).Width();
  const QImage shortPort = Painted(layout, name, QStringLiteral("Port: rfc2217://h:4001"));
  const int tail = metrics.horizontalAdvance(QStringLiteral("h:4001"));
  const QImage shortTail = Columns(shortPort, layout, layout.lower.right() + 1 - tail, layout.lower.right() + 1);
  ASSERT_GT(SpreadOf(shortTail, kStatusPortColour, QRect(QPoint(0, 0), shortTail.size())).count, 20);
  for (const QString& host : {QString(60, QLatin1Char('h')), QStringLiteral("relay-north-") + QString(30, QLatin1Char('h'))}) {
    const QString port = QStringLiteral("Port: rfc2217://") + host + QStringLiteral(":4001");
    ASSERT_GT(metrics.horizontalAdvance(port), room) << host.toStdString();
    const QImage longPort = Painted(layout, name, port);
    const Spread fitted = SpreadOf(longPort, kStatusPortColour, layout.lower);
    ASSERT_GT(fitted.count, 50) << host.toStdString();
    EXPECT_GT(fitted.left, SpreadOf(longPort, kStatusNameColour, layout.lower).right) << host.toStdString();
    // Both end in "h:4001" at the right edge: the same pixels there, whatever was left out.
    EXPECT_EQ(Columns(longPort, layout, layout.lower.right() + 1 - tail, layout.lower.right() + 1), shortTail)
        << host.toStdString();
    // What is drawn is the line with its middle taken out: "Port: rfc2...hhh:4001".
    const QString shortened = metrics.elidedText(port, Qt::ElideMiddle, room);
    ASSERT_TRUE(shortened.startsWith(QStringLiteral("Port: rfc")) && shortened.endsWith(QStringLiteral("h:4001")))
        << shortened.toStdString();
    EXPECT_EQ(longPort, Painted(layout, name, shortened)) << host.toStdString();
  }
}

TEST(StatusLayoutTest, WithoutANameThePortLineIsDrawnAtTheRightEnd) {
  const StatusLayout layout = ComputeStatusLayout(QRect(11, 8, 582, 76));
  const QImage image = Painted(layout, QString(), QStringLiteral("Port: COM3"));
  const Spread port = SpreadOf(image, kStatusPortColour, layout.lower);
  ASSERT_GT(port.count, 20);
  EXPECT_EQ(port.outsideLower, 0);
  const int average = layout.geometry.fontAverageWidth;
  EXPECT_GE(port.right, layout.lower.right() - average) << "right-aligned";
  EXPECT_GT(port.left, layout.lower.center().x()) << "a short port line is not drawn from the left";
  EXPECT_EQ(SpreadOf(image, kStatusNameColour, layout.lower).count, 0);

  // A long one takes the whole half, elided, and no more.
  const Spread whole = SpreadOf(Painted(layout, QString(), kLongPort), kStatusPortColour, layout.lower);
  EXPECT_EQ(whole.outsideLower, 0);
  EXPECT_LT(whole.left, layout.lower.left() + 2 * average);
  EXPECT_LE(whole.right, layout.lower.right());
}

TEST(StatusLayoutTest, ThePortBoxLeavesAGapAfterTheNameAndIsEmptyWithoutRoomForFourCharacters) {
  StatusGeometry g;
  g.lower = {100, 50, 600, 80};
  g.fontAverageWidth = 10;
  EXPECT_EQ(ComputeStatusPortBox(g, 0), (EdgeRect{100, 50, 600, 80})) << "no name: the whole half";
  EXPECT_EQ(ComputeStatusPortBox(g, 200), (EdgeRect{320, 50, 600, 80})) << "two average characters of gap";
  EXPECT_EQ(ComputeStatusPortBox(g, 340), (EdgeRect{460, 50, 600, 80}));
  EXPECT_EQ(ComputeStatusPortBox(g, 440), (EdgeRect{560, 50, 600, 80})) << "exactly four characters left";
  EXPECT_EQ(ComputeStatusPortBox(g, 441).Width(), 0);
  EXPECT_EQ(ComputeStatusPortBox(g, INT_MAX).Width(), 0) << "no overflow";
}

}  // namespace
}  // namespace vqx::desktop
