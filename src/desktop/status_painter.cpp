#include "status_painter.h"

#include <algorithm>

#include <QFontMetrics>
#include <QPainter>

namespace vqx::desktop {
namespace {

QRect ToQRect(const EdgeRect& r) { return {r.left, r.top, r.Width(), r.Height()}; }

}  // namespace

StatusLayout ComputeStatusLayout(const QRect& groupBox) {
  const StatusGeometry g = ComputeStatusGeometry(
      {groupBox.left(), groupBox.top(), groupBox.left() + groupBox.width(), groupBox.top() + groupBox.height()});
  StatusLayout layout;
  layout.area = ToQRect(g.area);
  layout.upper = ToQRect(g.upper);
  layout.lower = ToQRect(g.lower);
  layout.geometry = g;

  QFont font;
  font.setStyleHint(QFont::SansSerif);
  font.setFamily(QStringLiteral("Sans Serif"));
  font.setPixelSize(g.fontHeight);
  font.setWeight(QFont::DemiBold);  // 600
  // The requested average width: stretch the font's own to it.
  const int natural = QFontMetrics(font).averageCharWidth();
  if (natural > 0) font.setStretch(std::clamp(g.fontAverageWidth * 100 / natural, 1, 4000));
  layout.font = font;
  return layout;
}

void PaintStatus(QPainter& painter, const StatusLayout& layout, const QString& sentence, const QString& nameLine,
                 const QString& portLine, const QColor& buttonFace) {
  painter.save();
  painter.setPen(Qt::NoPen);
  painter.setBrush(buttonFace);
  painter.drawRect(layout.area);
  painter.setFont(layout.font);
  painter.setBackground(buttonFace);
  painter.setBackgroundMode(Qt::OpaqueMode);

  painter.setPen(kStatusSentenceColour);
  painter.setClipRect(layout.upper);
  painter.drawText(layout.upper, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, sentence);
  if (!nameLine.isEmpty()) {
    painter.setPen(kStatusNameColour);
    painter.setClipRect(layout.lower);
    painter.drawText(layout.lower, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, nameLine);
  }
  if (!portLine.isEmpty()) {
    const QFontMetrics metrics = painter.fontMetrics();
    const int nameWidth = nameLine.isEmpty() ? 0 : metrics.horizontalAdvance(nameLine);
    const QRect box = ToQRect(ComputeStatusPortBox(layout.geometry, nameWidth));
    if (box.width() > 0) {
      painter.setPen(kStatusPortColour);
      painter.setClipRect(box);
      painter.drawText(box, Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine,
                       metrics.elidedText(portLine, Qt::ElideMiddle, box.width()));
    }
  }
  painter.restore();
}

}  // namespace vqx::desktop
