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

}  // namespace vqx::desktop
