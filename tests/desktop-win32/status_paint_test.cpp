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

// Where one colour's pixels are.
struct Spread {
  int count = 0, outsideLower = 0, left = INT_MAX, right = -1;
};

Spread SpreadOf(const Painted& image, desktop::Rgb colour, const desktop::EdgeRect& lower) {
  Spread s;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      if (image.At(x, y) != Pixel(colour)) continue;
      ++s.count;
      if (!Inside(lower, x, y)) ++s.outsideLower;
      s.left = std::min(s.left, x);
      s.right = std::max(s.right, x);
    }
  }
  return s;
}

// The pixels of the rows [top, bottom) in the columns [from, to).
std::vector<uint32_t> Block(const Painted& image, int top, int bottom, int from, int to) {
  std::vector<uint32_t> out;
  for (int y = top; y < bottom; ++y) {
    for (int x = from; x < to; ++x) out.push_back(image.At(x, y));
  }
  return out;
}

const std::string kSentence = "VQX-2 connected to Relay North";
const std::string kLongPort = "Port: rfc2217://" + std::string(60, 'h') + ":4001";

TEST(StatusPaintTest, ThePortLineStaysRightOfTheNameInTheLowerHalfAndLeavesTheNameAsItWas) {
  testing::TestDialog dialog(MainDialogTemplate());
  const desktop::StatusGeometry g = GeometryOf(dialog.Window());
  int drawn = 0;
  // From a short name to one of 30 wide letters, which leaves little room or none.
  for (int length : {1, 10, 20, 30}) {
    const std::string name = "Name: " + std::string(static_cast<size_t>(length), 'e') +
                             std::string(static_cast<size_t>(length / 3), 'M');
    const Painted image = PaintOnBlack(dialog.Window(), kSentence, name, kLongPort);
    const Painted without = PaintOnBlack(dialog.Window(), kSentence, name, "");
    const Spread named = SpreadOf(image, desktop::kStatusNameRgb, g.lower);
    const Spread port = SpreadOf(image, desktop::kStatusPortRgb, g.lower);
    ASSERT_GT(named.count, 50) << length;
    // The name line is where it was without a port line, pixel for pixel.
    EXPECT_EQ(Block(image, g.lower.top, g.lower.bottom, g.lower.left, named.right + 1),
              Block(without, g.lower.top, g.lower.bottom, g.lower.left, named.right + 1))
        << length;
    EXPECT_EQ(SpreadOf(without, desktop::kStatusNameRgb, g.lower).count, named.count) << length;
    if (port.count == 0) continue;
    ++drawn;
    EXPECT_EQ(port.outsideLower, 0) << length;
    EXPECT_GT(port.left, named.right + g.fontAverageWidth) << length << ": a gap before the port";
    EXPECT_LT(port.right, g.lower.right) << length;
  }
  EXPECT_GE(drawn, 3) << "names that leave room show the port";
  // 80 characters fill the half: no room is left, and nothing is squeezed in.
  const Painted full = PaintOnBlack(dialog.Window(), kSentence, "Name: " + std::string(80, 'M'), kLongPort);
  EXPECT_EQ(SpreadOf(full, desktop::kStatusPortRgb, g.lower).count, 0);
}

// Cut at the end, or only clipped at the left, the line would lose what tells serial
// servers apart, or what it is.
TEST(StatusPaintTest, ALongPortNameIsShortenedInTheMiddleKeepingItsLabelAndItsHostAndPortEnd) {
  testing::TestDialog dialog(MainDialogTemplate());
  const desktop::StatusGeometry g = GeometryOf(dialog.Window());
  const std::string name = "Name: Tower 2";
  const Painted shortPort = PaintOnBlack(dialog.Window(), kSentence, name, "Port: rfc2217://h:4001");
  const Spread whole = SpreadOf(shortPort, desktop::kStatusPortRgb, g.lower);
  // "Port: r" and "h:4001" are each wider than this.
  const int end = 3 * g.fontAverageWidth;
  const auto shortHead = Block(shortPort, g.lower.top, g.lower.bottom, whole.left, whole.left + end);
  const auto shortTail = Block(shortPort, g.lower.top, g.lower.bottom, g.lower.right - end, g.lower.right);
  ASSERT_GT(std::count(shortHead.begin(), shortHead.end(), Pixel(desktop::kStatusPortRgb)), 20);
  ASSERT_GT(std::count(shortTail.begin(), shortTail.end(), Pixel(desktop::kStatusPortRgb)), 20);
  for (const std::string& host : {std::string(60, 'h'), "relay-north-" + std::string(30, 'h')}) {
    const Painted longPort = PaintOnBlack(dialog.Window(), kSentence, name, "Port: rfc2217://" + host + ":4001");
    const Spread fitted = SpreadOf(longPort, desktop::kStatusPortRgb, g.lower);
    ASSERT_GT(fitted.count, 50) << host;
    EXPECT_EQ(fitted.outsideLower, 0) << host;
    EXPECT_GT(fitted.left, SpreadOf(longPort, desktop::kStatusNameRgb, g.lower).right) << host;
    // Both begin with "Port: r" and end in "h:4001" at the right edge: the same pixels
    // there, whatever was left out between.
    EXPECT_EQ(Block(longPort, g.lower.top, g.lower.bottom, fitted.left, fitted.left + end), shortHead) << host;
    EXPECT_EQ(Block(longPort, g.lower.top, g.lower.bottom, g.lower.right - end, g.lower.right), shortTail) << host;
  }
}

TEST(StatusPaintTest, ElideMiddleKeepsAsMuchOfBothEndsAsFits) {
  const HDC dc = CreateCompatibleDC(nullptr);
  const HFONT font = CreateFontW(20, 8, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, L"Arial");
  const HGDIOBJ old = SelectObject(dc, font);
  const auto width = [&](const std::wstring& text) {
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return static_cast<int>(size.cx);
  };
  const std::wstring port = L"Port: socket://relay-north.example.net:4001";
  EXPECT_EQ(ElideMiddle(dc, port, width(port)), port) << "what fits stays whole";
  for (const int room : {width(port) - 1, width(port) / 2, width(L"Port: \x2026:4001"), width(L"P\x2026" L"1")}) {
    const std::wstring shown = ElideMiddle(dc, port, room);
    EXPECT_LE(width(shown), room) << room;
    const size_t cut = shown.find(L'\x2026');
    ASSERT_NE(cut, std::wstring::npos) << room;
    const std::wstring head = shown.substr(0, cut), tail = shown.substr(cut + 1);
    EXPECT_EQ(port.substr(0, head.size()), head) << room;
    EXPECT_EQ(port.substr(port.size() - tail.size()), tail) << room;
    EXPECT_LE(tail.size(), head.size()) << room;
    EXPECT_GE(tail.size() + 1, head.size()) << room << ": both ends alike";
    // The next character, taken from the shorter end (the head when both are alike), no
    // longer fits: no room is wasted.
    const std::wstring next = head.size() == tail.size()
                                  ? port.substr(0, head.size() + 1) + L'\x2026' + tail
                                  : head + L'\x2026' + port.substr(port.size() - tail.size() - 1);
    EXPECT_GT(width(next), room) << room;
  }
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteDC(dc);
}

TEST(StatusPaintTest, WithoutANameThePortLineIsDrawnAtTheRightEnd) {
  testing::TestDialog dialog(MainDialogTemplate());
  const desktop::StatusGeometry g = GeometryOf(dialog.Window());
  const Spread port = SpreadOf(PaintOnBlack(dialog.Window(), "Serial port not open", "", "Port: COM3"),
                               desktop::kStatusPortRgb, g.lower);
  ASSERT_GT(port.count, 20);
  EXPECT_EQ(port.outsideLower, 0);
  EXPECT_GE(port.right, g.lower.right - g.fontAverageWidth) << "right-aligned";
  EXPECT_GT(port.left, (g.lower.left + g.lower.right) / 2) << "a short port line is not drawn from the left";

  // A long one takes the whole half, and no more.
  const Spread whole = SpreadOf(PaintOnBlack(dialog.Window(), "Serial port not open", "", kLongPort),
                                desktop::kStatusPortRgb, g.lower);
  EXPECT_EQ(whole.outsideLower, 0);
  EXPECT_LT(whole.left, g.lower.left + 2 * g.fontAverageWidth);
}

}  // namespace
}  // namespace vqx::win32
