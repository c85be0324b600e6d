#include "dialog_units.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QStringList>

namespace vqx::desktop {
namespace {

constexpr int kSubstituteStretch = 92;  // percent

// Like the Win32 MulDiv: rounded to the nearest, halves away from zero.
int MulDivRounded(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

void RegisterSubstitutes() {
  static const bool done = [] {
    const QStringList near{"Microsoft Sans Serif", "Liberation Sans", "Arimo", "Arial", "Helvetica",
                           "DejaVu Sans"};
    QFont::insertSubstitutions("MS Sans Serif", near);
    QFont::insertSubstitutions("MS Shell Dlg", near);
    return true;
  }();
  (void)done;
}

}  // namespace

DialogUnits::DialogUnits(const char* fontName, int pointSize) {
  RegisterSubstitutes();
  font_ = QFont(QString::fromLatin1(fontName), pointSize);
  font_.setStyleHint(QFont::SansSerif);
  const QFontMetrics metrics(font_);
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  baseX_ = std::max(1, (letters / 26 + 1) / 2);
  baseY_ = std::max(1, metrics.height());
  // The substitutes draw capitals wider than the original face, so labels laid out for it
  // would be cut; the controls' text is drawn a little narrower on the same base units.
  if (!QFontInfo(font_).exactMatch()) font_.setStretch(kSubstituteStretch);
}

int DialogUnits::X(int dialogUnits) const { return MulDivRounded(dialogUnits, baseX_, 4); }
int DialogUnits::Y(int dialogUnits) const { return MulDivRounded(dialogUnits, baseY_, 8); }

QRect DialogUnits::ToPixels(int x, int y, int width, int height) const {
  return {X(x), Y(y), X(width), Y(height)};
}

}  // namespace vqx::desktop
