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

int TextWidth(HDC dc, const std::wstring& text) {
  SIZE size{};
  if (!GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size)) return 0;
  return size.cx;
}

// The first (kept + 1) / 2 characters, an ellipsis, the last kept / 2.
std::wstring KeepEnds(const std::wstring& text, size_t kept) {
  const size_t head = (kept + 1) / 2;
  return text.substr(0, head) + L'\x2026' + text.substr(text.size() - kept / 2);
}

void DrawPortLine(HDC dc, const desktop::StatusGeometry& g, const std::string& nameLine, const std::string& portLine) {
  // Measured as DrawLine draws it; a name line wider than the half leaves no room.
  const int nameWidth = nameLine.empty() ? 0 : TextWidth(dc, WidenLatin1(nameLine.c_str()));
  const desktop::EdgeRect box = desktop::ComputeStatusPortBox(g, nameWidth);
  if (box.Width() <= 0) return;
  RECT rect = ToRect(box);
  const std::wstring shown = ElideMiddle(dc, WidenLatin1(portLine.c_str()), box.Width());
  SetTextColor(dc, RGB(desktop::kStatusPortRgb.r, desktop::kStatusPortRgb.g, desktop::kStatusPortRgb.b));
  DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &rect, DT_RIGHT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
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

std::wstring ElideMiddle(HDC dc, const std::wstring& text, int width) {
  if (TextWidth(dc, text) <= width) return text;
  // The most characters kept that fit: each one more only widens the text.
  size_t fits = 0, tooMany = text.size();
  while (tooMany - fits > 1) {
    const size_t kept = fits + (tooMany - fits) / 2;
    if (TextWidth(dc, KeepEnds(text, kept)) <= width) {
      fits = kept;
    } else {
      tooMany = kept;
    }
  }
  return KeepEnds(text, fits);
}

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
