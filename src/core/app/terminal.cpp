// Placeholder: replaced by the terminal.
#include "app/app_window.h"
namespace vqx {
void CAppWindow::SubmitCommandEntry() {}
void CAppWindow::NoteTypedSetting(int32_t, const char*) {}
void CAppWindow::AppendOutput(const char*) {}
bool CAppWindow::AcceptTypedCommand(const char*, const char*) { return true; }
}  // namespace vqx
