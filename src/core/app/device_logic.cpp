// Placeholder: replaced by the device logic.
#include "app/app_window.h"
namespace vqx {
void CAppWindow::Step() {}
void CAppWindow::SendNextQuery() {}
void CAppWindow::ClearSettingReadState() {}
}  // namespace vqx
