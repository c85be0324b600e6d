#include "status_geometry.h"

#include <algorithm>
#include <cmath>

namespace vqx::desktop {
namespace {

int Scaled(int edge, double factor) { return static_cast<int>(std::trunc(edge * factor)); }

}  // namespace

StatusGeometry ComputeStatusGeometry(const EdgeRect& groupBox) {
  const int left = Scaled(groupBox.left, 2.0);
  const int top = Scaled(groupBox.top, 2.8);
  const int right = Scaled(groupBox.right, 0.9);
  const int bottom = Scaled(groupBox.bottom, 0.9);
  const int middle = static_cast<int>(std::trunc((top + bottom) / 2.0));

  StatusGeometry g;
  g.area = {left, top, right, bottom};
  g.upper = {left, top, right, middle};
  g.lower = {left, middle, right, bottom};
  g.fontHeight = std::max(1, static_cast<int>(std::trunc(0.92 * g.upper.Height())));
  g.fontAverageWidth = std::max(1, static_cast<int>(std::trunc(g.upper.Width() / 50.0)));
  return g;
}

EdgeRect ComputeStatusPortBox(const StatusGeometry& g, int nameLineWidth) {
  const int gap = nameLineWidth > 0 ? 2 * g.fontAverageWidth : 0;
  // Computed in 64 bits: a name line's width is whatever the font makes of it.
  const long long left = static_cast<long long>(g.lower.left) + std::max(nameLineWidth, 0) + gap;
  if (left + 4LL * g.fontAverageWidth > g.lower.right) return {};
  return {static_cast<int>(left), g.lower.top, g.lower.right, g.lower.bottom};
}

}  // namespace vqx::desktop
