#include "win32_dialog_host.h"

#include <optional>

#include "dialog_builder.h"
#include "ui_call_queue.h"
#include "window/control_ids.h"

namespace vqx::win32 {
namespace {

struct RunningDialog {
  IDialogLogic& logic;
  const Win32DialogHost::Decorate& decorate;
  std::vector<HWND>* open;
  Win32WindowSurface* mainSurface;
  // The dialog's controls through the same surface the main window uses; this thread
  // owns its queue, so every call runs at once.
  std::optional<desktop::UiCallQueue> queue;
  std::optional<Win32WindowSurface> surface;
  bool ended = false;
  bool inLogic = false;
};

void Deliver(HWND dialog, RunningDialog& running, int id, int code) {
  // A command that arrives while the logic is still in its previous one came through a
  // loop that runs inside it (a warning's message box, an inner dialog): the user cannot
  // click a disabled dialog, so it was posted, and would run the logic inside itself,
  // mid-warning. It is dropped.
  if (running.ended || !running.surface || running.inLogic) return;
  running.inLogic = true;
  const bool ends = running.logic.OnCommand(*running.surface, id, code);
  running.inLogic = false;
  if (ends) {
    running.ended = true;
    EndDialog(dialog, 0);
  }
}

INT_PTR CALLBACK LogicDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* running = reinterpret_cast<RunningDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      running = reinterpret_cast<RunningDialog*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      PrepareDialogControls(dialog, running->logic.Template());
      running->open->push_back(dialog);
      running->mainSurface->SetModalDialog(dialog);
      running->queue.emplace([] {});
      running->surface.emplace(*running->queue, dialog);
      if (running->decorate) running->decorate(dialog);
      running->logic.OnInit(*running->surface);
      running->queue->Drain();
      // The logic sets the focus where it wants it.
      return FALSE;
    }
    case WM_COMMAND: {
      if (running == nullptr || !running->surface) break;
      if (const auto command = RouteDialogCommand(wParam, lParam, running->surface->InProgrammaticChange())) {
        Deliver(dialog, *running, command->id, command->code);
      }
      return TRUE;
    }
    case WM_DESTROY:
      if (running != nullptr && running->surface) {
        running->logic.OnClosed(*running->surface);
        running->queue->Drain();
        running->surface.reset();
      }
      break;
    default: break;
  }
  return FALSE;
}

}  // namespace

std::optional<RoutedCommand> RouteDialogCommand(WPARAM wParam, LPARAM lParam, bool programmaticChange) {
  const int id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  const auto control = reinterpret_cast<HWND>(lParam);
  if (control == nullptr) {
    if (id == IDOK || id == IDCANCEL) return RoutedCommand{id, kBnClicked};
    return std::nullopt;  // a dialog has no menu
  }
  if (code == LBN_DBLCLK && HasWindowClass(control, L"ListBox")) return RoutedCommand{id, kLbnDblClk};
  return RouteCommand(wParam, lParam, programmaticChange);
}

void Win32DialogHost::RunModal(IDialogLogic& logic, const Decorate& decorate) {
  const std::vector<DWORD> layout =
      BuildDialogTemplate(logic.Template(), DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
  const HWND owner = open_.empty() ? mainWindow_ : open_.back();
  const HWND previous = open_.empty() ? nullptr : open_.back();
  RunningDialog running{logic, decorate, &open_, &mainSurface_, std::nullopt, std::nullopt};
  DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(layout.data()), owner,
                          &LogicDialogProc, reinterpret_cast<LPARAM>(&running));
  if (running.queue) open_.pop_back();  // it was pushed when the dialog began
  mainSurface_.SetModalDialog(previous);
}

}  // namespace vqx::win32
