#include "serial_port_dialog_win32.h"

#include <commctrl.h>

#include <string>

#include "control_mapping.h"
#include "dialog_builder.h"
#include "port_name_suggestions.h"
#include "serial_choice_texts.h"
#include "window/control_ids.h"
#include "window/dialog_template.h"

namespace vqx::win32 {
namespace {

constexpr int kSerialLists[] = {ids::kSerialBaudRate, ids::kSerialDataBits, ids::kSerialStopBits, ids::kSerialParity};

struct DialogState {
  HostSerialChoice stored;
  SerialPortDialogHooks hooks;
  bool detecting = false;
  bool applying = false;  // apply runs, perhaps with its warning up over the dialog
};

void SetSearching(HWND dialog, DialogState& state, bool searching) {
  state.detecting = searching;
  for (const int id : {IDOK, ids::kSerialDetect, ids::kSerialPortName}) {
    EnableWindow(GetDlgItem(dialog, id), searching ? FALSE : TRUE);
  }
}

void StartDetection(HWND dialog, DialogState& state) {
  if (state.detecting || !state.hooks.startDetection) return;
  const std::string portName = ReadSerialPortChoice(dialog).portName;
  const desktop::DetectPress press = desktop::PressDetect(portName);
  if (!press.start) {
    ShowDetectionProgress(dialog, press.text);
    return;
  }
  SetSearching(dialog, state, true);
  // The focus leaves the greyed buttons for Cancel, which stops the search.
  SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDCANCEL)), TRUE);
  ShowDetectionProgress(dialog, press.text);
  state.hooks.startDetection(portName);
}

void SelectByText(HWND dialog, int id, const std::string& text) {
  const std::wstring wide = WidenLatin1(text.c_str());
  const LRESULT found = SendDlgItemMessageW(dialog, id, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                            reinterpret_cast<LPARAM>(wide.c_str()));
  SendDlgItemMessageW(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(found == CB_ERR ? -1 : found), 0);
}

std::string SelectedText(HWND dialog, int id) {
  const LRESULT selected = SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
  if (selected == CB_ERR) return {};
  const LRESULT length = SendDlgItemMessageW(dialog, id, CB_GETLBTEXTLEN, static_cast<WPARAM>(selected), 0);
  if (length == CB_ERR) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return NarrowToLatin1(text);
}

// Selected by their texts; a rate not in the list selects none.
void SelectChoice(HWND dialog, const HostSerialChoice& choice) {
  SelectByText(dialog, ids::kSerialBaudRate, desktop::BaudRateText(choice.baudRate));
  SelectByText(dialog, ids::kSerialDataBits, desktop::DataBitsText(choice.dataBits));
  SelectByText(dialog, ids::kSerialStopBits, desktop::StopBitsText(choice.stopBits));
  SelectByText(dialog, ids::kSerialParity, desktop::ParityText(choice.parity));
}

void Fill(HWND dialog, const HostSerialChoice& stored) {
  for (const int id : kSerialLists) {
    for (const char* item : SerialDialogListItems(id)) {
      SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WidenLatin1(item).c_str()));
    }
  }
  SendDlgItemMessageW(dialog, ids::kSerialPortName, EM_LIMITTEXT, kPortNameCapacity, 0);
  SetDlgItemTextW(dialog, ids::kSerialPortName, WidenLatin1(stored.portName.c_str()).c_str());
  SelectChoice(dialog, stored);
}

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

INT_PTR CALLBACK SerialDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      state = reinterpret_cast<DialogState*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      Fill(dialog, state->stored);
      AddPortsTip(dialog, state->hooks.portsFound);
      SuggestNames(GetDlgItem(dialog, ids::kSerialPortName), state->hooks.portsFound);
      if (!state->hooks.startDetection) EnableWindow(GetDlgItem(dialog, ids::kSerialDetect), FALSE);
      if (state->hooks.detectAtOnce) {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(ids::kSerialDetect, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, ids::kSerialDetect)));
      }
      if (state->hooks.opened) state->hooks.opened(dialog);
      const HWND name = GetDlgItem(dialog, ids::kSerialPortName);
      SetFocus(name);
      SendMessageW(name, EM_SETSEL, 0, -1);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      if (state == nullptr || HIWORD(wParam) != BN_CLICKED) break;
      // A click posted while apply's warning is up comes through the box's own loop: it
      // would end or search the dialog under the choice being applied.
      if (state->applying) return TRUE;
      if (LOWORD(wParam) == ids::kSerialDetect) {
        StartDetection(dialog, *state);
        return TRUE;
      }
      if (LOWORD(wParam) == IDOK) {
        if (state->detecting) return TRUE;  // the search holds the port
        // Otherwise the warning has been shown over the dialog, which stays open.
        state->applying = true;
        const bool opened = !state->hooks.apply || state->hooks.apply(ReadSerialPortChoice(dialog));
        state->applying = false;
        if (opened) EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        if (state->detecting) {
          ShowDetectionProgress(dialog, desktop::kStoppingSearchText);
          if (state->hooks.cancelDetection) state->hooks.cancelDetection();
          return TRUE;
        }
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
    case WM_DESTROY:
      if (state != nullptr && state->hooks.closed) state->hooks.closed();
      break;
    default: break;
  }
  return FALSE;
}

}  // namespace

void ShowDetectionProgress(HWND dialog, const std::string& text) {
  SetDlgItemTextW(dialog, ids::kSerialDetectStatus, WidenLatin1(text.c_str()).c_str());
}

void DetectionEnded(HWND dialog, const HostSerialChoice* found, const std::string& text) {
  auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (state != nullptr) SetSearching(dialog, *state, false);
  ShowDetectionProgress(dialog, text);
  if (found == nullptr) return;
  SelectChoice(dialog, *found);
  SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDOK)), TRUE);
}

HostSerialChoice ReadSerialPortChoice(HWND dialog) {
  wchar_t name[kPortNameCapacity + 1] = {};
  GetDlgItemTextW(dialog, ids::kSerialPortName, name, kPortNameCapacity + 1);
  return desktop::ChoiceFromTexts(NarrowToLatin1(name), SelectedText(dialog, ids::kSerialBaudRate),
                                  SelectedText(dialog, ids::kSerialDataBits), SelectedText(dialog, ids::kSerialStopBits),
                                  SelectedText(dialog, ids::kSerialParity));
}

bool RunSerialPortDialog(HWND owner, const HostSerialChoice& stored, SerialPortDialogHooks hooks) {
  const std::vector<DWORD> layout = BuildDialogTemplate(
      SerialPortDialogTemplate(), DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
  DialogState state{stored, std::move(hooks)};
  const INT_PTR result =
      DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(layout.data()), owner,
                              &SerialDialogProc, reinterpret_cast<LPARAM>(&state));
  return result == IDOK;
}

}  // namespace vqx::win32
