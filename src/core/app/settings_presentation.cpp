// How a setting is put into the Settings view: texts of edits and statics, list
// selections by text or by number, the security check boxes.

#include <cstdio>
#include <cstring>

#include "app/app_window.h"
#include "app/form_controls.h"

namespace vqx {

void CAppWindow::PresentSetting(const SettingRow& row, const DeviceSettings& s) {
  const int control = row.controls[0];
  char text[128];
  switch (row.shows) {
    case FormShows::Address: {
      const uint8_t* octets = BytesOf(s, row);
      for (size_t i = 0; i < 4; ++i) {
        std::snprintf(text, sizeof(text), "%d", octets[i]);
        surface_.SetText(row.controls[i], text);
      }
      return;
    }
    case FormShows::Number:
      std::snprintf(text, sizeof(text), "%d", NumberOf(s, row));
      surface_.SetText(control, text);
      return;
    case FormShows::ListNumber:
      // By the number's digits: 96 selects "9600", the first item that begins with them.
      std::snprintf(text, sizeof(text), "%d", NumberOf(s, row));
      surface_.SelectItemByPrefix(control, text);
      return;
    case FormShows::ListText:
      // A value without a text leaves the list as it was.
      if (const char* shown = ChoiceTextOf(row, NumberOf(s, row))) surface_.SelectItemByPrefix(control, shown);
      return;
    case FormShows::Text: {
      // Record fields may come from the preferences file without a terminator.
      const char* field = reinterpret_cast<const char*>(BytesOf(s, row));
      const void* end = std::memchr(field, '\0', row.size);
      const size_t length = end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - field) : row.size;
      std::snprintf(text, sizeof(text), "%s%.*s", row.prefix, static_cast<int>(length), field);
      surface_.SetText(control, text);
      return;
    }
    case FormShows::Security:
      // A set bit switches the feature off; the box says "Allow ...".
      for (const SecurityBox& box : kSecurityBoxes) {
        surface_.SetChecked(box.control, (s.securityFlags & box.bit) == 0);
      }
      return;
  }
}

}  // namespace vqx
