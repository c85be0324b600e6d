#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include "status_geometry.h"

class QPainter;

namespace vqx::desktop {

// Where and how the status panel draws: the area inside the "Status" group box, its
// upper half for the sentence and its lower half for the unit's name, and the large
// font that fills the upper half.
struct StatusLayout {
  QRect area;
  QRect upper;
  QRect lower;
  QFont font;
  StatusGeometry geometry;  // the same in edges, for the port line's box
};

// From the group box's rectangle in the window's client coordinates. Each edge is
// scaled (left x 2, top x 2.8, right x 0.9, bottom x 0.9) and every product is cut
// toward zero; the font is 0.92 x the upper half's height tall and a fiftieth of its
// width wide on average, weight 600, a plain sans-serif.
StatusLayout ComputeStatusLayout(const QRect& groupBox);

inline const QColor kStatusSentenceColour{kStatusSentenceRgb.r, kStatusSentenceRgb.g, kStatusSentenceRgb.b};
inline const QColor kStatusNameColour{kStatusNameRgb.r, kStatusNameRgb.g, kStatusNameRgb.b};
inline const QColor kStatusPortColour{kStatusPortRgb.r, kStatusPortRgb.g, kStatusPortRgb.b};

// Clears the area to the button face and draws the sentence and, when not empty, the
// name line, each from the top left of its half and clipped to it; then the port line,
// when not empty, right-aligned in the lower half between the end of the name line and
// the right edge (ComputeStatusPortBox), elided in the middle so that a serial server's
// host:port stays readable, and left out where there is no room.
void PaintStatus(QPainter& painter, const StatusLayout& layout, const QString& sentence, const QString& nameLine,
                 const QString& portLine, const QColor& buttonFace);

}  // namespace vqx::desktop
