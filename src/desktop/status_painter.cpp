#include "status_painter.h"

#include <algorithm>
#include <cmath>

#include <QFontMetrics>
#include <QPainter>

namespace vqx::desktop {
namespace {

int Scaled(int edge, double factor) { return static_cast<int>(std::trunc(edge * factor)); }

// Between two points the way a RECT holds them (right and bottom exclusive).
QRect FromEdges(int left, int top, int right, int bottom) { return {left, top, right - left, bottom - top}; }

}  // namespace

StatusLayout ComputeStatusLayout(const QRect& groupBox) {
  const int left = Scaled(groupBox.left(), 2.0);
  const int top = Scaled(groupBox.top(), 2.8);
  const int right = Scaled(groupBox.left() + groupBox.width(), 0.9);
  const int bottom = Scaled(groupBox.top() + groupBox.height(), 0.9);
  const int middle = static_cast<int>(std::trunc((top + bottom) / 2.0));

  StatusLayout layout;
  layout.area = FromEdges(left, top, right, bottom);
  layout.upper = FromEdges(left, top, right, middle);
  layout.lower = FromEdges(left, middle, right, bottom);

  const int height = std::max(1, static_cast<int>(std::trunc(0.92 * layout.upper.height())));
  const int averageWidth = std::max(1, static_cast<int>(std::trunc(layout.upper.width() / 50.0)));
  QFont font;
  font.setStyleHint(QFont::SansSerif);
  font.setFamily(QStringLiteral("Sans Serif"));
  font.setPixelSize(height);
  font.setWeight(QFont::DemiBold);  // 600
  // The requested average width: stretch the font's own to it.
  const int natural = QFontMetrics(font).averageCharWidth();
  if (natural > 0) font.setStretch(std::clamp(averageWidth * 100 / natural, 1, 4000));
  layout.font = font;
  return layout;
}

void PaintStatus(QPainter& painter, const StatusLayout& layout, const QString& sentence, const QString& nameLine,
                 const QColor& buttonFace) {
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
  painter.restore();
}

}  // namespace vqx::desktop
