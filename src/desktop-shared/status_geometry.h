#pragma once

namespace vqx::desktop {

// A rectangle the way a RECT holds it: right and bottom exclusive.
struct EdgeRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const EdgeRect&) const = default;
};

// Where the status panel draws, from the "Status" group box's rectangle in the window's
// client coordinates: each edge is scaled (left x 2, top x 2.8, right x 0.9, bottom x 0.9)
// and every product cut toward zero; the upper half holds the sentence, the lower half
// the unit's name. The font is 0.92 x the upper half's height tall and a fiftieth of its
// width wide on average (each at least 1), weight 600.
// The lower half also holds the port line at its right end (ComputeStatusPortBox).
struct StatusGeometry {
  EdgeRect area;
  EdgeRect upper;
  EdgeRect lower;
  int fontHeight = 1;
  int fontAverageWidth = 1;
};
inline constexpr int kStatusFontWeight = 600;

StatusGeometry ComputeStatusGeometry(const EdgeRect& groupBox);

// Where the port line goes: the lower half from the end of the name line (nameLineWidth
// pixels from its left edge; 0 for no name line) plus a gap of two average characters, to
// the right edge, so that it never covers the name. Empty (the port line is not drawn)
// when fewer than four average characters are left: an ellipsis and a character or two
// name no port.
EdgeRect ComputeStatusPortBox(const StatusGeometry& g, int nameLineWidth);

// The status colours, red, green, blue.
struct Rgb {
  unsigned char r, g, b;
};
inline constexpr Rgb kStatusSentenceRgb{30, 100, 50};
inline constexpr Rgb kStatusNameRgb{30, 50, 100};
// A muted grey: the port is a detail beside the unit's name, not news.
inline constexpr Rgb kStatusPortRgb{100, 100, 100};

}  // namespace vqx::desktop
