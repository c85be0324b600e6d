#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace vqx::desktop {

// Dialog units to pixels for a template's font, computed the way the dialog manager
// does it: the horizontal base unit is the average width of the 52 Latin letters, the
// vertical one the font's height; x and width are in quarters of the first, y and
// height in eighths of the second.
class DialogUnits {
 public:
  // The template's font, or the nearest this platform has ("MS Sans Serif" is looked up
  // through substitutes that share its proportions).
  DialogUnits(const char* fontName, int pointSize);
  // For tests and odd fonts: fixed base units.
  DialogUnits(const QFont& font, int baseX, int baseY) : font_(font), baseX_(baseX), baseY_(baseY) {}

  const QFont& Font() const { return font_; }
  int BaseX() const { return baseX_; }
  int BaseY() const { return baseY_; }
  int X(int dialogUnits) const;
  int Y(int dialogUnits) const;
  QRect ToPixels(int x, int y, int width, int height) const;
  QSize ToPixels(int width, int height) const { return {X(width), Y(height)}; }

 private:
  QFont font_;
  int baseX_ = 6;
  int baseY_ = 13;
};

}  // namespace vqx::desktop
