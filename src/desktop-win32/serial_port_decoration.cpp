#include "serial_port_decoration.h"

#include <commctrl.h>

#include "control_mapping.h"
#include "host_serial_choice.h"
#include "port_name_suggestions.h"
#include "window/control_ids.h"

namespace vqx::win32 {
namespace {

void AddPortsTip(HWND dialog, const std::vector<std::string>& ports) {
  if (ports.empty()) return;
  std::string text = "Serial ports found:";
  for (const std::string& port : ports) text += "\r\n" + port;
  const std::wstring wide = WidenLatin1(text.c_str());
  const HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
  if (tip == nullptr) return;
  TOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = dialog;
  tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(dialog, ids::kSerialPortName));
  tool.lpszText = const_cast<wchar_t*>(wide.c_str());
  SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, 400);  // several lines
  SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

}  // namespace

void DecorateSerialPortDialog(HWND dialog, const std::vector<std::string>& portsFound) {
  SendDlgItemMessageW(dialog, ids::kSerialPortName, EM_LIMITTEXT, desktop::kPortNameCapacity, 0);
  AddPortsTip(dialog, portsFound);
  SuggestNames(GetDlgItem(dialog, ids::kSerialPortName), portsFound);
}

}  // namespace vqx::win32
