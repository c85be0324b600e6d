#include "status_paint_win32.h"

#include <optional>

#include "control_mapping.h"
#include "status_geometry.h"
#include "window/control_ids.h"

namespace vqx::win32 {
namespace {

RECT ToRect(const desktop::EdgeRect& r) { return {r.left, r.top, r.right, r.bottom}; }

void DrawLine(HDC dc, const desktop::EdgeRect& half, const std::string& text, desktop::Rgb colour) {
  RECT rect = ToRect(half);
  const std::wstring wide = WidenLatin1(text.c_str());
  SetTextColor(dc, RGB(colour.r, colour.g, colour.b));
  DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &rect, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
}

std::optional<desktop::StatusGeometry> GeometryOf(HWND dialog) {
  const HWND box = GetDlgItem(dialog, ids::kStatusGroup);
  if (box == nullptr) return std::nullopt;
  RECT boxRect;
  GetWindowRect(box, &boxRect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&boxRect), 2);
  return desktop::ComputeStatusGeometry({boxRect.left, boxRect.top, boxRect.right, boxRect.bottom});
}

}  // namespace

RECT StatusPanelArea(HWND dialog) {
  const auto g = GeometryOf(dialog);
  return g ? ToRect(g->area) : RECT{0, 0, 0, 0};
}

void PaintStatusPanel(HWND dialog, HDC dc, const std::string& sentence, const std::string& nameLine) {
  const auto geometry = GeometryOf(dialog);
  if (!geometry) return;
  const desktop::StatusGeometry& g = *geometry;

  const RECT area = ToRect(g.area);
  FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
  const HFONT font = CreateFontW(g.fontHeight, g.fontAverageWidth, 0, 0, desktop::kStatusFontWeight, FALSE, FALSE,
                                 FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 VARIABLE_PITCH | FF_SWISS, L"Arial");
  const int saved = SaveDC(dc);
  SelectObject(dc, font);
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  SetBkMode(dc, OPAQUE);
  DrawLine(dc, g.upper, sentence, desktop::kStatusSentenceRgb);
  if (!nameLine.empty()) DrawLine(dc, g.lower, nameLine, desktop::kStatusNameRgb);
  RestoreDC(dc, saved);
  DeleteObject(font);
}

}  // namespace vqx::win32
