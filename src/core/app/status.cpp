// Placeholder: replaced by the status panel logic.
#include "app/app_window.h"
namespace vqx {
void CAppWindow::SetStatusState(int8_t state) { statusState_.store(state); }
void CAppWindow::Attention() {}
void CAppWindow::StartRebootWait() {}
void CAppWindow::StopRebootWait() {}
bool CAppWindow::IsUnitIdle() const { return false; }
void CAppWindow::WaitForRebootIfIdle() {}
std::string CAppWindow::StatusSentence() const { return {}; }
std::string CAppWindow::StatusNameLine() const { return {}; }
bool CAppWindow::FindConnectionName(char*, size_t) const { return false; }
}  // namespace vqx
