// Placeholder: replaced by Update Settings and Reset.
#include "app/app_window.h"
namespace vqx {
void CAppWindow::UpdateSettings() {}
void CAppWindow::ResetSerialLink() {}
}  // namespace vqx
