// The status panel painted with GDI inside the "Status" group box.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <climits>
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

Painted PaintOnBlack(HWND dialog, const std::string& sentence, const std::string& name, const std::string& port) {
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
  PaintStatusPanel(dialog, dc, sentence, name, port);
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
  const Painted image = PaintOnBlack(dialog.Window(), std::string(80, 'W'), "Name: " + std::string(80, 'M'), "");

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
  const Painted image = PaintOnBlack(dialog.Window(), "Serial port not open", "", "");
  int named = 0;
  for (const uint32_t c : image.pixels) named += c == Pixel(desktop::kStatusNameRgb) ? 1 : 0;
  EXPECT_EQ(named, 0);
}

desktop::StatusGeometry GeometryOf(HWND dialog) {
  RECT box;
  GetWindowRect(GetDlgItem(dialog, ids::kStatusGroup), &box);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&box), 2);
  return desktop::ComputeStatusGeometry({box.left, box.top, box.right, box.bottom});
}

// One colour's pixels: how many, how many outside the lower half, the outermost columns.
struct Spread {
  int count = 0, outsideLower = 0, left = INT_MAX, right = -1;
};

Spread SpreadOf(const Painted& image, desktop::Rgb colour, const desktop::EdgeRect& lower) {
  Spread s;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      if (image.At(x, y) != Pixel(colour)) continue;
      s = {s.count + 1, s.outsideLower + (Inside(lower, x, y) ? 0 : 1), std::min(s.left, x), std::max(s.right, x)};
    }
  }
  return s;
}

// The lower half's pixels in the columns [from, to).
std::vector<uint32_t> LowerColumns(const Painted& image, const desktop::EdgeRect& lower, int from, int to) {
  std::vector<uint32_t> out;
  for (int y = lower.top; y < lower.bottom; ++y) {
    for (int x = from; x < to; ++x) out.push_back(image.At(x, y));
  }
  return out;
}

const std::string kSentence = "VQX-2 connected to Relay North";

TEST(StatusPaintTest, ThePortLineIsRightOfTheNameInTheLowerHalfOrNotDrawnAndTheNameStaysPut) {
  testing::TestDialog dialog(MainDialogTemplate());
  const desktop::StatusGeometry g = GeometryOf(dialog.Window());
  const std::string port = "Port: rfc2217://" + std::string(60, 'h') + ":4001";
  for (const std::string& name :
       {std::string("Name: Tower 2"), "Name: " + std::string(30, 'e'), "Name: " + std::string(80, 'M')}) {
    const Painted image = PaintOnBlack(dialog.Window(), kSentence, name, port);
    const Spread named = SpreadOf(image, desktop::kStatusNameRgb, g.lower);
    const Spread ported = SpreadOf(image, desktop::kStatusPortRgb, g.lower);
    EXPECT_EQ(LowerColumns(image, g.lower, g.lower.left, named.right + 1),
              LowerColumns(PaintOnBlack(dialog.Window(), kSentence, name, ""), g.lower, g.lower.left, named.right + 1));
    EXPECT_EQ(ported.outsideLower, 0);
    if (name.size() > 60) {
      EXPECT_EQ(ported.count, 0) << "a name filling the half leaves no room";
    } else {
      EXPECT_GT(ported.count, 50);
      EXPECT_GT(ported.left, named.right + g.fontAverageWidth) << "a gap after the name";
    }
  }
  const Spread alone =
      SpreadOf(PaintOnBlack(dialog.Window(), kSentence, "", "Port: COM3"), desktop::kStatusPortRgb, g.lower);
  EXPECT_GT(alone.count, 20);
  EXPECT_GE(alone.right, g.lower.right - g.fontAverageWidth) << "without a name it still ends at the right";
  EXPECT_GT(alone.left, (g.lower.left + g.lower.right) / 2);
}

// Cut at the end, or only clipped at the left, the line would lose what tells serial
// servers apart, or what it is.
TEST(StatusPaintTest, ALongPortNameIsShortenedInTheMiddleKeepingItsLabelAndItsHostAndPortEnd) {
  testing::TestDialog dialog(MainDialogTemplate());
  const desktop::StatusGeometry g = GeometryOf(dialog.Window());
  const std::string name = "Name: Tower 2";
  const Painted shortPort = PaintOnBlack(dialog.Window(), kSentence, name, "Port: rfc2217://h:4001");
  const int start = SpreadOf(shortPort, desktop::kStatusPortRgb, g.lower).left;
  const int end = 3 * g.fontAverageWidth;  // "Port: r" and "h:4001" are each wider
  const auto shortHead = LowerColumns(shortPort, g.lower, start, start + end);
  const auto shortTail = LowerColumns(shortPort, g.lower, g.lower.right - end, g.lower.right);
  ASSERT_GT(std::count(shortHead.begin(), shortHead.end(), Pixel(desktop::kStatusPortRgb)), 20);
  ASSERT_GT(std::count(shortTail.begin(), shortTail.end(), Pixel(desktop::kStatusPortRgb)), 20);
  for (const std::string& host : {std::string(60, 'h'), "relay-north-" + std::string(30, 'h')}) {
    const Painted image = PaintOnBlack(dialog.Window(), kSentence, name, "Port: rfc2217://" + host + ":4001");
    const Spread fitted = SpreadOf(image, desktop::kStatusPortRgb, g.lower);
    // Both begin with "Port: r" and end in "h:4001" at the right edge: the same pixels
    // there, whatever was left out between.
    EXPECT_EQ(LowerColumns(image, g.lower, fitted.left, fitted.left + end), shortHead) << host;
    EXPECT_EQ(LowerColumns(image, g.lower, g.lower.right - end, g.lower.right), shortTail) << host;
  }
}

}  // namespace
}  // namespace vqx::win32
