// Placeholder: replaced by the preferences file.
#include "app/app_window.h"
namespace vqx {
void CAppWindow::LoadPreferences() {}
bool CAppWindow::SavePreferences() { return false; }
}  // namespace vqx
