// The status panel painted with GDI inside the "Status" group box.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>

#include "status_geometry.h"
#include "status_paint_win32.h"
#include "test_dialog.h"
#include "window/control_ids.h"
#include "window/dialog_template.h"

namespace vqx::win32 {
namespace {

struct Painted {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

Painted PaintOnBlack(HWND dialog, const std::string& sentence, const std::string& name) {
  RECT client;
  GetClientRect(dialog, &client);
  Painted out;
  out.width = client.right;
  out.height = client.bottom;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = out.width;
  info.bmiHeader.biHeight = -out.height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const HDC screen = GetDC(nullptr);
  const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HDC dc = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  const HGDIOBJ old = SelectObject(dc, bitmap);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  PaintStatusPanel(dialog, dc, sentence, name);
  GdiFlush();
  const auto* p = static_cast<const uint32_t*>(bits);
  out.pixels.assign(p, p + out.width * out.height);
  for (uint32_t& px : out.pixels) px &= 0x00FFFFFF;
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bitmap);
  return out;
}

uint32_t Pixel(desktop::Rgb c) { return (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b; }

bool Inside(const desktop::EdgeRect& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

TEST(StatusPaintTest, TheSentenceAndNameAreDrawnInTheirHalvesAndNothingOutsideTheArea) {
  testing::TestDialog dialog(MainDialogTemplate());
  RECT box;
  GetWindowRect(GetDlgItem(dialog.Window(), ids::kStatusGroup), &box);
  MapWindowPoints(nullptr, dialog.Window(), reinterpret_cast<POINT*>(&box), 2);
  const desktop::StatusGeometry g = desktop::ComputeStatusGeometry({box.left, box.top, box.right, box.bottom});
  // Longer than the halves are wide: clipping must hold them.
  const Painted image = PaintOnBlack(dialog.Window(), std::string(80, 'W'), "Name: " + std::string(80, 'M'));

  int outside = 0, sentenceUpper = 0, sentenceLower = 0, nameLower = 0, nameUpper = 0;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const uint32_t c = image.At(x, y);
      if (!Inside(g.area, x, y)) {
        if (c != 0) ++outside;
        continue;
      }
      if (c == Pixel(desktop::kStatusSentenceRgb)) ++(Inside(g.upper, x, y) ? sentenceUpper : sentenceLower);
      if (c == Pixel(desktop::kStatusNameRgb)) ++(Inside(g.lower, x, y) ? nameLower : nameUpper);
    }
  }
  EXPECT_EQ(outside, 0) << "nothing is drawn outside the status area";
  EXPECT_GT(sentenceUpper, 50);
  EXPECT_EQ(sentenceLower, 0);
  EXPECT_GT(nameLower, 50);
  EXPECT_EQ(nameUpper, 0);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  EXPECT_EQ(image.At(g.area.right - 1, g.area.bottom - 1),
            (uint32_t{GetRValue(face)} << 16) | (uint32_t{GetGValue(face)} << 8) | GetBValue(face))
      << "the area is cleared to the button face";
}

TEST(StatusPaintTest, AnEmptyNameLineLeavesTheLowerHalfClear) {
  testing::TestDialog dialog(MainDialogTemplate());
  const Painted image = PaintOnBlack(dialog.Window(), "Serial port not open", "");
  int named = 0;
  for (const uint32_t c : image.pixels) named += c == Pixel(desktop::kStatusNameRgb) ? 1 : 0;
  EXPECT_EQ(named, 0);
}

}  // namespace
}  // namespace vqx::win32
