#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vqx {

enum class ControlKind { Static, Edit, Button, ComboBox, ListBox };

// Which view's switch shows and hides a control; All is never switched.
enum class ControlView { All, Settings, Terminal, History };

// Style flags, as the template gives them; a front-end maps them to its widgets.
enum ControlStyle : uint32_t {
  kStyleNone = 0,
  kStyleTabStop = 1u << 0,
  kStyleGroupStart = 1u << 1,
  kStyleBorder = 1u << 2,
  kStyleVScroll = 1u << 3,
  kStyleHScroll = 1u << 4,
  kStyleAutoHScroll = 1u << 5,
  kStyleMultiLine = 1u << 6,
  kStyleReadOnly = 1u << 7,
  kStyleDigitsOnly = 1u << 8,
  kStylePushButton = 1u << 9,
  kStyleDefaultPushButton = 1u << 10,
  kStyleAutoRadioButton = 1u << 11,
  kStylePushLike = 1u << 12,
  kStyleNotify = 1u << 13,
  kStyleAutoCheckBox = 1u << 14,
  kStyleGroupBox = 1u << 15,
  kStyleDropDownList = 1u << 16,
  kStyleNoIntegralHeight = 1u << 17,
  kStyleAlignLeft = 1u << 18,
  kStyleAlignRight = 1u << 19,
  kStyleAlignCenter = 1u << 20,
  kStyleVCenter = 1u << 21,
};

// Position and size in dialog units of the template's font.
struct ControlTemplate {
  int id;  // -1 for the one control without an id (the "Views" group box)
  ControlKind kind;
  const char* text;
  int x, y, width, height;
  uint32_t style;
  ControlView view;
};

struct DialogTemplate {
  int id;
  const char* caption;
  const char* fontName;
  int fontPointSize;
  int width, height;  // dialog units
  std::span<const ControlTemplate> controls;  // template order = tab order
};

struct MenuItemTemplate {
  const char* text;  // nullptr for a separator
  int id;            // 0 for a separator
  bool greyed;
};

struct MenuPopupTemplate {
  const char* text;
  std::span<const MenuItemTemplate> items;
};

// Dialog template 101: the main window with the 97 controls of its three views.
const DialogTemplate& MainDialogTemplate();
// Menu MENU1: "&File" and "&Help".
std::span<const MenuPopupTemplate> MainMenuTemplate();
// Dialog DLGSERIAL: the serial port dialog.
const DialogTemplate& SerialPortDialogTemplate();

// The controls each view's switch shows and hides, in switching order.
std::span<const int> SettingsViewControls();  // 77 controls, "(via DHCP)" not among them
std::span<const int> TerminalViewControls();  // 6
std::span<const int> HistoryViewControls();   // 8

// Items the window fills into a drop-down list at creation, in order (empty for others).
std::span<const char* const> InitialListItems(int controlId);
// The same for DLGSERIAL's drop-down lists (its ids overlap the main window's).
std::span<const char* const> SerialDialogListItems(int controlId);

// The About box.
extern const char* const kAboutText;

}  // namespace vqx
