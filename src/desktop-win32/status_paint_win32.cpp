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

int TextWidth(HDC dc, const std::string& text) {
  const std::wstring wide = WidenLatin1(text.c_str());
  SIZE size{};
  if (!GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size)) return 0;
  return size.cx;
}

void DrawPortLine(HDC dc, const desktop::StatusGeometry& g, const std::string& nameLine, const std::string& portLine) {
  // Measured as DrawLine draws it; a name line wider than the half leaves no room.
  const int nameWidth = nameLine.empty() ? 0 : TextWidth(dc, nameLine);
  const desktop::EdgeRect box = desktop::ComputeStatusPortBox(g, nameWidth);
  if (box.Width() <= 0) return;
  RECT rect = ToRect(box);
  const std::wstring wide = WidenLatin1(portLine.c_str());
  SetTextColor(dc, RGB(desktop::kStatusPortRgb.r, desktop::kStatusPortRgb.g, desktop::kStatusPortRgb.b));
  // DT_PATH_ELLIPSIS takes characters out before the last '/', keeping what follows it:
  // "host:4001" of rfc2217:// and socket:// names, the device of /dev/... names. The end
  // ellipsis would cut exactly that. A last part wider than the box is still drawn from
  // the right edge and clipped on the left, so its end shows.
  DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &rect,
            DT_RIGHT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS);
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

void PaintStatusPanel(HWND dialog, HDC dc, const std::string& sentence, const std::string& nameLine,
                      const std::string& portLine) {
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
  if (!portLine.empty()) DrawPortLine(dc, g, nameLine, portLine);
  RestoreDC(dc, saved);
  DeleteObject(font);
}

}  // namespace vqx::win32
